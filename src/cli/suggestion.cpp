// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/suggestion.h"

#include <algorithm>

namespace korvelo::cli {

int editDistance(const std::string& from, const std::string& to) {
  const size_t rows = from.size() + 1;
  const size_t columns = to.size() + 1;
  std::vector<int> d(rows * columns, 0);
  const auto at = [&](size_t i, size_t j) -> int& { return d[i * columns + j]; };
  for (size_t i = 0; i < rows; ++i) at(i, 0) = static_cast<int>(i);
  for (size_t j = 0; j < columns; ++j) at(0, j) = static_cast<int>(j);
  for (size_t i = 1; i < rows; ++i) {
    for (size_t j = 1; j < columns; ++j) {
      const int replace = from[i - 1] == to[j - 1] ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + replace});
      if (i > 1 && j > 1 && from[i - 1] == to[j - 2] && from[i - 2] == to[j - 1])
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
    }
  }
  return at(rows - 1, columns - 1);
}

std::optional<std::string> nearestName(const std::string& word,
                                       const std::vector<std::string>& names) {
  const int allowed = word.size() <= 4 ? 1 : 2;
  std::optional<std::string> nearest;
  int best = allowed + 1;
  for (const std::string& name : names) {
    const int distance = editDistance(word, name);
    if (distance == 0) return std::nullopt;
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest;
}

}  // namespace korvelo::cli
