// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text helpers every layer uses.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvelo {

// printf-style formatting into a std::string.
std::string textf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Decimal with `separator` before every group of three digits from the right:
// formatThousands(160039272960, '.') gives "160.039.272.960".
std::string formatThousands(int64_t value, char separator);

// Milliseconds as seconds with one decimal and a decimal comma: 3450 gives "3,5".
std::string formatSeconds(int64_t millis);

// Drops every character whose code with bit 7 cleared is below 32; at most 512
// characters, no further than a NUL.
std::string filterPrintable(std::string_view text);

// Bytes taken from a file, fit to be quoted in a message: printable ASCII as it is, every
// other byte as \xNN, and cut after `most` bytes with "...". A file never puts its raw
// bytes (control characters, broken UTF-8) into the program's output.
std::string escapedBytes(std::string_view bytes, size_t most = 40);

// The recorder's texts are Latin-1; the program's own texts and output are UTF-8.
std::string latin1ToUtf8(std::string_view text);

}  // namespace korvelo
