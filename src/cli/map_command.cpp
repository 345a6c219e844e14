// SPDX-License-Identifier: GPL-3.0-or-later
// map: writes the picture of the disk (areas before the data area, then every block
// coloured by its owner) as an SVG file; its path goes to stdout.

#include <CLI/CLI.hpp>
#include <charconv>
#include <ostream>

#include "app/disk_map_svg.h"
#include "app/workflow_support.h"
#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/inspect_options.h"
#include "disk/mapfile_source.h"
#include "disk/text.h"
#include "recfs/rescue_scan.h"

namespace korvelo::cli {

namespace {

constexpr int kMinWidth = 400;
constexpr int kMaxWidth = 10000;

// One flag per data-area block: whether the mapfile leaves any of its sectors unread.
std::vector<bool> unreadBlocks(Fsr5000Disk& disk, const BlockOwnership& ownership) {
  const auto* mapfile = dynamic_cast<const MapfileSource*>(disk.getDrive().source());
  if (mapfile == nullptr) return {};
  std::vector<bool> unread(static_cast<size_t>(ownership.blockCount()));
  for (int64_t block = 0; block < ownership.blockCount(); ++block) {
    const int64_t first = ownership.blockSector(block) * kSectorSize;
    unread[static_cast<size_t>(block)] =
        !mapfile->isFinished(first, first + int64_t{kSectorsPerBlock} * kSectorSize);
  }
  return unread;
}

// One flag per data-area block: whether a recording found by the file-FAT scan (one the
// directory no longer names) lies in it.
std::vector<bool> rescuedBlocks(Fsr5000Disk& disk, const BlockOwnership& ownership) {
  std::vector<bool> rescued(static_cast<size_t>(ownership.blockCount()));
  for (const RescuedRecording& recording : scanFileFatRegions(disk).recordings)
    for (int64_t block : recording.blocks)
      if (block >= 0 && block < ownership.blockCount()) rescued[static_cast<size_t>(block)] = true;
  return rescued;
}

// The width in pixels, with a German reason when it is not a whole number in range.
CLI::Validator widthInPixels() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        int value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error != std::errc{} || stop != end) return "\"" + text + "\" ist keine ganze Zahl";
        if (value < kMinWidth || value > kMaxWidth)
          return textf("erlaubt sind %d bis %d Pixel", kMinWidth, kMaxWidth);
        return {};
      },
      "", "");
}

}  // namespace

CLI::App* addMapCommand(CLI::App& app, MapCommandOptions& options) {
  CLI::App* command = app.add_subcommand(
      "map",
      "Zeichnet die Belegung der Festplatte als SVG-Bild (Blöcke je Aufnahme, frei, "
      "mehrfach belegt, nicht gelesen)");
  command->option_defaults()->group("Optionen von map");
  command->add_option("-o,--output", options.output, "Die zu schreibende SVG-Datei")
      ->type_name("DATEI")
      ->required();
  command->add_option("--width", options.width, "Breite des Bildes in Pixeln (400 bis 10000)")
      ->type_name("PX")
      ->check(widthInPixels());
  command->add_flag("--force", options.force, "Eine vorhandene Datei überschreiben");
  command->add_flag("--rescue", options.rescue,
                    "Auch Aufnahmen einzeichnen, die das Verzeichnis nicht mehr nennt (wie "
                    "\"rescue\" sie über die Dateizuordnungstabellen findet)");
  return command;
}

ExitCode runMap(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  const MapCommandOptions& options = invocation.map;
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  if (!session.admitFileFatSize()) return ExitCode::ExportFailed;
  Fsr5000Disk& disk = *session.app().disk;
  Log& log = session.app().log;
  if (const std::string problem = outputFileProblem(options.output, options.force, sourceOf(disk));
      !problem.empty()) {
    log.append(problem, Severity::Error);
    return ExitCode::ExportFailed;
  }
  if (disk.heldFileFatSize() <= 0) {
    log.append(
        "Die File-FAT-Size ist unbekannt: ohne sie lässt sich der Datenbereich nicht "
        "zeichnen. Bitte --fat-size angeben.",
        Severity::Error);
    return ExitCode::ExportFailed;
  }
  const BlockOwnership ownership = buildBlockOwnership(disk);
  DiskMapInput input;
  input.ownership = &ownership;
  input.layout = disk.layout();
  input.fileFatSize = disk.heldFileFatSize();
  input.unreadBlocks = unreadBlocks(disk, ownership);
  if (options.rescue) input.rescuedBlocks = rescuedBlocks(disk, ownership);
  input.width = options.width;
  if (const std::string problem = writeTextFile(options.output, diskMapSvg(input), options.force);
      !problem.empty()) {
    log.append(problem, Severity::Error);
    return ExitCode::ExportFailed;
  }
  log.append(textf("Belegungsplan mit %zu Aufnahmen geschrieben nach \"%s\".",
                   ownership.recordings().size(), options.output.c_str()));
  out << options.output << "\n";
  return ExitCode::Success;
}

}  // namespace korvelo::cli
