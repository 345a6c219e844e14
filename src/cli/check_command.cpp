// SPDX-License-Identifier: GPL-3.0-or-later
// check: the read-only check of the disk's file system. The findings go to stdout, one
// German line each (or as JSON); exit code 0 when there are none, 1 otherwise.

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/disk_check_log.h"
#include "app/json_document.h"
#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/inspect_options.h"
#include "disk/text.h"
#include "recfs/file_system_check.h"

namespace korvelo::cli {

namespace {

// A number the finding does not name is null.
nlohmann::ordered_json numberOrNull(int64_t value) {
  return value < 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(value);
}

nlohmann::ordered_json findingJson(const CheckFinding& finding) {
  nlohmann::ordered_json object;
  object["kind"] = finding.kind;
  object["text"] = finding.text;
  object["entry"] = numberOrNull(finding.entry);
  object["slot"] = numberOrNull(finding.slot);
  object["block"] = numberOrNull(finding.block);
  object["sector"] = numberOrNull(finding.sector);
  object["hojin"] = numberOrNull(finding.hojin);
  object["count"] = numberOrNull(finding.count);
  object["expected"] = numberOrNull(finding.expected);
  object["entries"] = finding.entries;
  object["slots"] = finding.slotNumbers;
  return object;
}

std::string asJson(const CheckReport& report) {
  nlohmann::ordered_json object;
  object["schema"] = kJsonSchema;
  const BlockOwnership& ownership = report.ownership;
  object["sound"] = report.sound();
  object["data_area_start"] = ownership.dataAreaStart();
  object["blocks"] = ownership.blockCount();
  object["free_blocks"] = ownership.freeBlocks();
  object["cross_linked_blocks"] = ownership.sharedBlockCount();
  object["recordings"] = ownership.recordings().size();
  object["heads_checked"] = report.headsChecked;
  object["findings"] = nlohmann::ordered_json::array();
  for (const CheckFinding& finding : report.findings)
    object["findings"].push_back(findingJson(finding));
  return object.dump(2) + "\n";
}

}  // namespace

CLI::App* addCheckCommand(CLI::App& app, CheckCommandOptions& options) {
  CLI::App* command = app.add_subcommand(
      "check",
      "Prüft das Dateisystem der Festplatte (Verzeichnis, File-FATs, doppelt belegte und "
      "freie Blöcke), ohne etwas zu ändern");
  command->option_defaults()->group("Optionen von check");
  command->add_flag("--deep", options.deep, "Auch jeden HOJIN-Kopf jeder Aufnahme prüfen");
  command->add_flag("--json", options.json, "Befunde als JSON-Objekt ausgeben");
  return command;
}

ExitCode runCheck(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  if (!session.admitFileFatSize()) return ExitCode::ExportFailed;
  const CheckReport report = checkFileSystem(*session.app().disk, {.deep = invocation.check.deep});
  if (invocation.check.json) {
    out << asJson(report);
  } else {
    for (const CheckFinding& finding : report.findings) out << finding.text << "\n";
    out << checkOverview(report) << "\n" << checkSummary(report) << "\n";
  }
  // 1 is the code for "not everything is as it should be", as for an incomplete export.
  return report.sound() ? ExitCode::Success : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
