// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_chooser.h"

#include <utility>

namespace korvelo::test {
namespace {

SaveAsAnswer chosen(std::string path) {
  return SaveAsAnswer{SaveAsAnswer::Kind::Chosen, std::move(path), 0};
}

SaveAsAnswer failed(int errorCode) {
  return SaveAsAnswer{SaveAsAnswer::Kind::Failed, {}, errorCode};
}

}  // namespace

ScriptedChooser ScriptedChooser::choosing(std::string path) {
  ScriptedChooser chooser;
  chooser.answer = chosen(std::move(path));
  return chooser;
}

ScriptedChooser ScriptedChooser::choosingIn(std::string folder) {
  ScriptedChooser chooser = choosing(std::move(folder));
  chooser.answerInFolder = true;
  return chooser;
}

ScriptedChooser ScriptedChooser::cancelling() {
  return ScriptedChooser{};
}

ScriptedChooser ScriptedChooser::failing(int errorCode) {
  ScriptedChooser chooser;
  chooser.answer = failed(errorCode);
  return chooser;
}

void ScriptedChooser::chooseNext(std::string path) {
  script_.push_back({chosen(std::move(path)), false});
}

void ScriptedChooser::choose(std::string folder) {
  script_.push_back({chosen(std::move(folder)), true});
}

void ScriptedChooser::cancel() {
  script_.push_back({SaveAsAnswer{}, false});
}

void ScriptedChooser::fail(int errorCode) {
  script_.push_back({failed(errorCode), false});
}

SaveAsAnswer ScriptedChooser::chooseSaveAs(const SaveAsRequest& request) {
  requests.push_back(request);
  Step step{answer, answerInFolder};
  if (!script_.empty()) {
    step = script_.front();
    script_.pop_front();
  }
  if (step.inFolder) step.answer.path += "/" + request.proposedName;
  return step.answer;
}

}  // namespace korvelo::test
