// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's reason for a failed call (errno) as a German phrase, the same on every
// machine: a fixed table of the errors that opening, reading, writing and creating
// files and folders can really meet, not the C library's catalogue, whose texts depend on
// the locales a machine has generated.

#include <string>

namespace korvelo {

// "Keine Berechtigung" for EACCES; an error outside the table as "Systemfehler N (NAME)".
std::string systemReason(int error);

}  // namespace korvelo
