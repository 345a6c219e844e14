// SPDX-License-Identifier: GPL-3.0-or-later
// drives: the disks the designators 0 ... 9 stand for (the machine's, or the --drive
// paths), each with what is known about it, whether it carries the recorder's
// signature and, when it cannot be opened, why. Nothing is written to any disk.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "app/export_summary.h"
#include "app/json_document.h"
#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/udisks_drives.h"
#include "disk/drive_table.h"
#include "disk/machine_disks.h"
#include "disk/text.h"
#include "disk/udisks_client.h"
#include "recfs/detection.h"
#include "recfs/open_failure.h"

namespace korvelo::cli {

namespace {

struct DriveRow {
  char designator = '0';
  MachineDisk disk;
  bool recorder = false;
  std::string failure;   // why it could not be opened; empty when it opened
  char endedAt = 0;      // the drive before it that could not be opened: the search ends there
  bool udisks = false;   // udisks2 lists the disk: "--drive udisks:PATH" may ask it for reading
  bool granted = false;  // read through a descriptor that udisks2 handed over
  bool refused = false;  // udisks2 was asked and did not hand it over
};

bool listedByUdisks(const UdisksListing& listing, const std::string& path) {
  return std::any_of(listing.disks.begin(), listing.disks.end(),
                     [&](const UdisksDisk& disk) { return disk.device == path; });
}

// Opens each drive once for its size and the reason of a failure, then lets the
// detection look for the signature as the search would.
std::vector<DriveRow> probeDrives(const GlobalOptions& global) {
  std::vector<MachineDisk> known;
  if (global.drives.empty()) {
    DriveTable::useMachineDisks();
    known = listMachineDisks();
  } else {
    DriveTable::useDrives(drivesOf(global));
  }
  const UdisksListing udisks = listUdisksDisks();
  std::vector<DriveRow> rows;
  char endedAt = 0;  // as the search: the first drive that cannot be opened ends it
  for (char designator = '0'; designator <= '9'; ++designator) {
    const std::optional<DriveSpec> drive = DriveTable::lookup(designator);
    if (!drive) break;
    DriveRow row;
    row.designator = designator;
    row.endedAt = endedAt;
    const size_t index = static_cast<size_t>(designator - '0');
    if (index < known.size() && known[index].path == drive->path) row.disk = known[index];
    row.disk.path = drive->path;
    row.udisks = listedByUdisks(udisks, drive->path);
    row.granted = drive->descriptor != nullptr;
    // A drive udisks2 did not hand over is not opened by its bare path: the row says why
    // udisks2 refused, as the search would end there.
    const std::optional<std::string> refusal =
        index < global.drives.size() ? udisksRefusal(global.drives[index]) : std::nullopt;
    int error = 0;
    if (refusal) {
      row.failure = "über udisks2: " + *refusal;
      row.refused = true;
      if (endedAt == 0) endedAt = designator;
    } else if (const std::unique_ptr<ByteSource> source = openDriveSource(designator, &error)) {
      if (row.disk.sizeBytes == 0 && source->mediaInfo().sizeBytes > 0)
        row.disk.sizeBytes = static_cast<uint64_t>(source->mediaInfo().sizeBytes);
      row.recorder = checkSignature(designator) == 0;
    } else {
      row.failure = openFailureReason(drive->path, error);
      if (endedAt == 0) endedAt = designator;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// Columns are padded by characters, not bytes: "Größe" is five wide.
size_t displayWidth(const std::string& text) {
  size_t width = 0;
  for (char c : text)
    if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++width;
  return width;
}

void printTable(const std::vector<DriveRow>& rows, std::ostream& out) {
  std::vector<std::vector<std::string>> lines = {
      {"Nr.", "Pfad", "Modell", "Größe", "Bus", "Recorder", "Hinweis"}};
  for (const DriveRow& row : rows) {
    std::string bus = row.disk.bus;
    if (row.disk.removable) bus += bus.empty() ? "wechselbar" : ", wechselbar";
    std::string note;
    if (!row.failure.empty()) note = "lässt sich nicht öffnen: " + row.failure;
    if (row.granted) note = "über udisks2 geöffnet";
    if (!row.failure.empty() && row.udisks && !row.refused)
      note += "; über udisks2 lesbar: --drive udisks:" + row.disk.path;
    if (row.endedAt != 0)
      note += textf("%swird nicht durchsucht: die Suche endet bei Nr. %c", note.empty() ? "" : "; ",
                    row.endedAt);
    lines.push_back({std::string(1, row.designator), row.disk.path, row.disk.model,
                     row.disk.sizeBytes > 0 ? siSize(row.disk.sizeBytes) : "", bus,
                     row.failure.empty() ? (row.recorder ? "ja" : "nein") : "", note});
  }
  std::vector<size_t> widths(lines.front().size(), 0);
  for (const auto& line : lines)
    for (size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], displayWidth(line[i]));
  for (const auto& line : lines) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
      text += line[i];
      if (i + 1 < line.size()) text += std::string(widths[i] - displayWidth(line[i]) + 2, ' ');
    }
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << "\n";
  }
}

std::string asJson(const std::vector<DriveRow>& rows) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const DriveRow& row : rows) {
    nlohmann::ordered_json drive;
    drive["designator"] = row.designator - '0';
    drive["path"] = row.disk.path;
    drive["model"] = row.disk.model;
    drive["serial"] = row.disk.serial;
    drive["size_bytes"] = row.disk.sizeBytes;
    drive["bus"] = row.disk.bus;
    drive["removable"] = row.disk.removable;
    drive["recorder"] = row.recorder;
    drive["udisks"] = row.udisks;
    // false behind a drive that cannot be opened: the search (list, export, ...) ends
    // there and never finds a recorder disk here.
    drive["searched"] = row.endedAt == 0;
    drive["error"] =
        row.failure.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(row.failure);
    list.push_back(std::move(drive));
  }
  return nlohmann::ordered_json{{"schema", kJsonSchema}, {"drives", std::move(list)}}.dump(2) +
         "\n";
}

}  // namespace

CLI::App* addDrivesCommand(CLI::App& app, DrivesOptions& options) {
  CLI::App* command = app.add_subcommand(
      "drives",
      "Zeigt die Festplatten mit ihren Nummern (oder die mit --drive genannten), ob sie die "
      "Signatur des Recorders tragen und warum sich eine nicht öffnen lässt");
  command->option_defaults()->group("Optionen von drives");
  command->add_flag("--json", options.json, "Liste als JSON-Objekt ausgeben");
  return command;
}

ExitCode runDrives(const Invocation& invocation, Terminal&, std::ostream& out) {
  const std::vector<DriveRow> rows = probeDrives(invocation.global);
  if (invocation.drives.json)
    out << asJson(rows);
  else
    printTable(rows, out);
  // The verdict of the search for the same options: only a drive it reaches counts.
  const bool found = std::any_of(rows.begin(), rows.end(), [](const DriveRow& row) {
    return row.recorder && row.endedAt == 0;
  });
  return found ? ExitCode::Success : ExitCode::NoRecorderDisk;
}

}  // namespace korvelo::cli
