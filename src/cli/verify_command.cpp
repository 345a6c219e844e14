// SPDX-License-Identifier: GPL-3.0-or-later
// verify: checks written ".hav" files on their own (head, entry image, length, every HOJIN
// head), against the check sums their export recorded (manifest and ".hav.json") and,
// when a disk is given with --drive, byte for byte against the disk. With --manifest it
// checks every file the manifest names. The report goes to stdout; exit code 0 when
// every file is good, 1 otherwise (also when a file could be held against neither sums
// nor the disk). The output follows checksum checkers: a line per file,
// only the failures with -q, and a warning with the count of failures on stderr.

#include <CLI/CLI.hpp>
#include <atomic>
#include <filesystem>
#include <map>
#include <ostream>

#include "app/recorded_sums.h"
#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "disk/text.h"
#include "export/hav_verify.h"

namespace korvelo::cli {

namespace {

struct ReportStyle {
  bool withDisk = false;  // compared with the disk
  bool withSums = false;  // held against recorded sums
  bool details = false;   // entry and sums below each file
  bool quiet = false;     // only the files that are not good
};

// Without recorded sums and without the disk only the file's form is known, not that its
// bytes are the recording's: as a checksum checker passes no file its list does not name,
// such a file is not called good.
bool unchecked(const HavCheck& check, const ReportStyle& style) {
  return check.good() && !style.withDisk && !style.withSums;
}

// One line per file, as checksum checkers print it: the file, then "In Ordnung" or its
// first finding; further findings on indented lines below it, and on request the entry
// and the sums. Quiet: only the files that are not good.
void report(const std::string& path, const HavCheck& check, const ReportStyle& style,
            std::ostream& out) {
  if (style.quiet && check.good() && !unchecked(check, style)) return;
  std::string verdict;
  if (!check.good())
    verdict = check.problems.empty() ? "Nicht in Ordnung." : check.problems.front();
  else if (style.withDisk)
    verdict = "In Ordnung, stimmt mit der Festplatte überein";
  else if (style.withSums)
    verdict = "In Ordnung";
  else
    verdict =
        "Nicht geprüft (keine aufgezeichneten Prüfsummen: nur Kopf, Länge und HOJIN-Köpfe "
        "stimmen; mit --drive gegen die Festplatte prüfen)";
  out << path << ": " << verdict << "\n";
  for (size_t i = 1; i < check.problems.size(); ++i) out << "  " << check.problems[i] << "\n";
  if (!style.details) return;
  if (check.readable)
    out << textf("  Eintrag %d \"%s\", %u %s, %s Bytes\n", check.entryNumber,
                 latin1ToUtf8(filterPrintable(check.title)).c_str(), check.hojins,
                 check.hojins == 1 ? "HOJIN" : "HOJINs",
                 formatThousands(check.fileBytes, '.').c_str());
  if (check.digests.readable) {
    out << "  SHA-256 der Datei:        " << check.digests.file << "\n";
    out << "  SHA-256 der HOJIN-Daten:  " << check.digests.hojinData << "\n";
  }
}

// "WARNUNG: 1 von 5 Dateien stimmt nicht."
std::string failureTotal(size_t failed, size_t checked) {
  return textf("WARNUNG: %zu von %zu %s %s nicht.", failed, checked,
               checked == 1 ? "Datei" : "Dateien", failed == 1 ? "stimmt" : "stimmen");
}

// "WARNUNG: 2 von 5 Dateien nicht geprüft."
std::string uncheckedTotal(size_t unchecked, size_t checked) {
  return textf("WARNUNG: %zu von %zu %s nicht geprüft.", unchecked, checked,
               checked == 1 ? "Datei" : "Dateien");
}

}  // namespace

CLI::App* addVerifyCommand(CLI::App& app, VerifyCommandOptions& options) {
  CLI::App* command = app.add_subcommand(
      "verify",
      "Prüft \".hav\"-Dateien: Kopf, Verzeichniseintrag, jeden HOJIN-Kopf und die beim Speichern "
      "aufgezeichneten Prüfsummen; mit "
      "--drive auch Byte für Byte gegen die Festplatte");
  command->option_defaults()->group("Optionen von verify");
  command->add_option("DATEI", options.files, "Die zu prüfenden \".hav\"-Dateien")
      ->type_name("DATEI");
  command
      ->add_option("--manifest", options.manifest,
                   "Statt DATEI: jede Datei prüfen, die das Manifest nennt")
      ->type_name("MANIFEST");
  command->add_flag("--details", options.details,
                    "Zu jeder Datei auch Eintrag, Länge und SHA-256-Summen zeigen");
  return command;
}

ExitCode runVerify(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  // Without --drive the files are checked alone: the machine's disks are not searched.
  const bool withDisk = !invocation.global.drives.empty();
  std::unique_ptr<CliSession> session;
  if (withDisk) {
    session = std::make_unique<CliSession>(invocation, terminal);
    if (!session->searchDisk()) return ExitCode::NoRecorderDisk;
    if (!session->admitFileFatSize()) return ExitCode::ExportFailed;
  }
  const std::string& manifest = invocation.verify.manifest;
  std::vector<std::string> files = invocation.verify.files;
  bool allGood = true;
  // Each manifest is read once, however many files it names.
  std::map<std::string, ManifestSums> manifests;
  const auto manifestFor = [&](const std::string& path) -> const ManifestSums& {
    auto known = manifests.find(path);
    if (known == manifests.end()) known = manifests.emplace(path, readManifestSums(path)).first;
    return known->second;
  };
  if (!manifest.empty()) {
    const ManifestSums& named = manifestFor(manifest);
    if (!named.problem.empty()) {
      out << named.problem << "\n";
      return ExitCode::ExportFailed;
    }
    for (const std::string& line : named.damaged) out << line << "\n";
    allGood = named.damaged.empty();
    files = named.files;
    if (files.empty() && named.damaged.empty()) {
      out << "Das Manifest \"" << manifest << "\" nennt keine Datei; nichts wurde geprüft.\n";
      return ExitCode::ExportFailed;
    }
  }
  size_t failed = 0;
  size_t notChecked = 0;
  size_t checked = 0;
  // Ctrl-C ends the comparison with the disk before its next HOJIN and the run before the
  // next file; what was checked so far is reported.
  std::atomic<bool> stop{false};
  const InterruptRequest interrupt(stop);
  for (const std::string& path : files) {
    if (stop.load()) {
      out << "Abgebrochen.\n";
      allGood = false;
      break;
    }
    HavCheck check;
    std::error_code error;
    const bool missing = !manifest.empty() && !std::filesystem::exists(path, error);
    if (missing)
      check.problems.push_back("Die Datei fehlt.");
    else
      check = checkHavFile(path);
    const ManifestSums& sources = manifestFor(manifest.empty() ? manifestBeside(path) : manifest);
    // A manifest beside the file that is there but cannot be read is a finding of its own,
    // and so is its journal: the file's newest record may stand in it.
    if (!sources.missing && !sources.problem.empty()) check.problems.push_back(sources.problem);
    if (manifest.empty() && !sources.journalProblem.empty())
      check.problems.push_back(sources.journalProblem);
    const std::vector<RecordedSums> sums = recordedSumsFor(path, sources);
    for (std::string& line : sumMismatches(check.digests, sums))
      check.problems.push_back(std::move(line));
    // A file its own record calls incomplete is never "In Ordnung", whatever its sums.
    for (std::string& line : recordedDamage(sums)) check.problems.push_back(std::move(line));
    if (session && !missing) compareHavWithDisk(path, *session->app().disk, check, &stop);
    const ReportStyle style{.withDisk = withDisk,
                            .withSums = !sums.empty(),
                            .details = invocation.verify.details,
                            .quiet = invocation.global.quiet};
    report(path, check, style, out);
    ++checked;
    if (!check.good()) ++failed;
    if (unchecked(check, style)) ++notChecked;
    allGood = allGood && check.good() && !unchecked(check, style);
  }
  if (failed > 0) terminal.logLine(failureTotal(failed, checked), Severity::Warning);
  if (notChecked > 0) terminal.logLine(uncheckedTotal(notChecked, checked), Severity::Warning);
  // 1 is the code for "not everything is as it should be", as for an incomplete export.
  return allGood ? ExitCode::Success : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
