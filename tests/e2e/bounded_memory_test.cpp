// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-cli under a memory limit on the sample disk whose file-FAT area is random bits:
// every file FAT names half of the data area's blocks. The rescue keeps none of them and
// ends with exit code 1; the check lists a bounded number of cross-links and counts the
// rest. Without a sanitizer the limit is the shell's `ulimit -v`; under AddressSanitizer
// (which reserves terabytes of address space) it is the sanitizer's own hard RSS limit,
// with its quarantine of freed memory off.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "diskbuilder/layout.h"
#include "diskbuilder/presets.h"
#include "support/built_disk.h"
#include "support/cli_runner.h"

namespace korvelo::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The 64 MiB of data the README promises over the 51 MiB a sanitized run starts with.
constexpr int kSanitizedRssLimitMiB = 128;
// The whole address space of a plain build: the heap, the libraries and thread stacks.
constexpr int kAddressSpaceLimitMiB = 256;

struct MemoryCase {
  const char* name;
  std::vector<std::string> arguments;  // after --drive IMAGE
  int status;
  const char* line;  // a line of stdout or stderr; "{more}": the cross-links not listed
};

class BoundedMemory : public ::testing::TestWithParam<MemoryCase> {
 protected:
  static void SetUpTestSuite() {
    sample::DiskDescription description = sample::demoDisk();
    disk_ = new BuiltDisk(description, {.installAsDrive = false});
    std::FILE* image = std::fopen(disk_->imagePath().c_str(), "r+b");
    ASSERT_NE(image, nullptr);
    const int size = description.fileFatSize;
    std::mt19937_64 random(33);
    std::vector<uint8_t> bits(size_t(size) * 512);
    // Blocks of the data area and how many listed recordings (entries 0 ... 4) claim each.
    const int64_t dataStart = sample::dataAreaStart(description.model, size);
    const int64_t blocks =
        std::min<int64_t>((description.imageBytes / 512 - dataStart) / 1040, int64_t{size} * 4096);
    std::vector<int> claims(size_t(blocks), 0);
    for (int entry = 0; entry < 2000; ++entry) {
      for (uint8_t& byte : bits) byte = static_cast<uint8_t>(random());
      for (int64_t block = 0; entry < 5 && block < blocks; ++block)
        claims[size_t(block)] += (bits[size_t(block / 8)] >> (7 - block % 8)) & 1;
      const int64_t sector = sample::fileFatSector(description.model, size, entry);
      ASSERT_EQ(std::fseek(image, long(sector * 512), SEEK_SET), 0);
      ASSERT_EQ(std::fwrite(bits.data(), 1, bits.size(), image), bits.size());
    }
    ASSERT_EQ(std::fclose(image), 0);
    unlistedCrossLinks_ = std::count_if(claims.begin(), claims.end(), [](int n) { return n > 1; });
    unlistedCrossLinks_ -= 100;
  }
  static void TearDownTestSuite() {
    delete disk_;
    disk_ = nullptr;
  }

  static CliRun runLimited(const std::vector<std::string>& arguments) {
    // The value given: the recordings' own file FATs are random too, so no value passes.
    std::vector<std::string> call = {"--drive", disk_->imagePath(), "--fat-size", "72"};
    call.insert(call.end(), arguments.begin(), arguments.end());
    CliRunOptions options;
    if (kSanitized) {
      options.environment = {"ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=0:hard_rss_limit_mb=" +
                             std::to_string(kSanitizedRssLimitMiB)};
      return runCli(call, options);
    }
    options.program = "/bin/sh";
    call.insert(call.begin(), {"-c",
                               "ulimit -v " + std::to_string(kAddressSpaceLimitMiB * 1024) +
                                   " && exec \"$0\" \"$@\"",
                               cliPath()});
    return runCli(call, options);
  }

  static BuiltDisk* disk_;
  static int64_t unlistedCrossLinks_;
};

BuiltDisk* BoundedMemory::disk_ = nullptr;
int64_t BoundedMemory::unlistedCrossLinks_ = 0;

TEST_P(BoundedMemory, StaysWithinTheLimitAndSaysWhereItStopped) {
  const MemoryCase& c = GetParam();
  const CliRun run = runLimited(c.arguments);
  EXPECT_EQ(run.status, c.status) << run.err.substr(0, 4000);
  std::string line = c.line;
  if (const size_t at = line.find("{more}"); at != std::string::npos)
    line.replace(at, 6, std::to_string(unlistedCrossLinks_));
  std::vector<std::string> lines = run.errLines();
  for (const std::string& out : run.outLines()) lines.push_back(out);
  EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\n"
                                                                      << run.err.substr(0, 4000);
}

INSTANTIATE_TEST_SUITE_P(
    RandomFileFatArea, BoundedMemory,
    ::testing::Values(
        MemoryCase{"Rescue",
                   {"rescue"},
                   1,
                   "0 verlorene Aufnahmen in 1995 Dateizuordnungstabellen gefunden. 1995 "
                   "Dateizuordnungstabellen übergangen: ihre HOJIN-Köpfe reichen nicht bis "
                   "zur Hälfte der Blöcke, die sie nennen."},
        MemoryCase{"RescueExport",
                   {"rescue", "export", "--all", "-o", "/nonexistent/korvelo"},
                   1,
                   "Keine gerettete Aufnahme zu speichern: es wird nichts geschrieben."},
        MemoryCase{"CheckDeep",
                   {"check", "--deep"},
                   1,
                   "{more} weitere Befunde dieser Art (cross-link) sind nicht einzeln aufgeführt "
                   "(höchstens 100 je Art)."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvelo::test
