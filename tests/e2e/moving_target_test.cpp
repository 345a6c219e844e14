// SPDX-License-Identifier: GPL-3.0-or-later
// Targets that move while korvelo-cli writes them: a file swapped for another mid-export,
// a second name (hard link) of a file outside the folder, the folder itself swapped for a
// link. Nothing outside the folder changes, and nothing is called saved that the export
// did not write.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "export/hav_head.h"
#include "recfs/disk_layout.h"
#include "support/cli_runner.h"
#include "support/demo_disk_fixture.h"
#include "support/expected_output.h"
#include "support/file_util.h"

namespace korvelo::test {
namespace {

class MovingTargetTest : public DemoDiskTest {
 public:
  std::string target() const { return output_.file(expectedFileName(recording(0))); }
  std::string elsewhere(const std::string& name) const { return elsewhere_.file(name); }
  // A folder outside the target folder that no run may write into.
  std::string other() const { return elsewhere("anders"); }
  std::string folder() const { return output_.path(); }

 private:
  TempDir elsewhere_;
};

struct MovingCase {
  const char* name;
  std::vector<std::string> flags;
  // Done before the export; returns what it placed outside the folder (to stay unchanged).
  std::function<std::string(MovingTargetTest&)> before;
  // Done once while the export runs, when the file holds two HOJINs.
  std::function<void(MovingTargetTest&)> during;
  const char* line;  // on stderr
};

class MovingTarget : public MovingTargetTest, public ::testing::WithParamInterface<MovingCase> {};

TEST_P(MovingTarget, IsNeverCertifiedAndNothingOutsideTheFolderChanges) {
  const MovingCase& c = GetParam();
  std::filesystem::create_directory(other());
  const std::string outside = c.before ? c.before(*this) : std::string();
  const std::vector<uint8_t> outsideBytes =
      outside.empty() ? std::vector<uint8_t>{} : readFileBytes(outside);
  CliRunOptions options;
  bool done = false;
  if (c.during) {
    options.signal = 0;  // nothing is sent: the hook only acts
    options.signalWhen = [&] {
      if (!done && fileSize(target()) >= kHavFrontBytes + 2 * int64_t{kHojinBytes}) {
        c.during(*this);
        done = true;
      }
      return done;
    };
  }
  std::vector<std::string> arguments{"--drive", image(), "export", "-o", output_.path()};
  arguments.insert(arguments.end(), c.flags.begin(), c.flags.end());
  const CliRun run = runCli(arguments, options);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "");
  std::string line = c.line;
  if (const size_t at = line.find("TARGET"); at != std::string::npos) line.replace(at, 6, target());
  EXPECT_NE(run.err.find(line + "\n"), std::string::npos) << run.err;
  if (!outside.empty()) EXPECT_EQ(readFileBytes(outside), outsideBytes);
  EXPECT_TRUE(std::filesystem::is_empty(other()));
  // The manifest never vouches for what is at the target now: it holds no record of it.
  std::ifstream manifest(output_.file("korvelo-manifest.json"));
  std::string text((std::istreambuf_iterator<char>(manifest)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("\"complete\": true"), std::string::npos) << text;
  EXPECT_EQ(text.find(expectedFileName(recording(0))), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MovingTarget,
    ::testing::Values(
        // The file moved away and one of zeros put in its place, in one step: the export
        // looks at its name between two HOJINs and must never find it missing instead.
        MovingCase{"FileSwappedMidExport",
                   {"0", "--pause", "100"},
                   {},
                   [](MovingTargetTest& test) {
                     const std::string path = test.target();
                     std::filesystem::create_hard_link(path, test.elsewhere("weg.hav"));
                     const std::string zeros = test.elsewhere("nullen.hav");
                     writeFileBytes(zeros, std::vector<uint8_t>(4 << 20, 0));
                     std::filesystem::rename(zeros, path);
                   },
                   "Die Datei \"TARGET\" wurde während des Speicherns durch eine andere ersetzt; "
                   "die Aufnahme ist darin nicht gespeichert."},
        // A second name of a file elsewhere, with --force: never written through.
        MovingCase{"HardLinkWithForce",
                   {"0", "--force"},
                   [](MovingTargetTest& test) {
                     const std::string outside = test.elsewhere("fremd.hav");
                     writeFileBytes(outside, std::vector<uint8_t>(100, 'x'));
                     if (::link(outside.c_str(), test.target().c_str()) != 0)
                       throw std::runtime_error("cannot link");
                     return outside;
                   },
                   {},
                   "\"TARGET\" hat weitere Namen (harte Verknüpfung); dorthin wird nie "
                   "geschrieben."}),
    [](const auto& info) { return std::string(info.param.name); });

// The folder moved away and a link to another one put in its place while --all writes the
// first file: the run goes on into the folder it opened, under its new name. Every file
// (with its date) and the manifest are there, exact; nothing goes where the link leads.
TEST_F(MovingTargetTest, FolderSwappedForALinkKeepsEveryFile) {
  std::filesystem::create_directory(other());
  const std::string moved = elsewhere("alt");
  CliRunOptions options;
  options.signal = 0;  // nothing is sent: the hook only acts
  bool done = false;
  options.signalWhen = [&] {
    if (!done && fileSize(target()) >= kHavFrontBytes + 2 * int64_t{kHojinBytes}) {
      std::filesystem::rename(folder(), moved);
      std::filesystem::create_directory_symlink(other(), folder());
      done = true;
    }
    return done;
  };
  const CliRun run = runCli(
      {"--drive", image(), "export", "-o", folder(), "--all", "--pause", "100", "--record-date"},
      options);
  ASSERT_TRUE(done);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(other()));
  // The closing lines name where the files are now.
  const std::string now = std::filesystem::canonical(moved).string();
  EXPECT_NE(run.err.find("Der Zielordner \"" + folder() +
                         "\" wurde während des Speicherns verschoben; die Dateien liegen jetzt "
                         "in \"" +
                         now + "\".\n"),
            std::string::npos)
      << run.err;
  std::vector<std::string> printed;
  for (const sample::Recording& recording : disk().recordings)
    printed.push_back(now + "/" + expectedFileName(recording));
  EXPECT_EQ(run.outLines(), printed);
  std::ifstream manifest(moved + "/korvelo-manifest.json");
  const std::string text((std::istreambuf_iterator<char>(manifest)),
                         std::istreambuf_iterator<char>());
  for (const sample::Recording& recording : disk().recordings) {
    const std::string name = expectedFileName(recording);
    EXPECT_EQ(readFileBytes(moved + "/" + name), expectedHavFile(image(), disk(), recording))
        << name;
    struct stat file {};
    ASSERT_EQ(::stat((moved + "/" + name).c_str(), &file), 0) << name;
    EXPECT_EQ(file.st_mtime, expectedStart(recording).localInstant()) << name;
    EXPECT_NE(text.find("\"file\": \"" + name + "\""), std::string::npos) << text;
  }
  EXPECT_EQ(text.find("\"complete\": false"), std::string::npos) << text;
}

// The folder removed while --all writes the third file: the two files written before are
// gone with it and are not called saved, nor is a path of them printed.
TEST_F(MovingTargetTest, FolderRemovedMidRunSavesNothing) {
  const std::string third = output_.file(expectedFileName(recording(2)));
  CliRunOptions options;
  options.signal = 0;  // nothing is sent: the hook only acts
  bool done = false;
  options.signalWhen = [&] {
    if (!done && fileSize(third) >= kHavFrontBytes + 2 * int64_t{kHojinBytes}) {
      std::filesystem::remove_all(folder());
      done = true;
    }
    return done;
  };
  const CliRun run =
      runCli({"--drive", image(), "export", "-o", folder(), "--all", "--pause", "100"}, options);
  ASSERT_TRUE(done);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("Der Zielordner \"" + folder() +
                         "\" wurde während des Speicherns gelöscht; 2 Dateien darin sind nicht "
                         "gespeichert. Bitte erneut speichern.\n0 Aufnahmen gespeichert, "),
            std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace korvelo::test
