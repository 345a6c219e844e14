// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the commands for failing disks share: choosing recordings by entry number, and
// the rules for a file they write (never over an existing one unless asked, never onto a
// device, never onto the disk being read).

#include <functional>
#include <string>
#include <vector>

#include "disk/byte_source.h"
#include "disk/posix_file.h"
#include "export/log_sink.h"
#include "export/mount_and_fat_checks.h"
#include "recfs/fsr5000_disk.h"

namespace korvelo {

class TargetFolder;

struct EntryChoice {
  std::vector<const DirectoryEntry*> entries;  // in list order
  std::vector<int> unknown;                    // asked-for numbers no entry carries
};

EntryChoice chooseEntries(const Fsr5000Disk& disk, const std::vector<int>& numbers, bool all);

// What a file is among those the run reads: the disk (its source, or any image given
// with --drive), a mapfile given with it, the settings file the program read, or a
// manifest read in this run, compared by device and inode.
enum class RunInput { None, Disk, Mapfile, Settings, Manifest };
RunInput inputOfRun(const FileIdentity& identity, const ByteSource* source);

// The settings file the program read, from then on an input of every run (empty: none).
void setSettingsFileOfRun(std::string path);
// A manifest this process read or wrote, open (O_PATH is enough): no other output of it
// may replace the manifest. The manifest a record is added to is not refused for this.
void noteManifestRead(PosixFile manifest);
// A manifest replaced by a new one is no input any more.
void forgetManifestRead(const FileIdentity& manifest);

// The German refusal to write over that input; empty for None.
std::string inputRefusal(const std::string& path, RunInput input);

// Empty when `path` names none of the run's inputs (or nothing); else the refusal.
std::string inputOfRunProblem(const std::string& path, const ByteSource* source);
// The same for the file `name` in `folder`; `path` names it in the refusal.
std::string inputOfRunProblem(const TargetFolder& folder, const std::string& name,
                              const std::string& path, const ByteSource* source);

// Empty when `path` may be written; else the German reason, ready for the log. A
// symbolic link in its place is refused even when overwriting was asked for.
std::string outputFileProblem(const std::string& path, bool force, const ByteSource* source);

// True (and the reason logged) when the disk found is a block device that is mounted,
// itself or one of its partitions: it is then not read at all.
using MountedSourceQuery = std::function<std::string(const std::string& devicePath)>;
bool refuseMountedSource(Fsr5000Disk& disk, LogSink& log,
                         const MountedSourceQuery& query = mountedSourceProblem);

// The source of the disk found, or null.
const ByteSource* sourceOf(Fsr5000Disk& disk);

// Writes the text as the file `path`: as a new file, or with `replace` in place of an
// existing one (a temporary renamed over it). Never through a symbolic link. Empty when
// that worked, else the reason, ready for the log.
std::string writeTextFile(const std::string& path, const std::string& text, bool replace);

// The German reason for the errno of a failed write of `path`; empty for 0.
std::string writeProblem(const std::string& path, int error);

}  // namespace korvelo
