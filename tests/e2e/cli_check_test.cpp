// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli check and map end to end: small built disks, each with one planted fault of
// the file system, and the exact finding lines and exit code the check gives for it; the
// map of such a disk read back as XML.

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <sstream>

#include "app/disk_map_svg.h"
#include "support/built_disk.h"
#include "support/cli_runner.h"
#include "support/file_util.h"
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
     {"Eintrag 1: Die File-FAT nennt 1 Blöcke, die Länge braucht 2: das Ende der Aufnahme ist "
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
      "Eintrag 1: 1 Blöcke liegen hinter dem Ende der Festplatte (der erste ist Block 100)."}},
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
     {"Eintrag 1: 1 von 25 HOJIN-Köpfen sind fehlerhaft oder nicht lesbar, der erste bei HOJIN "
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
    EXPECT_EQ(summary, std::to_string(c.findings.size()) + " Befunde.");
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
  EXPECT_EQ(run.out,
            "{\n  \"sound\": true,\n  \"data_area_start\": 6666706,\n  \"blocks\": 8,\n"
            "  \"free_blocks\": 5,\n  \"cross_linked_blocks\": 0,\n  \"recordings\": 2,\n"
            "  \"heads_checked\": 7,\n  \"findings\": []\n}\n");
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
