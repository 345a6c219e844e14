// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A DiskDescription as JSON text, with the keys named as the struct fields. Titles and second
// texts are raw Latin-1 bytes on the disk; in JSON each byte is the character of the same code
// (0xF6 is "ö"), so every byte value survives the round trip. rawSectors is a list of
// [sector, "hex bytes"] pairs; enums are their names ("Tevion", "WrongOrder").

#include <string>

#include "diskbuilder/disk_description.h"

namespace korvelo::sample {

std::string descriptionToJson(const DiskDescription& disk);

// Keys left out keep the defaults of DiskDescription and Recording. Throws std::runtime_error on
// malformed JSON, unknown keys, unknown enum names, or text that is not Latin-1.
DiskDescription descriptionFromJson(const std::string& text);

}  // namespace korvelo::sample
