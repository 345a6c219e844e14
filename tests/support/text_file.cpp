// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/text_file.h"

#include <cstdint>
#include <span>

#include "support/file_util.h"

namespace korvelo::test {

std::string readFileText(const std::string& path) {
  const std::vector<uint8_t> bytes = readFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void writeFileText(const std::string& path, const std::string& text) {
  writeFileBytes(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace korvelo::test
