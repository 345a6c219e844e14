// SPDX-License-Identifier: GPL-3.0-or-later
// Descriptions as JSON: the round trip, Latin-1 texts, and what is refused.
#include "diskbuilder/description_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "diskbuilder/disk_builder.h"

namespace korvelo::sample {
namespace {

DiskDescription everyFieldSet() {
  DiskDescription disk = demoDisk();
  disk.model = Model::Tevion;
  disk.imageBytes = 80026361856ULL;
  disk.signature = SignatureVariant::Offset17NotNul;
  disk.fileSys = FileSysSector::Damaged;
  disk.fileFatSize = 12;
  disk.announcedEntries = 7;
  disk.directoryHeadPresent = false;
  disk.emptySlots = {5, 9};
  disk.probeMarker = false;
  disk.rawSectors = {{16, {0x00, 0xFF, 0x5B}}, {307489, {}}};
  disk.recordings[1].title = std::string("\x01\x7F\x80\xFF", 4);
  disk.recordings[1].writeFileFat = false;
  disk.recordings[2].defects = {{1, HeadDefect::NotRecordingStart}, {17, HeadDefect::NoHead}};
  disk.recordings[3].stampHour = 65535;
  return disk;
}

TEST(DescriptionJson, RoundTripKeepsEveryField) {
  const DiskDescription disk = everyFieldSet();
  EXPECT_EQ(descriptionFromJson(descriptionToJson(disk)), disk);
}

TEST(DescriptionJson, KeysAreTheFieldNamesAndLatin1TextsReadAsCharacters) {
  const nlohmann::json json = nlohmann::json::parse(descriptionToJson(demoDisk()));
  EXPECT_EQ(json.at("fileFatSize"), 72);
  EXPECT_EQ(json.at("model"), "Fsr5000");
  EXPECT_EQ(json.at("recordings").at(0).at("title"), "Tatort: Sch\u00F6ne Gr\u00FC\u00DFe");
  EXPECT_EQ(json.at("recordings").at(0).at("lengthSectors"), 6500);
}

TEST(DescriptionJson, MissingKeysKeepTheDefaults) {
  const DiskDescription disk =
      descriptionFromJson(R"({"recordings": [{"slot": 3, "blocks": [4, 5]}]})");
  DiskDescription expected;
  expected.recordings.emplace_back();
  expected.recordings[0].slot = 3;
  expected.recordings[0].blocks = {4, 5};
  EXPECT_EQ(disk, expected);
}

TEST(DescriptionJson, RawSectorsAreHexPairs) {
  const DiskDescription disk = descriptionFromJson(R"({"rawSectors": [[31, "00ff5B"]]})");
  ASSERT_EQ(disk.rawSectors.size(), 1u);
  EXPECT_EQ(disk.rawSectors[0].first, 31);
  EXPECT_EQ(disk.rawSectors[0].second, (std::vector<uint8_t>{0x00, 0xFF, 0x5B}));
}

class RefusedJsonTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RefusedJsonTest, IsRefusedWithAReason) {
  EXPECT_THROW(descriptionFromJson(GetParam()), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RefusedJsonTest,
    ::testing::Values(R"({"fileFatSise": 72})", R"({"model": "FSR5000"})",
                      R"({"recordings": [{"entryNumber": 65536}]})",
                      R"({"recordings": [{"blocks": [-1]}]})", R"({"fileFatSize": 7.5})",
                      R"({"recordings": [{"title": "\u20ac"}]})",
                      R"({"recordings": [{"defects": [{"hojin": 1, "defect": "Broken"}]}]})",
                      R"({"rawSectors": [[16, "abc"]]})", R"({"probeMarker": 1})", "{", "[]"));

}  // namespace
}  // namespace korvelo::sample
