// verify: checks written ".hav" files on their own (head, entry image, length, every HOJIN
// head) and, when a disk is given with --drive, byte for byte against the disk. The
// report goes to stdout; exit code 0 when every file is good, 1 otherwise.

#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/cli_session.h"
#include "cli/commands.h"
#include "disk/text.h"
#include "export/hav_verify.h"

namespace korvelo::cli {

namespace {

void report(const std::string& path, const HavCheck& check, bool withDisk, std::ostream& out) {
  out << "Prüfe \"" << path << "\":\n";
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
      "Prüft \".hav\"-Dateien: Kopf, Verzeichniseintrag und jeden HOJIN-Kopf; mit "
      "--drive auch Byte für Byte gegen die Festplatte");
  command->option_defaults()->group("Optionen von verify");
  command->add_option("DATEI", options.files, "Die zu prüfenden \".hav\"-Dateien")
      ->type_name("DATEI")
      ->required();
  return command;
}

ExitCode runVerify(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  // Without --drive the files are checked alone: the machine's disks are not searched.
  const bool withDisk = !invocation.global.drives.empty();
  std::unique_ptr<CliSession> session;
  if (withDisk) {
    session = std::make_unique<CliSession>(invocation, terminal);
    if (!session->searchDisk()) return ExitCode::NoRecorderDisk;
  }
  bool allGood = true;
  for (const std::string& path : invocation.verify.files) {
    HavCheck check = checkHavFile(path);
    if (session) compareHavWithDisk(path, *session->app().disk, check);
    report(path, check, withDisk, out);
    allGood = allGood && check.good();
  }
  // 1 is the code for "not everything is as it should be", as for an incomplete export.
  return allGood ? ExitCode::Success : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
