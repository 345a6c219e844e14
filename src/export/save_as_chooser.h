// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save-as question a job asks its front end: the window shows a file dialog
// (asking before overwriting); the command line answers from its output folder.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvelo {

class TargetFolder;

struct SaveAsRequest {
  std::string proposedName;      // already stripped of : \ ? * /
  std::string initialFolder;     // the current target folder
  const void* parent = nullptr;  // the window that owns the dialog, opaque to the core
  // What this recording's file begins with (head and entry image): an existing file that
  // begins otherwise but is a recording's is another recording's and is never replaced.
  std::vector<uint8_t> expectedFront = {};
};

struct SaveAsAnswer {
  // Skipped: no one was asked; the target exists and may not be replaced (the reason
  // is already logged).
  enum class Kind { Chosen, Cancelled, Skipped, Failed };
  Kind kind = Kind::Cancelled;
  std::string path;   // full path of the target when Chosen
  int errorCode = 0;  // the dialog's error code when Failed
  // The target exists and is to be continued: after its last whole HOJIN, when its head,
  // entry image and that HOJIN prove it to be this recording's.
  bool resume = false;
  bool replaceForeign = false;  // a target that is not this recording's is written anew
  // The target was free when chosen: a file that has appeared there since is not replaced.
  bool mustBeNew = false;
  // The folder the chooser opened and found the target in, when it opened one; the file
  // is then made by its name in that folder, whatever its path leads to later.
  std::shared_ptr<const TargetFolder> folder = nullptr;
};

class SaveAsChooser {
 public:
  virtual ~SaveAsChooser() = default;
  virtual SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) = 0;
};

}  // namespace korvelo
