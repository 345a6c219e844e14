// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds the recorder disk among the drives "0" ... "9" by its signature sectors
// and its "file_system.sys" sector. Results of the two checks:
//   0 passed, 1 mismatch, 2 drive not openable, 3 sectors not readable.

namespace korvelo {

// When true, a missing "file_system.sys" sector does not count against a drive.
extern bool fileSysCheckRelaxed;

int checkSignature(char drive);
int checkFileSystemSector(char drive);

// The designator of the first drive that passes both checks, or 0. Replaces the
// status text with the report of every drive probed; stops at the first gap. A gap
// where a path was tried and refused gets a line with the path and the reason.
char findRecorderDrive();

}  // namespace korvelo
