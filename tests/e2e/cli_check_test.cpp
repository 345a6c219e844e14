// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli check and map end to end: small built disks, each with one planted fault of
// the file system, and the exact finding lines and exit code the check gives for it; the
// map of such a disk read back as XML.

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "app/disk_map_svg.h"
#include "support/built_disk.h"
#include "support/cli_runner.h"
#include "support/file_util.h"
#include "support/json_schema.h"
#include "support/rescue_fixture.h"

namespace korvelo::test {
namespace {

// F = 2: data area from sector 6666706, block b at 6666706 + 1040 b; the file FAT of
// entry e at 6662704 + 2 (e + 1). Entry 0 owns block 0, entry 1 blocks 1 and 2.
constexpr const char* kLost =
    "beginnt mit einem Aufnahmebeginn: möglicherweise eine verlorene Aufnahme (siehe "
    "\"korvelo-cli rescue\").";

void pokeFileFat(sample::DiskDescription& disk, int entry, std::vector<uint8_t> bytes) {
  bytes.resize(2 * 512, 0);
  disk.rawSectors.push_back({6662704 + 2 * (entry + 1), bytes});
}

struct CheckCase {
  const char* name;
  std::function<void(sample::DiskDescription&)> plant;
  std::string arguments;  // after "check"
  std::vector<std::string> findings;
  std::set<int64_t> unreadSectors = {};  // given as a mapfile
};

const CheckCase kCases[] = {
    {"Sound", [](sample::DiskDescription&) {}, "", {}},
    {"CrossLink",
     [](auto& disk) { pokeFileFat(disk, 1, {0xA0}); },  // blocks 0 and 2
     "",
     {"Block 0 (Sektor 6666706) gehört mehreren Aufnahmen: Einträge 0, 1.",
      std::string("Freier Block 1 (Sektor 6667746) ") + kLost}},
    {"FatTooShort",
     [](auto& disk) { pokeFileFat(disk, 1, {0x40}); },
     "",
     {"Eintrag 1: Die File-FAT nennt 1 Block, die Länge braucht 2: das Ende der Aufnahme ist "
      "nicht auffindbar."}},
    {"FatTooLong",
     [](auto& disk) { pokeFileFat(disk, 1, {0x70}); },
     "",
     {"Eintrag 1: Die File-FAT nennt 3 Blöcke, die Länge braucht nur 2: überzählige Blöcke."}},
    {"BlockBeyondEnd",
     [](auto& disk) {
       pokeFileFat(disk, 1, {0x60, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x08});
     },
     "",
     {"Eintrag 1: Die File-FAT nennt 3 Blöcke, die Länge braucht nur 2: überzählige Blöcke.",
      "Eintrag 1: 1 Block liegt hinter dem Ende der Festplatte (der erste ist Block 100)."}},
    {"EntryNumberMismatch",
     [](auto& disk) { disk.recordings[1].entryNumber = 5; },
     "",
     {"Verzeichnisplatz 1: Eintragsnummer 5 passt nicht zum Platz."}},
    {"AnnouncedCountOff",
     [](auto& disk) {
       disk.announcedEntries = 3;
       disk.emptySlots = {2};
     },
     "",
     {"Verzeichnis: 3 Einträge angekündigt, 2 gefunden."}},
    {"DuplicateEntryNumber",
     [](auto& disk) {
       sample::Recording twin = rescueRecording(2, {}, 0);
       twin.entryNumber = 1;
       twin.writeFileFat = false;
       disk.recordings.push_back(twin);
     },
     "",
     {"Verzeichnisplatz 2: Eintragsnummer 1 passt nicht zum Platz.",
      "Verzeichnis: Eintragsnummer 1 steht in 2 Plätzen (1, 2).",
      "Eintrag 1: Die File-FAT nennt 2 Blöcke, die Länge braucht nur 0: überzählige Blöcke.",
      "Block 1 (Sektor 6667746) gehört mehreren Aufnahmen: Einträge 1, 1.",
      "Block 2 (Sektor 6668786) gehört mehreren Aufnahmen: Einträge 1, 1."}},
    {"LostRecordingInFreeBlocks",
     [](auto& disk) {
       disk.recordings.push_back(rescueRecording(2, {4}, 10));
       disk.rawSectors.push_back({6598704 + 2 * 32, std::vector<uint8_t>{0xFF, 0xFF}});
     },
     "",
     {"Verzeichnis: 3 Einträge angekündigt, 2 gefunden.",
      std::string("Freier Block 4 (Sektor 6670866) ") + kLost}},
    {"FirstHeadNotRecordingStart",
     [](auto& disk) {
       disk.recordings[1].defects = {{1, sample::HeadDefect::NotRecordingStart}};
     },
     "",
     {"Eintrag 1: Der erste HOJIN (Sektor 6667746) ist kein Aufnahmebeginn."}},
    {"HeadOutOfOrderUnseenWithoutDeep",
     [](auto& disk) {
       disk.recordings[1].defects = {{20, sample::HeadDefect::WrongOrder}};
     },
     "",
     {}},
    {"HeadOutOfOrderDeep",
     [](auto& disk) {
       disk.recordings[1].defects = {{20, sample::HeadDefect::WrongOrder}};
     },
     "--deep",
     {"Eintrag 1: 1 von 25 HOJIN-Köpfen ist fehlerhaft oder nicht lesbar, der erste bei HOJIN "
      "20 (Sektor 6668981)."}},
    {"UnreadSectorsFromMapfile",
     [](sample::DiskDescription&) {},
     "",
     {"Eintrag 1: 2 Sektoren der Aufnahme sind laut Mapdatei nicht gelesen."},
     {6667846, 6668000}},
};

class CliCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CliCheck, ReportsExactlyThePlantedFault) {
  const CheckCase& c = GetParam();
  sample::DiskDescription disk =
      smallDisk({rescueRecording(0, {0}, 10), rescueRecording(1, {1, 2}, 25)}, 8);
  c.plant(disk);
  TempDir dir;
  const std::string image = dir.file("disk.img");
  sample::buildDisk(disk, image);
  std::vector<std::string> words = {"--drive", image};
  if (!c.unreadSectors.empty()) {
    const std::string map = mapfileText(static_cast<int64_t>(disk.imageBytes), c.unreadSectors);
    writeFileBytes(dir.file("disk.map"),
                   {reinterpret_cast<const uint8_t*>(map.data()), map.size()});
    words.insert(words.end(), {"--mapfile", dir.file("disk.map")});
  }
  words.push_back("check");
  std::istringstream more(c.arguments);
  for (std::string word; more >> word;) words.push_back(word);

