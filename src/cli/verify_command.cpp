// SPDX-License-Identifier: GPL-3.0-or-later
// verify: checks written ".hav" files on their own (head, entry image, length, every HOJIN
// head), against the check sums their export recorded (manifest and ".hav.json") and,
// when a disk is given with --drive, byte for byte against the disk. With --manifest it
// checks every file the manifest names. The report goes to stdout; exit code 0 when
// every file is good, 1 otherwise.

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

void report(const std::string& path, const HavCheck& check, bool withDisk, bool withSums,
            std::ostream& out) {
  out << "Prüfe \"" << path << "\":\n";
  if (!withSums && check.readable)
    out << "  Keine aufgezeichneten Prüfsummen (weder Manifest noch \".hav.json\"); geprüft "
           "wird, was die Datei selbst hergibt.\n";
  if (check.readable) {
    out << textf("  Eintrag %d \"%s\", %u HOJINs, %s Bytes\n", check.entryNumber,
                 latin1ToUtf8(filterPrintable(check.title)).c_str(), check.hojins,
                 formatThousands(check.fileBytes, '.').c_str());
  }
  for (const std::string& problem : check.problems) out << "  " << problem << "\n";
  if (check.digests.readable) {
    out << "  SHA-256 der Datei:        " << check.digests.file << "\n";
    out << "  SHA-256 der HOJIN-Daten:  " << check.digests.hojinData << "\n";
  }
  if (check.good())
    out << (withDisk ? "  In Ordnung: stimmt mit der Festplatte überein.\n" : "  In Ordnung.\n");
  else
    out << textf("  Nicht in Ordnung: %zu Befunde.\n", check.problems.size());
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
    // A manifest beside the file that is there but cannot be read is a finding of its own.
    if (!sources.missing && !sources.problem.empty()) check.problems.push_back(sources.problem);
    const std::vector<RecordedSums> sums = recordedSumsFor(path, sources);
    for (std::string& line : sumMismatches(check.digests, sums))
      check.problems.push_back(std::move(line));
    // A file its own record calls incomplete is never "In Ordnung", whatever its sums.
    for (std::string& line : recordedDamage(sums)) check.problems.push_back(std::move(line));
    if (session && !missing) compareHavWithDisk(path, *session->app().disk, check, &stop);
    report(path, check, withDisk, !sums.empty(), out);
    allGood = allGood && check.good();
  }
  // 1 is the code for "not everything is as it should be", as for an incomplete export.
  return allGood ? ExitCode::Success : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
