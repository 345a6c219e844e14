// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Says in German why a drive could not be opened, so that the user learns what to do
// instead of only that no disk was found.

#include <string>

namespace korvelo {

// The system's error on opening `path`, as a reason; for a refused permission also the
// way in: running as root or joining the group that may read the device.
std::string openFailureReason(const std::string& path, int error);

// What a user refused the device may do about it: "als root starten oder der Gruppe
// "disk" beitreten".
std::string accessHint(const std::string& path);

// The report line for the drive behind `designator`:
//  Festplatte 0 "/dev/sdb" lässt sich nicht öffnen: <reason>.
std::string openFailureLine(char designator, const std::string& path, int error);

}  // namespace korvelo
