// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/workflow_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <utility>

#include "disk/drive_table.h"
#include "disk/posix_file.h"
#include "disk/system_reason.h"
#include "disk/target_folder.h"
#include "disk/text.h"
#include "export/mount_and_fat_checks.h"
#include "export/target_checks.h"

namespace korvelo {

EntryChoice chooseEntries(const Fsr5000Disk& disk, const std::vector<int>& numbers, bool all) {
  const std::set<int> requested(numbers.begin(), numbers.end());
  std::set<int> found;
  EntryChoice choice;
  for (const auto& entry : disk.getEntries()) {
    if (!all && requested.count(entry->getEntryNumber()) == 0) continue;
    choice.entries.push_back(entry.get());
    found.insert(entry->getEntryNumber());
  }
  for (int number : numbers)
    if (found.count(number) == 0 &&
        std::find(choice.unknown.begin(), choice.unknown.end(), number) == choice.unknown.end())
      choice.unknown.push_back(number);
  return choice;
}

namespace {

// The files besides the disk and its mapfiles that the program reads. The settings file
// is kept by path and looked up when a target is checked: it is replaced by renaming a new
// file over it. A manifest is kept as the file read or written, which is all there is of
// it once its folder has moved, and held open: a device and inode freed by deleting or
// replacing the file could be given to any file made later, which would then pass for it.
struct ReadFiles {
  std::string settings;
  std::map<std::pair<dev_t, ino_t>, PosixFile> manifests;
};

ReadFiles& readFiles() {
  static ReadFiles files;
  return files;
}

}  // namespace

void setSettingsFileOfRun(std::string path) {
  readFiles().settings = std::move(path);
}

void noteManifestRead(PosixFile manifest) {
  struct stat info {};
  if (::fstat(manifest.get(), &info) == 0)
    readFiles().manifests.insert_or_assign({info.st_dev, info.st_ino}, std::move(manifest));
}

void forgetManifestRead(const FileIdentity& manifest) {
  readFiles().manifests.erase({manifest.device, manifest.inode});
}

RunInput inputOfRun(const FileIdentity& identity, const ByteSource* source) {
  const std::optional<FileIdentity> read = source ? source->identity() : std::nullopt;
  if (read && *read == identity) return RunInput::Disk;
  RunInput found = RunInput::None;
  const auto compare = [&](const std::string& path, RunInput kind) {
    struct stat info {};
    if (found == RunInput::None && !path.empty() && ::stat(path.c_str(), &info) == 0 &&
        FileIdentity{info.st_dev, info.st_ino} == identity)
      found = kind;
  };
  for (char designator = '0'; designator <= '9'; ++designator) {
    const std::optional<DriveSpec> drive = DriveTable::lookup(designator);
    if (!drive) break;
    if (!drive->factory) compare(drive->path, RunInput::Disk);
    compare(drive->mapfile, RunInput::Mapfile);
  }
  compare(readFiles().settings, RunInput::Settings);
  if (found == RunInput::None && readFiles().manifests.contains({identity.device, identity.inode}))
    found = RunInput::Manifest;
  return found;
}

std::string inputRefusal(const std::string& path, RunInput input) {
  switch (input) {
    case RunInput::Disk:
      return sourceTargetRefusal(path);
    case RunInput::Mapfile:
      return textf("\"%s\" ist die Mapdatei der Festplatte, von der gelesen wird.", path.c_str());
    case RunInput::Settings:
      return textf("\"%s\" ist die Einstellungsdatei, aus der die Einstellungen gelesen wurden.",
                   path.c_str());
    case RunInput::Manifest:
      return textf("\"%s\" ist ein Manifest, das in diesem Lauf gelesen wurde.", path.c_str());
    case RunInput::None:
      break;
  }
  return {};
}

std::string inputOfRunProblem(const std::string& path, const ByteSource* source) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {};
  return inputRefusal(path, inputOfRun(FileIdentity{info.st_dev, info.st_ino}, source));
}

std::string inputOfRunProblem(const TargetFolder& folder, const std::string& name,
                              const std::string& path, const ByteSource* source) {
  struct stat info {};
  if (folder.statOf(name, info) != 0) return {};
  return inputRefusal(path, inputOfRun(FileIdentity{info.st_dev, info.st_ino}, source));
}

std::string outputFileProblem(const std::string& path, bool force, const ByteSource* source) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {};             // a new file
  if (S_ISLNK(info.st_mode)) return symbolicLinkRefusal(path);  // with --force too
  if (S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode))
    return textf("\"%s\" ist ein Gerät; dorthin wird nie geschrieben.", path.c_str());
  if (std::string refusal =
          inputRefusal(path, inputOfRun(FileIdentity{info.st_dev, info.st_ino}, source));
      !refusal.empty())
    return refusal;
  if (!S_ISREG(info.st_mode)) return textf("\"%s\" ist keine gewöhnliche Datei.", path.c_str());
  if (!force)
    return textf("\"%s\" gibt es schon; zum Überschreiben --force angeben.", path.c_str());
  return {};
}

bool refuseMountedSource(Fsr5000Disk& disk, LogSink& log, const MountedSourceQuery& query) {
  const std::optional<DriveSpec> drive = DriveTable::lookup(disk.getDriveChar());
  if (!drive || drive->factory || !query) return false;
  const std::string problem = query(drive->path);
  if (problem.empty()) return false;
  log.append(problem, Severity::Error);
  return true;
}

const ByteSource* sourceOf(Fsr5000Disk& disk) {
  return disk.getDrive().source();
}

std::string writeTextFile(const std::string& path, const std::string& text, bool replace) {
  const int error = replace ? atomicReplace(path, text) : writeNewFile(path, text);
  return writeProblem(path, error);
}

std::string writeProblem(const std::string& path, int error) {
  if (error == 0) return {};
  if (error == ELOOP || (error == EEXIST && isSymbolicLink(path))) return symbolicLinkRefusal(path);
  if (error == EEXIST)
    return textf("\"%s\" gibt es schon; zum Überschreiben --force angeben.", path.c_str());
  return textf("Konnte \"%s\" nicht schreiben: %s.", path.c_str(), systemReason(error).c_str());
}

}  // namespace korvelo
