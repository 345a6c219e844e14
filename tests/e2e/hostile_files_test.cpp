// SPDX-License-Identifier: GPL-3.0-or-later
// Files an attacker (or an accident) puts where korvelo-cli reads or writes, run as the
// built program: inputs that are no files or too large, JSON with fields of the wrong
// type, and outputs named like an input of the same run. Each is refused in German with
// its exit code, and nothing it must not touch changes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

void writeText(const std::string& path, const std::string& text) {
  writeFileBytes(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::string manifestWith(const std::string& record) {
  return "{\"program\": \"korvelo-cli 1.30\", \"recordings\": [" + record + "]}\n";
}

// Paths a case may use; "{img}", "{map}", "{dir}" and "{out}" in its arguments stand for them.
struct Paths {
  std::string image;
  std::string mapfile;  // a well-formed mapfile of the image, given with --mapfile
  std::string dir;      // the test's folder
  std::string out;      // the file the case names as output or input
};

struct HostileCase {
  const char* name;
  std::function<void(Paths&)> prepare;  // makes the hostile file at p.out
  std::vector<std::string> arguments;
  int status;
  const char* text;        // the German line, "{out}" and "{map}" replaced
  bool untouched = false;  // p.out keeps its bytes
};

std::string replaced(std::string text, const Paths& p) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"{img}", p.image},
                                   {"{map}", p.mapfile},
                                   {"{dir}", p.dir},
                                   {"{out}", p.out}})
    for (size_t at; (at = text.find(key)) != std::string::npos;)
      text.replace(at, key.size(), value);
  return text;
}

class HostileFileTest : public DemoDiskTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFileTest, IsRefusedInGermanAndNothingElseChanges) {
  const HostileCase& c = GetParam();
  Paths p{image(), output_.file("platte.map"), output_.path(), output_.file("ziel")};
  writeText(p.mapfile, "0 +\n0 " + std::to_string(disk().imageBytes) + " +\n");
  if (c.prepare) c.prepare(p);
  const std::string mapfileBefore = sha256OfFile(p.mapfile);
  const std::string imageBefore = fileFingerprint(p.image);
  struct stat before {};
  const bool outIsFile = ::stat(p.out.c_str(), &before) == 0 && S_ISREG(before.st_mode);
  const std::string outBefore = outIsFile ? sha256OfFile(p.out) : "";

  std::vector<std::string> arguments;
  for (const std::string& argument : c.arguments) arguments.push_back(replaced(argument, p));
  const CliRun run = runCli(arguments);
  EXPECT_EQ(run.status, c.status) << run.out << run.err;
  const std::string text = replaced(c.text, p);
  EXPECT_NE((run.out + run.err).find(text), std::string::npos) << run.out << run.err;
  EXPECT_EQ(sha256OfFile(p.mapfile), mapfileBefore);
  EXPECT_EQ(fileFingerprint(p.image), imageBefore);
  if (c.untouched && outIsFile) {
    EXPECT_EQ(sha256OfFile(p.out), outBefore);
  }
}

const auto fifo = [](Paths& p) { ASSERT_EQ(::mkfifo(p.out.c_str(), 0600), 0); };
const auto linkToZero = [](Paths& p) { std::filesystem::create_symlink("/dev/zero", p.out); };
const auto manifest = [](std::string record) {
  return [record](Paths& p) {
    writeText(p.dir + "/x.hav", "kein Film");
    writeText(p.out, manifestWith(record));
  };
};
const auto sameAsMapfile = [](Paths& p) { p.out = p.mapfile; };

