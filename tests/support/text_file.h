// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole text files (JSON documents, manifests) read and written by the tests.

#include <string>

namespace korvelo::test {

// Throws std::runtime_error when the file cannot be read or written.
std::string readFileText(const std::string& path);
void writeFileText(const std::string& path, const std::string& text);

}  // namespace korvelo::test
