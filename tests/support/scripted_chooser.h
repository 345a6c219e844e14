// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save-as question answered without a dialog, keeping every request it was asked.
//
//   auto chooser = ScriptedChooser::choosing("/srv/filme/x.hav");   // every question
//   ScriptedChooser chooser;  chooser.choose(folder);  chooser.cancel();
//
// Queued answers are used one per question, in order; once they are used up, `answer`
// answers the rest (cancelled unless set).

#include <deque>
#include <string>
#include <vector>

#include "export/save_as_chooser.h"

namespace korvelo::test {

class ScriptedChooser : public SaveAsChooser {
 public:
  static ScriptedChooser choosing(std::string path);
  // "<folder>/<proposed name>" for every question.
  static ScriptedChooser choosingIn(std::string folder);
  static ScriptedChooser cancelling();
  static ScriptedChooser failing(int errorCode);

  // The next answer: "<folder>/<proposed name>".
  void choose(std::string folder);
  // The next answer: exactly `path`.
  void chooseNext(std::string path);
  void cancel();
  void fail(int errorCode);

  SaveAsAnswer chooseSaveAs(const SaveAsRequest& request) override;

  SaveAsAnswer answer;
  bool answerInFolder = false;  // answer.path is a folder the proposed name is added to
  std::vector<SaveAsRequest> requests;

 private:
  struct Step {
    SaveAsAnswer answer;
    bool inFolder = false;
  };
  std::deque<Step> script_;
};

}  // namespace korvelo::test
