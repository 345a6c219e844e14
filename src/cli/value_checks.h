// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checks of option values whose refusals are German sentences naming the value (CLI11's
// own validators answer in English: "foo not in {regions,heads}").

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace korvelo::cli {

// A whole number in [low, high]; `unit` follows the range in the refusal ("Sektoren").
CLI::Validator wholeNumberIn(long long low, long long high, const std::string& unit);

// One of the words listed.
CLI::Validator oneOf(std::vector<std::string> words);

}  // namespace korvelo::cli
