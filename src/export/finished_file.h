// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A ".hav" file looked at once more when its export ends, through a descriptor of its own:
// what the export claims of the file (its length, its sums, that it is complete) rests on
// the file as it lies in its folder now, not on what the export remembers having written.

#include <cstdint>
#include <optional>
#include <string>

#include "disk/byte_source.h"
#include "export/hav_digests.h"

namespace korvelo {

class TargetFolder;

struct FinishedFileQuestion {
  std::optional<FileIdentity> written;  // the file the export wrote; none when it wrote none
  int64_t length = 0;                   // what the export left it long
  bool sums = false;                    // its check sums are wanted
  // The sums of the bytes as the export wrote them, front to back, when they cover the
  // whole file; without them the sums are taken from the file.
  std::optional<HavDigests> sumsWritten;
};

struct FinishedFile {
  // Why the file is not what the export left (German, for the end of a line in
  // parentheses); empty when it is: the same file, one name, the length, the bytes.
  std::string problem;
  int64_t bytes = -1;                 // its length now; -1 when it cannot be looked at
  std::optional<HavDigests> digests;  // its sums, when asked for
};

// Looks at `name` in `folder`. The sums written are used as the file's only when nothing
// hints at a change behind the export's back; a file with holes (someone cut it and the
// export wrote on) is read back and must give the same sums.
FinishedFile examineFinishedFile(const TargetFolder& folder, const std::string& name,
                                 FinishedFileQuestion question);

}  // namespace korvelo