constexpr const char* kNotText = "ist beschädigt: \"file\" ist kein Text.";

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileFileTest,
    ::testing::Values(
        // Manifest fields of each wrong type: damaged records, never a crash.
        HostileCase{"ManifestFileNumber",
                    manifest("{\"file\": 5}"),
                    {"verify", "--manifest", "{out}"},
                    1,
                    kNotText},
        HostileCase{"ManifestFileNull",
                    manifest("{\"file\": null}"),
                    {"verify", "--manifest", "{out}"},
                    1,
                    kNotText},
        HostileCase{"ManifestFileObject",
                    manifest("{\"file\": {\"a\": 1}}"),
                    {"verify", "--manifest", "{out}"},
                    1,
                    kNotText},
        HostileCase{"ManifestFileOutsideTheFolder",
                    manifest("{\"file\": \"../x.hav\"}"),
                    {"verify", "--manifest", "{out}"},
                    1,
                    "ist beschädigt: \"file\" ist kein Dateiname im Ordner."},
        HostileCase{"ManifestFileSumNumber",
                    manifest("{\"file\": \"x.hav\", \"sha256_file\": 5}"),
                    {"verify", "--manifest", "{out}"},
                    1,
                    "Die aufgezeichneten Prüfsummen in \"{out}\" sind beschädigt: "
                    "\"sha256_file\" ist kein Text."},
        HostileCase{"ManifestDataSumObject",
                    manifest("{\"file\": \"x.hav\", \"sha256_hojin_data\": {}}"),
                    {"verify", "--manifest", "{out}"},
                    1,
                    "\"sha256_hojin_data\" ist kein Text."},
        HostileCase{"ManifestNoJson",
                    [](Paths& p) { writeText(p.out, "{\"recordings\": ["); },
                    {"verify", "--manifest", "{out}"},
                    1,
                    "Das Manifest \"{out}\" ist nicht lesbar: ist kein gültiges JSON."},
        HostileCase{"ManifestFifo",
                    fifo,
                    {"verify", "--manifest", "{out}"},
                    1,
                    "ist nicht lesbar: ist eine benannte Pipe (FIFO), keine gewöhnliche Datei."},
        // Files to verify that never end or never come.
        HostileCase{"HavFifo",
                    fifo,
                    {"verify", "{out}"},
                    1,
                    "{out}: Lässt sich nicht lesen: ist eine benannte Pipe (FIFO), keine "
                    "gewöhnliche Datei.\n"},
        HostileCase{"HavLinkToDevZero",
                    linkToZero,
                    {"verify", "{out}"},
                    1,
                    "{out}: Lässt sich nicht lesen: ist ein Gerät, keine gewöhnliche Datei.\n"},
        // Mapfiles that are no mapfiles.
        HostileCase{"MapfileFifo",
                    fifo,
                    {"--drive", "{img}", "--mapfile", "{out}", "list"},
                    2,
                    "Fehler in der Mapdatei \"{out}\": die Datei ist eine benannte Pipe (FIFO), "
                    "keine gewöhnliche Datei"},
        HostileCase{"MapfileDevZero",
                    nullptr,
                    {"--drive", "{img}", "--mapfile", "/dev/zero", "list"},
                    2,
                    "die Datei ist ein Gerät, keine gewöhnliche Datei"},
        HostileCase{"MapfileTooLarge",
                    [](Paths& p) { createSparseFile(p.out, (int64_t{64} << 20) + 1); },
                    {"--drive", "{img}", "--mapfile", "{out}", "list"},
                    2,
                    "die Datei ist zu groß (höchstens 67.108.864 Bytes)"},
        HostileCase{"MapfileBinaryBytesEscaped",
                    [](Paths& p) { writeText(p.out, "\x01\xfe\x1b[2J 0 ?\n"); },
                    {"--drive", "{img}", "--mapfile", "{out}", "list"},
                    2,
                    "Zeile 1: Position \"\\x01\\xFE\\x1B[2J\" ist keine Zahl"},
        // Outputs named like an input of the same run: refused like the image itself.
        HostileCase{
            "DomainOverItsMapfile",
            sameAsMapfile,
            {"--drive", "{img}", "--mapfile", "{map}", "domain", "--all", "-o", "{map}", "--force"},
            1,
            "\"{map}\" ist die Mapdatei der Festplatte, von der gelesen wird.",
            true},
        HostileCase{"MapOverTheMapfile",
                    sameAsMapfile,
                    {"--drive", "{img}", "--mapfile", "{map}", "map", "-o", "{map}", "--force"},
                    1,
                    "\"{map}\" ist die Mapdatei der Festplatte, von der gelesen wird.",
                    true},
        HostileCase{"MetadataImageOverTheMapfile",
                    sameAsMapfile,
                    {"--drive", "{img}", "--mapfile", "{map}", "metadata-image", "-o",
                     "{dir}/platte", "--force"},
                    1,
                    "\"{map}\" ist die Mapdatei der Festplatte, von der gelesen wird.",
                    true}),
    [](const auto& info) { return std::string(info.param.name); });

