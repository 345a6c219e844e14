// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every export run of the built program must hold, checked after each such run by
// runCli: every file it names on stdout as saved has a record in its folder that says
// complete with the file's length and SHA-256 as it lies now, and, when the disk it read
// is a sample disk of this test program, holds exactly that disk's recording.

#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"

namespace korvelo::test {

// Sample disks whose recordings the check knows, by image path (BuiltDisk registers its own).
void registerSampleDisk(const std::string& imagePath, const sample::DiskDescription* disk);
void forgetSampleDisk(const std::string& imagePath);

// Adds a test failure for every saved file of the run that is not what it is called.
void checkSavedFilesOfRun(const std::vector<std::string>& arguments, const std::string& out);

}  // namespace korvelo::test
