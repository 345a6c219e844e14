// SPDX-License-Identifier: GPL-3.0-or-later
// Every line the program prints is valid UTF-8, also for a disk whose titles and HOJIN
// heads hold Latin-1 bytes that are not UTF-8 on their own.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <string>
#include <vector>

#include "diskbuilder/disk_builder.h"
#include "diskbuilder/layout.h"
#include "support/cli_runner.h"
#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo::test {
namespace {

// Decodes with the C library's converter, which refuses stray continuation bytes,
// truncated and overlong sequences and surrogates.
bool isStrictUtf8(const std::string& text) {
  iconv_t converter = ::iconv_open("UTF-32LE", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string input = text;
  std::vector<char> output(4 * input.size() + 4);
  char* in = input.data();
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  const bool decoded = ::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
  ::iconv_close(converter);
  return decoded && inLeft == 0;
}

TEST(Utf8OutputTest, HostileLatin1TitlesAndHeadBytesComeOutAsValidUtf8) {
  TempDir folder;
  sample::DiskDescription disk = sample::demoDisk();
  disk.recordings.resize(2);
  disk.recordings[0].title = "\xC7\x61\x80\x9F\xFF\xE4\xC3";  // ends on a UTF-8 lead byte
  disk.recordings[0].secondText = "\xA0\xBF\xC0\xF8";
  disk.recordings[1].title = "\xE2\x82";  // the start of "€" in UTF-8, cut off
  disk.recordings[1].defects = {{2, sample::HeadDefect::WrongSignature}};
  const std::string image = folder.file("hostile.img");
  sample::buildDisk(disk, image);
  // Latin-1 bytes in the dumped part of the broken HOJIN head.
  const int64_t aSector = sample::hojinSector(disk, disk.recordings[1], 2);
  const std::vector<uint8_t> latin1 = {0xC7, 0xFF, 0xE4, 0xA0, 0xC3, 0x80, 0xBF, 0xF0};
  writeBytesAt(image, aSector * 512 + 40, latin1);

  const std::string out = folder.file("out");
  const std::vector<std::vector<std::string>> commands = {
      {"search"},
      {"list"},
      {"list", "--json"},
      {"export", "--all", "--warnings", "--sidecar", "-o", out},
      {"verify", "--manifest", out + "/korvelo-manifest.json"},
      {"rescue"},
      {"rescue", "--json"},
      {"domain", "--all", "-o", folder.file("domain.map")},
  };
  bool dumped = false;
  for (std::vector<std::string> arguments : commands) {
    SCOPED_TRACE(arguments.front() + " " + arguments.back());
    arguments.insert(arguments.begin(), {"--drive", image});
    const CliRun run = runCli(arguments);
    EXPECT_TRUE(isStrictUtf8(run.out)) << run.out;
    EXPECT_TRUE(isStrictUtf8(run.err)) << run.err;
    dumped = dumped || run.err.find("[HOJIN A-Sektor #") != std::string::npos;
  }
  EXPECT_TRUE(dumped);  // the broken head was shown, so its bytes went through the check
}

}  // namespace
}  // namespace korvelo::test
