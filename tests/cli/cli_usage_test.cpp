// SPDX-License-Identifier: GPL-3.0-or-later
// The command line itself: help, version and the usage errors, before any disk is read.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "support/cli_runner.h"

namespace korvelo::test {
namespace {

TEST(UsageTest, HelpIsGermanAndListsEveryExitCode) {
  const CliRun run = runCli({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  for (const char* text :
       {"Aufruf: korvelo-cli", "Rückgabewerte:", "\n  0  ", "\n  1  ", "\n  2  ", "\n  3  ",
        "--drive", "--tevion", "--no-filesys-check", "--fat-size", "--json", "--all", "--force",
        "--pause", "--record-date", "--no-entry-number", "--warnings"})
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
}

TEST(UsageTest, HelpIsWrappedAndNamesValuesWithoutTheParsersTypeNotes) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--help"}, {"rescue", "--help"}}) {
    const CliRun run = runCli(arguments);
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(std::regex_search(run.out, std::regex(":(INT|UINT|TEXT|FLOAT)\\b| in \\[")))
        << run.out;
    EXPECT_NE(run.out.find("--scan-limit BLÖCKE "), std::string::npos) << run.out;
    // Not on a terminal, help fills 80 columns at most.
    for (const std::string& line : run.outLines())
      EXPECT_LE(std::count_if(
                    line.begin(), line.end(),
                    [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }),
                80)
          << line;
  }
}

TEST(UsageTest, CommandHelpNamesItsOwnOptions) {
  const CliRun run = runCli({"export", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Aufruf: korvelo-cli export"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--no-entry-number"), std::string::npos);
  // Its own examples only; the exit codes stay with every command.
  EXPECT_NE(run.out.find("\n  korvelo-cli --drive platte.img export 1 3 -o ~/Filme\n"),
            std::string::npos);
  EXPECT_EQ(run.out.find("list --json"), std::string::npos);
  EXPECT_NE(run.out.find("Rückgabewerte:"), std::string::npos);
  EXPECT_EQ(runCli({"rescue", "--help"}).out.find("Beispiele:"), std::string::npos);
}

TEST(UsageTest, VersionIsTheProgramsNameAndNumber) {
  for (const char* option : {"--version", "-V"}) {
    const CliRun run = runCli({option});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "korvelo-cli 1.30\n");
  }
}

// "help" is --help as a command; "help COMMAND" that command's help.
TEST(UsageTest, HelpCommandShowsTheWholeHelpOrOneCommands) {
  const CliRun whole = runCli({"help"});
  EXPECT_EQ(whole.status, 0);
  EXPECT_EQ(whole.out, runCli({"--help"}).out);
  EXPECT_NE(whole.out.find("\n  rescue export "), std::string::npos) << whole.out;
  EXPECT_NE(whole.out.find("Optionen von rescue export:"), std::string::npos);
  const CliRun inner = runCli({"help", "rescue", "export"});
  EXPECT_EQ(inner.status, 0);
  EXPECT_NE(inner.out.find("Aufruf: korvelo-cli rescue export"), std::string::npos) << inner.out;
  EXPECT_EQ(runCli({"help", "verify"}).out, runCli({"verify", "--help"}).out);
  EXPECT_NE(runCli({"help", "help"}).out.find("Aufruf: korvelo-cli help"), std::string::npos);
  // Descriptions start in one column, also beside a name with an umlaut.
  const auto descriptionColumn = [&](const std::string& name) {
    const size_t at = whole.out.find("  " + name + " ");
    const size_t text = whole.out.find_first_not_of(' ', at + 2 + name.size());
    if (at == std::string::npos) return std::ptrdiff_t{-1};
    return std::count_if(whole.out.begin() + at, whole.out.begin() + text,
                         [](unsigned char c) { return (c & 0xC0) != 0x80; });  // code points
  };
  EXPECT_EQ(descriptionColumn("--scan-limit BLÖCKE"), descriptionColumn("--json"));
}

struct UsageCase {
  const char* name;
  std::vector<std::string> arguments;
  const char* errorText;  // part of the German message on stderr
};

class UsageErrorTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrorTest, ExitsWithTwoAndExplainsInGerman) {
  const CliRun run = runCli(GetParam().arguments);
  EXPECT_EQ(run.status, 2);
  // Under --json stdout gets the error as JSON (checked with the other documents).
  const auto& words = GetParam().arguments;
  if (std::find(words.begin(), words.end(), "--json") == words.end()) EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("korvelo-cli: ")) << run.err;
  EXPECT_NE(run.err.find(GetParam().errorText), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Hilfe: korvelo-cli --help"), std::string::npos);
  // Usage errors are found before any drive is searched.
  EXPECT_EQ(run.err.find("Suche FSR-Festplatte"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageErrorTest,
    ::testing::Values(
        UsageCase{"NoCommand",
                  {},
                  "Es fehlt ein Befehl (search, list, export, rescue, domain, metadata-image, "
                  "verify, check, map oder drives)."},
        UsageCase{"MapWithoutOutput", {"map"}, "Es fehlt die Angabe --output."},
        UsageCase{"MapTooNarrow",
                  {"map", "-o", "x.svg", "--width", "100"},
                  "Ungültiger Wert bei --width: erlaubt sind 400 bis 10000 Pixel"},
        UsageCase{"DomainWithoutOutput", {"domain", "--all"}, "Es fehlt die Angabe --output."},
        UsageCase{
            "VerifyWithoutFile", {"verify"}, "Bitte \".hav\"-Dateien oder --manifest angeben"},
        UsageCase{"VerifyFileAndManifest",
                  {"verify", "a.hav", "--manifest", "korvelo-manifest.json"},
                  "\".hav\"-Dateien und --manifest schließen sich aus."},
        UsageCase{"UnknownCommand", {"frobnicate"}, "Unbekannter Befehl „frobnicate“.\n"},
        UsageCase{"TypoInCommand", {"lsit"}, "Unbekannter Befehl „lsit“. Meinten Sie „list“?\n"},
        UsageCase{"TypoInCommandWithArgument",
                  {"exprt", "1"},
                  "Unbekannter Befehl „exprt“. Meinten Sie „export“?\n"},
        UsageCase{"HelpForAnUnknownCommand",
                  {"help", "frobnicate"},
                  "Unbekannter Befehl „frobnicate“.\n"},
        UsageCase{"HelpForATypo", {"help", "exprot"}, "Meinten Sie „export“?\n"},
        UsageCase{
            "TypoInOption", {"export", "--al"}, "Unbekannte Option „--al“. Meinten Sie „--all“?\n"},
        UsageCase{"ArgumentAfterCommand", {"list", "1"}, "Unerwartete Angabe „1“.\n"},
        UsageCase{"TypoInCommandOfCommand",
                  {"rescue", "exprt", "1"},
                  "Unerwartete Angabe „exprt“. Meinten Sie „export“?\n"},
        UsageCase{"QuietAndVerbose", {"-q", "list", "-v"}, "-q und -v schließen sich aus."},
        UsageCase{"UnknownOption", {"list", "--bogus"}, "Unbekannte Option „--bogus“.\n"},
        UsageCase{"ExportWithoutEntries", {"export"}, "Eintragsnummern oder --all"},
        UsageCase{"EntriesAndAll", {"export", "1", "--all"}, "schließen sich aus"},
        UsageCase{"EntryNotANumber",
                  {"export", "eins"},
                  "Ungültiger Wert bei EINTRAGSNUMMER: \"eins\" ist keine ganze Zahl"},
        UsageCase{"DomainEntryNotANumber",
                  {"domain", "eins", "-o", "x"},
                  "Ungültiger Wert bei EINTRAGSNUMMER: \"eins\" ist keine ganze Zahl"},
        UsageCase{"EntryTooLarge", {"export", "65536"}, "erlaubt sind 0 bis 65535"},
        UsageCase{"PauseTooLong", {"export", "--all", "--pause", "101"}, "0 bis 100 Millisekunden"},
        UsageCase{"FatSizeZero", {"--fat-size", "0", "list"}, "erlaubt sind 1 bis 65535"},
        UsageCase{"RawBytesEscaped", {"export", "\x01\xff"}, "\"\\x01\\xFF\" ist keine ganze Zahl"},
        UsageCase{"UnknownScan",
                  {"rescue", "--scan", "foo"},
                  "Ungültiger Wert bei --scan: \"foo\" ist nicht erlaubt, möglich sind: "
                  "regions, heads"},
        UsageCase{"NegativeScanLimit",
                  {"rescue", "--scan", "heads", "--scan-limit", "-1"},
                  "erlaubt sind 0 bis 1099511627776 Blöcke"},
        UsageCase{"RescueIdTooLarge", {"rescue", "export", "70000"}, "erlaubt sind 0 bis 65535\n"},
        UsageCase{
            "DomainEntryTooLarge", {"domain", "70000", "-o", "x"}, "erlaubt sind 0 bis 65535\n"},
        UsageCase{"DriveWithoutPath", {"list", "--drive"}, "--drive"},
        UsageCase{"JsonOnSearch",
                  {"search", "--json"},
                  "Die Option „--json“ gibt es bei „search“ nicht."}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

}  // namespace
}  // namespace korvelo::test