  const CliRun run = runCli(words);
  std::vector<std::string> lines = run.outLines();
  ASSERT_GE(lines.size(), 2u) << run.err;
  const std::string summary = lines.back();
  lines.resize(lines.size() - 2);  // the overview and the summary
  EXPECT_EQ(lines, c.findings) << run.err;
  if (c.findings.empty()) {
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(summary, "Keine Befunde: das Dateisystem ist in Ordnung.");
  } else {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(summary, std::to_string(c.findings.size()) +
                           (c.findings.size() == 1 ? " Befund." : " Befunde."));
  }

  // The same findings as JSON of the written schema, with the entry, block and sector the
  // German line names as numbers of their own.
  words.push_back("--json");
  const CliRun json = runCli(words);
  EXPECT_EQ(json.status, run.status);
  EXPECT_EQ(schemaViolations("check", json.out), "");
  const nlohmann::json findings = nlohmann::json::parse(json.out).at("findings");
  ASSERT_EQ(findings.size(), c.findings.size());
  const auto named = [](const std::string& text, const char* pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern))
               ? nlohmann::json(std::stoll(match[1]))
               : nlohmann::json();
  };
  for (size_t i = 0; i < findings.size(); ++i) {
    const std::string& text = c.findings[i];
    SCOPED_TRACE(text);
    EXPECT_EQ(findings[i].at("text"), text);
    EXPECT_EQ(findings[i].at("entry"), named(text, "(?:Eintrag|Eintragsnummer) (\\d+)"));
    EXPECT_EQ(findings[i].at("block"), named(text, "Block (\\d+)"));
    EXPECT_EQ(findings[i].at("sector"), named(text, "Sektor (\\d+)"));
    EXPECT_EQ(findings[i].at("hojin"), named(text, "HOJIN (\\d+)"));
  }
}

