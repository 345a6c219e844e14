// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Meinten Sie ...?": the known name nearest to a mistyped word.

#include <optional>
#include <string>
#include <vector>

namespace korvelo::cli {

// Edits (insert, delete, replace one character, or swap two neighbours) that turn `from`
// into `to`, counted by bytes.
int editDistance(const std::string& from, const std::string& to);

// The first of `names` nearest to `word`, when it is close: one edit for a word of up to
// four characters, two for a longer one. Nothing for an exact match or none close enough.
std::optional<std::string> nearestName(const std::string& word,
                                       const std::vector<std::string>& names);

}  // namespace korvelo::cli
