// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one process-wide status text in which every recorder file-system operation
// leaves its German messages; the caller copies it into the log right after the call.

#include <string>
#include <string_view>

namespace korvelo {

inline constexpr const char* kLineBreak = "\r\n";

std::string& statusText();
void clearStatus();
void setStatus(std::string_view text);
// Appends CR LF first when the text is not empty, then the line.
void addStatusLine(std::string_view line);

// Appends `line` to `text` the same way (CR LF first when `text` is not empty).
void addLine(std::string& text, std::string_view line);

}  // namespace korvelo