INSTANTIATE_TEST_SUITE_P(PlantedFaults, CliCheck, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliCheckOverview, SoundDiskCountsBlocksAndHeads) {
  TempDir dir;
  const std::string image = dir.file("disk.img");
  sample::buildDisk(smallDisk({rescueRecording(0, {0}, 10), rescueRecording(1, {1, 2}, 25)}, 8),
                    image);
  const CliRun run = runCli({"--drive", image, "check", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  // Two first heads and the five free blocks' heads are read.
  EXPECT_EQ(
      run.out,
      "{\n  \"schema\": 1,\n  \"sound\": true,\n  \"data_area_start\": 6666706,\n  \"blocks\": 8,\n"
      "  \"free_blocks\": 5,\n  \"cross_linked_blocks\": 0,\n  \"recordings\": 2,\n"
      "  \"heads_checked\": 7,\n  \"findings\": []\n}\n");
}

// Prints the picture's height, the legend's lines, the number of recordings its last
// tooltip names, and how many legend neighbours share a colour.
constexpr const char* kReadLegend =
    "import sys, xml.etree.ElementTree as E\n"
    "ns = '{http://www.w3.org/2000/svg}'\n"
    "root = E.parse(sys.argv[1]).getroot()\n"
    "print(root.get('height'))\n"
    "groups = list(root.iter(ns + 'g'))\n"
    "for g in groups: print(g.find(ns + 'text').text)\n"
    "print(len(groups[-1].find(ns + 'title').text.split('\\n')))\n"
    "fills = [g.find(ns + 'rect').get('fill') for g in groups[:-1]]\n"
    "print(sum(a == b for a, b in zip(fills, fills[1:])))\n";

TEST(CliMap, TheFullDiskStaysUnderEightThousandPixelsAndNamesEveryRecording) {
  TempDir dir;
  const std::string image = dir.file("full.img");
  const CliRun made = runCli({"--preset", "full", "--full-bytes", "66560000", "-o", image},
                             {.program = KORVELO_BIN_DIR "/korvelo-mkdisk"});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string svg = dir.file("full.svg");
  ASSERT_EQ(runCli({"-q", "--drive", image, "map", "-o", svg}).status, 0);
  const CliRun read = runCli({"-c", kReadLegend, svg}, {.program = "python3"});
  ASSERT_EQ(read.status, 0) << read.err;
  const std::vector<std::string> lines = read.outLines();
  ASSERT_EQ(lines.size(), 1u + 40u + 2u) << read.out;
  EXPECT_LT(std::stoi(lines[0]), 8000);
  EXPECT_TRUE(lines[1].starts_with("Eintrag 0: ")) << lines[1];
  EXPECT_TRUE(lines[39].starts_with("Eintrag 38: ")) << lines[39];
  EXPECT_EQ(lines[40], "… und 1.961 weitere");
  EXPECT_EQ(lines[41], "1961");  // every one of them in the tooltip
  EXPECT_EQ(lines[42], "0");     // neighbours never share a colour
}

// Prints the legend lines of an SVG file, then "fill width" of every cell of the grid
// (the rectangles 7 pixels high); fails when the file is not well-formed XML.
constexpr const char* kReadSvg =
    "import sys, xml.etree.ElementTree as E\n"
    "root = E.parse(sys.argv[1]).getroot()\n"
    "ns = '{http://www.w3.org/2000/svg}'\n"
    "for t in root.iter(ns + 'text'):\n"
    "    if t.text.startswith('Eintrag'): print(t.text)\n"
    "for r in root.iter(ns + 'rect'):\n"
    "    if r.get('height') == '7': print(r.get('fill'), r.get('width'))\n";

TEST(CliMap, DrawsOwnersCrossLinksAndUnreadBlocksWithEscapedTitles) {
  sample::Recording first = rescueRecording(0, {0}, 10);
  first.title = "Krimi & <Spa\xDF>";
  sample::DiskDescription disk = smallDisk({first, rescueRecording(1, {1, 2}, 25)}, 8);
  pokeFileFat(disk, 1, {0xA0});  // block 0 shared, block 1 left free
  TempDir dir;
  const std::string image = dir.file("disk.img");
  sample::buildDisk(disk, image);
  const std::string map = mapfileText(static_cast<int64_t>(disk.imageBytes), {6668800});
  writeFileBytes(dir.file("disk.map"), {reinterpret_cast<const uint8_t*>(map.data()), map.size()});
  const CliRunOptions quiet{};
  const std::string svg = dir.file("plan.svg");
  const CliRun run = runCli(
      {"--drive", image, "--mapfile", dir.file("disk.map"), "map", "-o", svg, "--width", "400"},
      quiet);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, svg + "\n");

  const CliRun read = runCli({"-c", kReadSvg, svg}, {.program = "python3"});
  ASSERT_EQ(read.status, 0) << read.err;
  // One row of eight blocks: shared, free, unread (block 2), then five free.
  EXPECT_EQ(read.outLines(),
            (std::vector<std::string>{"Eintrag 0: Krimi & <Spaß>", "Eintrag 1: Film 1", "#e00000 7",
                                      "#ececec 7", "#202020 7", "#ececec 39"}));

  // With --rescue a recording the directory lost (block 4) is drawn in its own colour.
  sample::DiskDescription lost =
      smallDisk({rescueRecording(0, {0}, 10), rescueRecording(1, {1, 2}, 25)}, 8);
  lost.recordings.push_back(rescueRecording(2, {4}, 10));
  lost.rawSectors.push_back({6598704 + 2 * 32, std::vector<uint8_t>{0xFF, 0xFF}});
  sample::buildDisk(lost, dir.file("lost.img"));
  const CliRun rescued = runCli({"--drive", dir.file("lost.img"), "map", "-o", dir.file("lost.svg"),
                                 "--width", "400", "--rescue"},
                                quiet);
  ASSERT_EQ(rescued.status, 0) << rescued.err;
  const CliRun lostCells = runCli({"-c", kReadSvg, dir.file("lost.svg")}, {.program = "python3"});
  EXPECT_EQ(lostCells.outLines(),
            (std::vector<std::string>{
                "Eintrag 0: Film 0", "Eintrag 1: Film 1", std::string(mapColourOfEntry(0)) + " 7",
                std::string(mapColourOfEntry(1)) + " 15", "#ececec 7", "#8b5a00 7", "#ececec 23"}))
      << lostCells.out;

  // A symbolic link in the target's place is refused even with --force.
  const std::string other = dir.file("other.txt");
  writeFileBytes(other, std::vector<uint8_t>{'x'});
  ASSERT_EQ(::symlink(other.c_str(), dir.file("link.svg").c_str()), 0);
  const CliRun linked =
      runCli({"--drive", image, "map", "-o", dir.file("link.svg"), "--force"}, quiet);
  EXPECT_EQ(linked.status, 1);
  EXPECT_EQ(readFileBytes(other), std::vector<uint8_t>{'x'});
}

}  // namespace
}  // namespace korvelo::test
