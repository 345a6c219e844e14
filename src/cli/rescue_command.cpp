// SPDX-License-Identifier: GPL-3.0-or-later
// rescue: finds recordings that the directory no longer leads to (by the file FATs, or
// by the HOJIN heads when those are gone too), lists them, and saves chosen ones as
// ".hav" files through the same export job and save driver as every other recording.

#include <CLI/CLI.hpp>
#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>

#include "app/folder_chooser.h"
#include "app/json_document.h"
#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/export_runner.h"
#include "cli/interrupt.h"
#include "cli/value_checks.h"
#include "disk/text.h"
#include "recfs/rescue_disk.h"
#include "recfs/rescue_scan.h"

namespace korvelo::cli {

namespace {

// Ctrl-C during a scan ends the scan (what was found is still listed), not the program.
std::atomic<bool> scanStop{false};

bool byHeads(const RescueOptions& options) {
  return options.scan == "heads";
}

RescueScanResult runScan(Fsr5000Disk& disk, const RescueOptions& options, Terminal& terminal) {
  const char* what = byHeads(options) ? "Blöcke" : "Dateizuordnungstabellen";
  RescueScanOptions scan;
  scan.stop = &scanStop;
  scan.emptyBlockLimit = options.scanLimit;
  scan.progress = [&terminal, what](const ScanProgress& p) {
    const std::string total = p.total > 0 ? formatThousands(p.total, '.') : std::string("?");
    terminal.showProgress(textf("Suche: %s von %s %s, %d gefunden",
                                formatThousands(p.done, '.').c_str(), total.c_str(), what,
                                p.found));
  };
  scanStop = false;
  const InterruptRequest interrupts(scanStop);
  RescueScanResult result =
      byHeads(options) ? scanHojinHeads(disk, scan) : scanFileFatRegions(disk, scan);
  terminal.clearProgress();
  return result;
}

std::string whereFound(const RescuedRecording& recording) {
  if (recording.method == RescueMethod::FileFatRegions)
    return textf("FAT-Bereich %d", recording.region);
  return textf("ab Block %lld", static_cast<long long>(recording.blocks.front()));
}

// "5\tGerettet 5\tFAT-Bereich 6\t2 Blöcke\t17 HOJINs\t 565.760 Bytes\tsicher"
std::string listLine(const RescuedRecording& recording) {
  std::string verdict = confidenceName(recording.confidence());
  const std::vector<std::string> doubts = recording.doubts();
  for (size_t i = 0; i < doubts.size(); ++i) verdict += (i == 0 ? " (" : ", ") + doubts[i];
  if (!doubts.empty()) verdict += ")";
  return textf("%d\tGerettet %d\t%s\t%zu %s\t%d %s\t %s Bytes\t%s", recording.id, recording.id,
               whereFound(recording).c_str(), recording.blocks.size(),
               recording.blocks.size() == 1 ? "Block" : "Blöcke", recording.hojins,
               recording.hojins == 1 ? "HOJIN" : "HOJINs",
               formatThousands(static_cast<int64_t>(recording.sizeInBytes()), '.').c_str(),
               verdict.c_str());
}

// A number that does not apply (no region from the head scan, no block after a chain's
// end, no File-FAT-Size) is null: a script must not take -1 for a place on the disk.
nlohmann::json numberOrNull(int64_t value) {
  return value >= 0 ? nlohmann::json(value) : nlohmann::json();
}

nlohmann::json alternativesJson(const RescuedRecording& recording) {
  nlohmann::json links = nlohmann::json::array();
  for (const ChainAlternative& link : recording.alternatives)
    links.push_back({{"hojin", link.hojin},
                     {"after_block", link.afterBlock},
                     {"chosen_block", numberOrNull(link.chosenBlock)},
                     {"other_blocks", link.otherBlocks},
                     {"more_blocks", link.moreBlocks},
                     {"could_end", link.couldEnd}});
  return links;
}

// A log line for every chain whose blocks may belong to different recordings.
void logDoubts(const RescueScanResult& result, Log& log) {
  for (const RescuedRecording& r : result.recordings)
    if (const std::string doubt = r.spliceDoubt(); !doubt.empty())
      log.append(textf("Gerettet %d: %s.", r.id, doubt.c_str()), Severity::Warning);
}

std::string resultJson(const RescueScanResult& result, const RescueOptions& options) {
  nlohmann::json recordings = nlohmann::json::array();
  for (const RescuedRecording& r : result.recordings) {
    recordings.push_back({{"id", r.id},
                          {"title", textf("Gerettet %d", r.id)},
                          {"region", numberOrNull(r.region)},
                          {"blocks", r.blocks},
                          {"hojins", r.hojins},
                          {"size_bytes", r.sizeInBytes()},
                          {"first_sector", r.sectorOfHojin(1)},
                          {"confidence", confidenceName(r.confidence())},
                          {"confidence_id", confidenceId(r.confidence())},
                          {"doubts", r.doubts()},
                          {"alternatives", alternativesJson(r)}});
  }
  const nlohmann::json document = {{"schema", kJsonSchema},
                                   {"scan", byHeads(options) ? "heads" : "regions"},
                                   {"file_fat_size", numberOrNull(result.fileFatSize)},
                                   {"interrupted", result.interrupted},
                                   {"scanned", result.scanned},
                                   {"unreadable", result.unreadable},
                                   {"unreadable_blocks", result.unreadableBlocks},
                                   {"orphan_blocks", result.orphanBlocks},
                                   {"recordings", recordings}};
  return document.dump(2);
}

// The ids to save in the order found; unknown ids are reported and make the call wrong.
bool chooseIds(const RescueScanResult& result, const RescueOptions& options, Terminal& terminal,
               std::vector<int>& chosen) {
  std::set<int> known;
  for (const RescuedRecording& r : result.recordings) known.insert(r.id);
  bool allKnown = true;
  for (int id : options.ids) {
    if (known.count(id) > 0) continue;
    terminal.logLine(textf("korvelo-cli: Eine gerettete Aufnahme %d gibt es nicht.", id));
    allKnown = false;
  }
  const std::set<int> wanted(options.ids.begin(), options.ids.end());
  for (const RescuedRecording& r : result.recordings)
    if (options.all || wanted.count(r.id) > 0) chosen.push_back(r.id);
  return allKnown;
}

ExitCode exportRescued(CliSession& session, const RescueScanResult& result,
                       const RescueOptions& options, std::ostream& out) {
  std::vector<int> chosen;
  if (!chooseIds(result, options, session.terminal(), chosen)) return ExitCode::UsageError;
  if (chosen.empty()) {
    session.app().log.append("Keine gerettete Aufnahme zu speichern: es wird nichts geschrieben.",
                             Severity::Error);
    return ExitCode::ExportFailed;
  }
  if (const std::string problem = targetFolderProblem(options.outputFolder); !problem.empty()) {
    session.app().log.append(problem, Severity::Error);
    return ExitCode::ExportFailed;
  }
  AppState& app = session.app();
  if (!session.controller().workflow().admitSource(*app.disk)) return ExitCode::ExportFailed;
  app.settings.suppressWarnings = !options.warnings;
  app.settings.useRecordDate = false;  // a rescued recording has no start time
  app.settings.millisecondsPause = 0;
  app.settings.entryNumberInFileName = !options.noEntryNumber;
  app.settings.pathToHAVs = options.outputFolder;
  RescueDisk disk(*app.disk, result.recordings);
  std::vector<ExportItem> items;
  for (int id : chosen)
    items.push_back({&disk, disk.entryFor(id), id, disk.recordingFor(id)->spliceDoubt()});
  const ExitCode saved =
      saveItems(session, items, {options.outputFolder, options.force, false, false}, out);
  return saved == ExitCode::Success && result.fellShort() ? ExitCode::ExportFailed : saved;
}

}  // namespace

CLI::App* addRescueCommand(CLI::App& app, RescueOptions& options) {
  CLI::App* command =
      app.add_subcommand("rescue",
                         "Sucht Aufnahmen, die das Verzeichnis nicht mehr nennt (gelöscht oder "
                         "beschädigt), und listet sie auf stdout");
  command->option_defaults()->group("Optionen von rescue");
  command->fallthrough();
  command
      ->add_option("--scan", options.scan,
                   "regions: Dateizuordnungstabellen ohne Verzeichniseintrag (Vorgabe); "
                   "heads: HOJIN-Köpfe im Datenbereich, wenn auch die Tabellen zerstört sind")
      ->type_name("ART")
      ->check(oneOf({"regions", "heads"}));
  command->add_flag("--json", options.json, "Liste als JSON-Objekt ausgeben");
  command
      ->add_option("--scan-limit", options.scanLimit,
                   "heads: nach so vielen Blöcken ohne HOJIN-Kopf hinter dem letzten "
                   "gefundenen aufhören (0: ganze Festplatte, Vorgabe)")
      ->type_name("BLÖCKE")
      ->check(wholeNumberIn(0, 1LL << 40, "Blöcke"));
  CLI::App* save = command->add_subcommand(
      "export", "Speichert gerettete Aufnahmen als \".hav\"-Dateien; stdout erhält die Pfade");
  save->option_defaults()->group("Optionen von rescue export");
  save->set_help_flag();
  save->fallthrough();
  save->add_option("ID", options.ids, "Nummern der geretteten Aufnahmen, wie \"rescue\" sie zeigt")
      ->type_name("NUMMER")
      ->check(wholeNumberIn(0, 65535, ""));
  save->add_flag("--all", options.all, "Alle geretteten Aufnahmen speichern");
  save->add_option("-o,--output", options.outputFolder,
                   "Zielordner (Vorgabe: das aktuelle Verzeichnis)")
      ->type_name("ORDNER");
  save->add_flag("--force", options.force, "Vorhandene Zieldateien überschreiben");
  save->add_flag("--no-entry-number", options.noEntryNumber,
                 "Keine Nummer an den Anfang der Dateinamen setzen");
  save->add_flag("--warnings", options.warnings, "Warnungen zu jedem HOJIN-Kopf zeigen");
  save->callback([&options] { options.exportWanted = true; });
  return command;
}

ExitCode runRescue(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  const RescueOptions& options = invocation.rescue;
  if (options.exportWanted && options.all == !options.ids.empty()) {
    terminal.logLine(options.all ? "korvelo-cli: Nummern und --all schließen sich aus."
                                 : "korvelo-cli: Bitte Nummern oder --all angeben.");
    return ExitCode::UsageError;
  }
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  // A scan settles the value itself; a verification that fails because the file FATs
  // are gone is what the head scan is for. The doubt is logged all the same.
  session.admitFileFatSize(false);
  const RescueScanResult result = runScan(*session.app().disk, options, terminal);
  session.app().log.append(result.message, result.ok ? Severity::Info : Severity::Error);
  if (!result.ok) return ExitCode::ExportFailed;
  logDoubts(result, session.app().log);
  if (options.exportWanted) return exportRescued(session, result, options, out);
  if (options.json) {
    out << resultJson(result, options) << "\n";
  } else {
    for (const RescuedRecording& recording : result.recordings) out << listLine(recording) << "\n";
  }
  out.flush();
  return result.fellShort() ? ExitCode::ExportFailed : ExitCode::Success;
}

}  // namespace korvelo::cli
