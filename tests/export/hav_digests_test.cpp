// SPDX-License-Identifier: GPL-3.0-or-later
// The check sums taken while a file is written, against an independent SHA-256 of the
// same bytes, whatever pieces they come in.

#include "export/hav_digests.h"

#include <gtest/gtest.h>

#include <numeric>

#include "support/file_util.h"
#include "support/temp_dir.h"

namespace korvelo::test {
namespace {

constexpr size_t kFront = 1624;

std::vector<uint8_t> fileBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = 12345;
  for (uint8_t& b : bytes) {
    x = x * 1103515245 + 12345;
    b = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

struct Pieces {
  const char* name;
  size_t fileSize;
  std::vector<size_t> pieces;  // sizes in turn, the last repeated to the end
};

class DigestPiecesTest : public ::testing::TestWithParam<Pieces> {};

// Two files in turn through one pair of threads, as a run's jobs borrow them; the first
// piece of each hashed on the caller's thread before the threads are held, as by a job
// opened while another one held them.
TEST_P(DigestPiecesTest, BothSumsMatchTheBytesInOrder) {
  const std::vector<uint8_t> first = fileBytes(GetParam().fileSize);
  const std::vector<uint8_t> second(first.rbegin(), first.rend());
  HavDigester threads;
  for (const std::vector<uint8_t>* bytes : {&first, &second}) {
    HavDigestPair held;
    HavDigestPair pair;
    size_t at = 0;
    for (size_t i = 0; at < bytes->size(); ++i) {
      const std::vector<size_t>& pieces = GetParam().pieces;
      const size_t size = std::min(pieces[std::min(i, pieces.size() - 1)], bytes->size() - at);
      const std::span<const uint8_t> piece(bytes->data() + at, size);
      if (i == 0) {
        held.add(piece);
        ASSERT_TRUE(threads.hold(held));
        EXPECT_FALSE(threads.hold(pair));
      } else {
        threads.add(piece);
      }
      pair.add(piece);
      at += size;
    }
    threads.release();
    const std::string wholeSum = sha256Hex(*bytes);
    // A sum of the first bytes where HOJIN 2049, 4097, ... begins, up to the end.
    std::vector<PrefixDigest> prefixes;
    for (size_t end = kFront + 2048 * 33280; end <= bytes->size(); end += 2048 * 33280)
      prefixes.push_back({static_cast<int64_t>(end), sha256Hex({bytes->data(), end})});
    const std::string dataSum =
        sha256Hex(std::span<const uint8_t>(*bytes).subspan(std::min(kFront, bytes->size())));
    for (const HavDigests& digests : {held.finish(), pair.finish()}) {
      EXPECT_TRUE(digests.readable);
      EXPECT_EQ(digests.fileBytes, static_cast<int64_t>(bytes->size()));
      EXPECT_EQ(digests.file, wholeSum);
      EXPECT_EQ(digests.hojinData, dataSum);
      EXPECT_EQ(digests.prefixes, prefixes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DigestPiecesTest,
    ::testing::Values(
        Pieces{"Nothing", 0, {1}}, Pieces{"OnlyPartOfTheHead", 50, {7}},
        Pieces{"HeadEntryImageAndHojinsAsTheJobWrites", kFront + 40 * 33280, {88, 1536, 33280}},
        Pieces{"ByteByByteAcrossTheFront", kFront + 300, {1}},
        Pieces{"PiecesStraddlingTheFront", kFront + 5000, {1000, 1000, 3}},
        // More than the four slots of 1 MiB, so the writer waits for the hashing threads.
        Pieces{
            "ManyMegabytesInOddPieces", (size_t{9} << 20) + 17, {kFront, 65537, 1 << 20, 333333}},
        Pieces{"OneHugePiece", (size_t{5} << 20) + 1, {size_t{5} << 20}},
        // Two proof boundaries, one falling inside a piece, the second at the very end.
        Pieces{"ToTheSecondProofBoundary", kFront + 2 * 2048 * 33280, {kFront, 3 << 20}},
        // Twice round the slots, the last one full when the sums are ended.
        Pieces{"WholeSlotsOnly", size_t{8} << 20, {size_t{1} << 20}}),
    [](const ::testing::TestParamInfo<Pieces>& info) { return std::string(info.param.name); });

TEST(DigestFileTest, ReadsAFileBackToTheSameSums) {
  TempDir dir;
  const std::vector<uint8_t> bytes = fileBytes((size_t{1} << 20) + kFront + 99);
  writeFileBytes(dir.file("a.hav"), bytes);
  const HavDigests digests = digestHavFile(dir.file("a.hav"));
  EXPECT_TRUE(digests.readable);
  EXPECT_EQ(digests.file, sha256Hex(bytes));
  EXPECT_EQ(digests.hojinData, sha256Hex(std::span<const uint8_t>(bytes).subspan(kFront)));
  EXPECT_FALSE(digestHavFile(dir.file("missing.hav")).readable);
}

}  // namespace
}  // namespace korvelo::test
