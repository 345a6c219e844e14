// SPDX-License-Identifier: GPL-3.0-or-later
// Every JSON document the command line writes, held against its schema on the page users
// read (docs/json.md): the command outputs, the errors under --json, manifest and sidecar.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/file_util.h"
#include "support/json_schema.h"
#include "support/text_file.h"

namespace korvelo::test {
namespace {

struct JsonCase {
  const char* name;
  std::vector<std::string> arguments;  // "IMAGE" and "OUT/" stand for the disk and a folder
  const char* schema;
  int status;
};

class CliJson : public DemoDiskTest, public ::testing::WithParamInterface<JsonCase> {};

TEST_P(CliJson, StdoutIsOneDocumentOfTheWrittenSchema) {
  std::vector<std::string> arguments;
  for (const std::string& word : GetParam().arguments)
    arguments.push_back(word == "IMAGE"            ? image()
                        : word.starts_with("OUT/") ? output_.file(word.substr(4))
                                                   : word);
  writeFileText(output_.file("broken.map"), "x\n");
  const CliRun run = runCli(arguments);
  EXPECT_EQ(run.status, GetParam().status) << run.err;
  const nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(document.is_object()) << run.out;
  EXPECT_EQ(document.value("schema", 0), 1);
  EXPECT_EQ(schemaViolations(GetParam().schema, run.out), "");
  if (GetParam().status != 0 && std::string(GetParam().schema) == "error") {
    // The message is the line stderr shows, without the program's name in front.
    const std::string message = document["error"]["message"].get<std::string>();
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_FALSE(message.starts_with("korvelo-cli") || message.starts_with(" ")) << message;
    EXPECT_EQ(document["error"]["exit_code"], GetParam().status);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliJson,
    ::testing::Values(
        JsonCase{"List", {"--drive", "IMAGE", "list", "--json"}, "list", 0},
        JsonCase{
            "Drives", {"--drive", "IMAGE", "--drive", "OUT/", "drives", "--json"}, "drives", 0},
        JsonCase{"Check", {"--drive", "IMAGE", "check", "--json"}, "check", 0},
        JsonCase{"RescueRegions", {"--drive", "IMAGE", "rescue", "--json"}, "rescue", 0},
        JsonCase{"RescueHeads",
                 {"--drive", "IMAGE", "rescue", "--scan", "heads", "--json"},
                 "rescue",
                 0},
        JsonCase{"TypoIsAnError", {"lsit", "--json"}, "error", 2},
        JsonCase{"BadValueIsAnError", {"--fat-size", "0", "list", "--json"}, "error", 2},
        JsonCase{"BadMapfileIsAnError",
                 {"--drive", "IMAGE", "--mapfile", "OUT/broken.map", "list", "--json"},
                 "error",
                 2},
        JsonCase{"NoDiskIsAnError", {"--drive", "OUT/none.img", "check", "--json"}, "error", 3},
        JsonCase{"UnknownRescuedIdIsAnError",
                 {"--drive", "IMAGE", "rescue", "export", "99", "--json"},
                 "error",
                 2}),
    [](const auto& info) { return std::string(info.param.name); });

using CliJsonFiles = DemoDiskTest;

TEST_F(CliJsonFiles, ManifestAndSidecarFollowTheirSchemas) {
  const CliRun run =
      runCli({"--drive", image(), "export", "1", "3", "--sidecar", "-o", output_.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string manifest = readFileText(output_.file("korvelo-manifest.json"));
  EXPECT_EQ(nlohmann::json::parse(manifest).at("schema"), 1);
  EXPECT_EQ(schemaViolations("manifest", manifest), "");
  for (const std::string& file : run.outLines()) {
    const std::string sidecar = readFileText(file + ".json");
    EXPECT_EQ(nlohmann::json::parse(sidecar).at("schema"), 1) << file;
    EXPECT_EQ(schemaViolations("sidecar", sidecar), "") << file;
  }
  // The page itself is checked: a key it does not name is refused.
  EXPECT_NE(schemaViolations("manifest", R"({"program": "x", "recordings": [], "extra": 1})"), "");
}

// A manifest written before the schema was named is still read, and gains it.
TEST_F(CliJsonFiles, AManifestWithoutSchemaIsReadAndCompleted) {
  ASSERT_EQ(runCli({"--drive", image(), "export", "1", "-o", output_.path()}).status, 0);
  const std::string path = output_.file("korvelo-manifest.json");
  nlohmann::json older = nlohmann::json::parse(readFileText(path));
  older.erase("schema");
  const std::string olderText = older.dump(2) + "\n";
  writeFileText(path, olderText);
  EXPECT_EQ(schemaViolations("manifest", olderText), "");
  const CliRun verified = runCli({"verify", "--manifest", path});
  EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
  ASSERT_EQ(runCli({"--drive", image(), "export", "3", "-o", output_.path()}).status, 0);
  const nlohmann::json both = nlohmann::json::parse(readFileText(path));
  EXPECT_EQ(both.at("schema"), 1);
  EXPECT_EQ(both.at("recordings").size(), 2u);
}

}  // namespace
}  // namespace korvelo::test
