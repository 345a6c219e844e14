// SPDX-License-Identifier: GPL-3.0-or-later
// domain: writes a rescue mapfile in which exactly the sectors that listing and saving the
// chosen recordings read are marked finished, so that an imaging tool restricted to that
// domain takes as few sectors as possible off a failing disk, and the program then works
// on the image (with the imaging tool's own mapfile) as it would on the disk.

#include <CLI/CLI.hpp>
#include <ostream>

#include "app/workflow_support.h"
#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/value_checks.h"
#include "disk/text.h"
#include "recfs/disk_domain.h"

namespace korvelo::cli {

namespace {

std::string groupedBytes(int64_t sectors) {
  return formatThousands(sectors * kSectorSize, '.');
}

std::string commentLines(const DiskDomain& domain, const DomainCommandOptions& options,
                         size_t recordings) {
  std::string text = "# Rettungsbereich von korvelo-cli " + std::string(kVersion) + "\n";
  text += "# '+': die Sektoren, die korvelo-cli zum Auflisten und Speichern liest\n";
  text += textf("# File-FAT-Size %d, %d Verzeichnisplätze, %zu Aufnahmen%s\n", domain.fileFatSize,
                domain.visitedSlots, recordings, options.all ? " (alle)" : "");
  return text;
}

}  // namespace

CLI::App* addDomainCommand(CLI::App& app, DomainCommandOptions& options) {
  CLI::App* command = app.add_subcommand(
      "domain",
      "Schreibt eine Mapdatei für ddrescue -m: nur die Sektoren, die zum Auflisten "
      "und Speichern der gewählten Aufnahmen nötig sind, sind als fertig markiert");
  command->option_defaults()->group("Optionen von domain");
  command
      ->add_option("EINTRAGSNUMMER", options.entries,
                   "Eintragsnummern der Aufnahmen, wie \"list\" sie zeigt")
      ->type_name("")
      ->check(wholeNumberIn(0, 65535, ""));
  command->add_flag("--all", options.all, "Alle Aufnahmen aufnehmen");
  command->add_option("-o,--output", options.mapfile, "Die zu schreibende Mapdatei")
      ->type_name("MAPDATEI")
      ->required();
  command->add_flag("--force", options.force, "Eine vorhandene Mapdatei überschreiben");
  return command;
}

ExitCode runDomain(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  const DomainCommandOptions& options = invocation.domain;
  if (options.all && !options.entries.empty()) {
    terminal.logLine("korvelo-cli: Eintragsnummern und --all schließen sich aus.");
    return ExitCode::UsageError;
  }
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  Fsr5000Disk& disk = *session.app().disk;
  Log& log = session.app().log;
  if (refuseMountedSource(disk, log)) return ExitCode::ExportFailed;

  const EntryChoice choice = chooseEntries(disk, options.entries, options.all);
  for (int number : choice.unknown)
    terminal.logLine(
        textf("korvelo-cli: Eintragsnummer %d gibt es auf dieser Festplatte nicht.", number));
  if (!choice.unknown.empty()) return ExitCode::UsageError;
  if (const std::string problem = outputFileProblem(options.mapfile, options.force, sourceOf(disk));
      !problem.empty()) {
    log.append(problem, Severity::Error);
    return ExitCode::ExportFailed;
  }

  DomainOptions wanted;
  wanted.recordings = choice.entries;
  DiskDomain domain = computeDiskDomain(disk, wanted);
  const int64_t diskBytes = sourceOf(disk) ? sourceOf(disk)->mediaInfo().sizeBytes : -1;
  if (diskBytes >= 0) domain.sectors.clipTo(diskBytes / kSectorSize);
  if (domain.fileFatSize <= 0)
    log.append(
        "Die File-FAT-Size ist unbekannt: der Bereich enthält nur Signatur, "
        "\"file_system.sys\" und Verzeichnis. Bitte --fat-size angeben.",
        Severity::Warning);
  else
    log.append(
        textf("Der Bereich enthält den ersten HOJIN des Datenbereichs (ab Sektor %lld), an "
              "dem die File-FAT-Size %d erkannt wird.",
              static_cast<long long>(disk.layout().dataAreaStart(domain.fileFatSize)),
              domain.fileFatSize));
  for (int number : domain.unlocatedEntries)
    log.append(textf("Eintrag %d: nicht alle HOJINs sind auffindbar; nur die auffindbaren sind im "
                     "Bereich.",
                     number),
               Severity::Warning);

  const std::string text = domainMapfileText(domain.sectors, diskBytes,
                                             commentLines(domain, options, choice.entries.size()));
  if (const std::string problem = writeTextFile(options.mapfile, text, options.force);
      !problem.empty()) {
    log.append(problem, Severity::Error);
    return ExitCode::ExportFailed;
  }
  log.append(
      textf("Rettungsbereich: %s Sektoren (%s Bytes) in %zu Abschnitten, geschrieben nach \"%s\".",
            formatThousands(domain.sectors.sectorCount(), '.').c_str(),
            groupedBytes(domain.sectors.sectorCount()).c_str(), domain.sectors.ranges().size(),
            options.mapfile.c_str()));
  out << options.mapfile << "\n";
  // The area is written all the same; with a File-FAT-Size in doubt its file FATs may lie
  // elsewhere.
  const bool settled = session.admitFileFatSize(false);
  const bool complete = domain.fileFatSize > 0 && domain.unlocatedEntries.empty() && settled;
  return complete ? ExitCode::Success : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
