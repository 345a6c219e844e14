// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/value_checks.h"

#include <charconv>

#include "disk/text.h"

namespace korvelo::cli {

// Checked before conversion, so that the message is ours.
CLI::Validator wholeNumberIn(long long low, long long high, const std::string& unit) {
  const std::string range = std::to_string(low) + " bis " + std::to_string(high);
  return CLI::Validator(
      [low, high, range, unit](std::string& text) -> std::string {
        long long value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error != std::errc{} || stop != end)
          return "\"" + escapedBytes(text) + "\" ist keine ganze Zahl";
        if (value < low || value > high)
          return "erlaubt sind " + range + (unit.empty() ? "" : " " + unit);
        return {};
      },
      "", "");
}

CLI::Validator oneOf(std::vector<std::string> words) {
  std::string listed;
  for (const std::string& word : words) listed += (listed.empty() ? "" : ", ") + word;
  return CLI::Validator(
      [words, listed](std::string& text) -> std::string {
        for (const std::string& word : words)
          if (text == word) return {};
        return "\"" + escapedBytes(text) + "\" ist nicht erlaubt, möglich sind: " + listed;
      },
      "", "");
}

}  // namespace korvelo::cli
