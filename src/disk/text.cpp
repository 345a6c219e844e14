// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace korvelo {

std::string textf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    result.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(args);
  return result;
}

std::string formatThousands(int64_t value, char separator) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%" PRId64, value);
  const std::string_view rendered(digits);
  // Only the digits are grouped, so a minus sign never gets a separator after it.
  const size_t firstDigit = (value < 0) ? 1 : 0;
  std::string result(rendered.substr(0, firstDigit));
  for (size_t i = firstDigit; i < rendered.size(); ++i) {
    const size_t remaining = rendered.size() - i;
    if (i > firstDigit && remaining % 3 == 0) result += separator;
    result += rendered[i];
  }
  return result;
}

std::string formatSeconds(int64_t millis) {
  const int64_t tenths = (std::max<int64_t>(0, millis) + 50) / 100;
  return textf("%s,%d", formatThousands(tenths / 10, '.').c_str(), static_cast<int>(tenths % 10));
}

std::string filterPrintable(std::string_view text) {
  constexpr size_t kMaxCharacters = 512;
  std::string result;
  const size_t limit = text.size() < kMaxCharacters ? text.size() : kMaxCharacters;
  for (size_t i = 0; i < limit && text[i] != '\0'; ++i) {
    const auto code = static_cast<unsigned char>(text[i]);
    if ((code & 0x7F) >= 32) result += text[i];
  }
  return result;
}

std::string escapedBytes(std::string_view bytes, size_t most) {
  std::string result;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == most) return result + "...";
    const auto code = static_cast<unsigned char>(bytes[i]);
    if (code >= 32 && code < 127 && code != '\\')
      result += static_cast<char>(code);
    else
      result += textf("\\x%02X", code);
  }
  return result;
}

std::string latin1ToUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x80) {
      result += c;
    } else {
      result += static_cast<char>(0xC0 | (code >> 6));
      result += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return result;
}

}  // namespace korvelo