// A manifest record whose "file" is a number stays as it is, and the export into its
// folder adds its own record beside it instead of ending with an exception.
TEST_F(DemoDiskTest, AnExportIntoAFolderWithADamagedManifestKeepsItsRecord) {
  const std::string path = output_.file("korvelo-manifest.json");
  writeText(path, manifestWith("{\"file\": 5}, {\"file\": null, \"sha256_file\": []}"));
  const CliRun run = runCli({"--drive", image(), "export", "3", "-o", output_.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<uint8_t> bytes = readFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("\"file\": 5"), std::string::npos) << text;
  EXPECT_NE(text.find("\"file\": \"" + expectedFileName(recording(3)) + "\""), std::string::npos)
      << text;
}

// A manifest that is no manifest is never replaced unseen: its bytes stay under a new
// name the log tells, the export's record goes into a new manifest, and the run ends with 1.
class DamagedManifest : public DemoDiskTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedManifest, IsKeptAsideUnchangedAndTheRunEndsWithOne) {
  const std::string path = output_.file("korvelo-manifest.json");
  writeText(path, GetParam());
  const CliRun run = runCli({"--drive", image(), "export", "3", "-o", output_.path()});
  EXPECT_EQ(run.status, 1) << run.err;
  std::vector<std::string> aside;
  for (const auto& item : std::filesystem::directory_iterator(output_.path()))
    if (item.path().filename().string().starts_with("korvelo-manifest.json.beschädigt-"))
      aside.push_back(item.path().string());
  ASSERT_EQ(aside.size(), 1u);
  const std::vector<uint8_t> kept = readFileBytes(aside[0]);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), GetParam());
  const std::vector<std::string> lines = run.errLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& line) {
                            return line.ends_with(
                                "Das Manifest \"" + path +
                                "\" ist beschädigt und bleibt unverändert als \"" + aside[0] +
                                "\" erhalten; ein neues Manifest wird angelegt.");
                          }),
            1)
      << run.err;
  const std::vector<uint8_t> fresh = readFileBytes(path);
  const nlohmann::json manifest = nlohmann::json::parse(fresh.begin(), fresh.end());
  ASSERT_EQ(manifest["recordings"].size(), 1u);
  EXPECT_EQ(manifest["recordings"][0]["file"], expectedFileName(recording(3)));
}

INSTANTIATE_TEST_SUITE_P(NoManifest, DamagedManifest,
                         ::testing::Values("{\"recordings\": [{\"file\": \"a.hav\"", "[1, 2]",
                                           "{\"recordings\": {}}"));

// A recorded area of 2^62 sectors lies far outside the file: it is not taken over (and so
// not read again sector by sector for hours); the file is continued and comes out whole.
TEST_F(DemoDiskTest, AManifestAreaBeyondTheFileIsNotRetried) {
  ASSERT_EQ(runCli({"--drive", image(), "export", "2", "-o", output_.path()}).status, 0);
  const std::string file = output_.file(expectedFileName(recording(2)));
  const std::vector<uint8_t> whole = readFileBytes(file);
  writeFileBytes(file, std::span<const uint8_t>(whole).first(1624 + 3 * 33280));
  const std::string path = output_.file("korvelo-manifest.json");
  writeText(path, manifestWith("{\"file\": \"" + expectedFileName(recording(2)) +
                               "\", \"damaged_areas\": [{\"first_sector\": 100, \"sectors\": "
                               "4611686018427387904, \"file_offset\": 1624, \"state\": "
                               "\"unreadable\"}]}"));
  const CliRun run =
      runCli({"--drive", image(), "export", "2", "--resume", "--retry-bad", "-o", output_.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("Die beschädigten Stellen, die \"" + path + "\" für \"" +
                         expectedFileName(recording(2)) +
                         "\" verzeichnet, sind unbrauchbar (ein Bereich liegt außerhalb der "
                         "Datei oder ist fehlerhaft); sie werden nicht übernommen."),
            std::string::npos)
      << run.err;
  EXPECT_EQ(readFileBytes(file), whole);
}

}  // namespace
}  // namespace korvelo::test
