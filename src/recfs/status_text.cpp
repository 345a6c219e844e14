// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/status_text.h"

namespace korvelo {

std::string& statusText() {
  static std::string text;
  return text;
}

void clearStatus() {
  statusText().clear();
}

void setStatus(std::string_view text) {
  statusText().assign(text);
}

void addStatusLine(std::string_view line) {
  addLine(statusText(), line);
}

void addLine(std::string& text, std::string_view line) {
  if (!text.empty()) text += kLineBreak;
  text += line;
}

}  // namespace korvelo
