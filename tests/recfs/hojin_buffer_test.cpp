// SPDX-License-Identifier: GPL-3.0-or-later
#include "recfs/hojin_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

namespace korvelo {
namespace {

constexpr uint8_t kGoodHead[20] = {0x5B, 0x48, 0x4F, 0x4A, 0x49, 0x4E, 0x20, 0x41, 0x00, 0x00,
                                   0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00};

class HojinBufferTest : public ::testing::Test {
 protected:
  HojinBufferTest() {
    std::memset(hojin.getData(), 0, hojin.getSize());
    std::memcpy(hojin.getData(), kGoodHead, sizeof kGoodHead);
  }
  void put(int offset, std::initializer_list<uint8_t> bytes) {
    std::memcpy(hojin.getData() + offset, bytes.begin(), bytes.size());
  }
  void putValueAt32(uint32_t v) {
    put(32, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
  }
  HojinBuffer hojin;
};

TEST_F(HojinBufferTest, HoldsOneHojin) {
  EXPECT_EQ(hojin.getSize(), 33280);
}

TEST_F(HojinBufferTest, SignatureNeedsEveryByteOfTheHead) {
  EXPECT_TRUE(hojin.hasSignature());
  put(16, {0x00, 0x00, 0x40, 0x00});
  EXPECT_FALSE(hojin.hasSignature());
}

TEST_F(HojinBufferTest, SignatureIsCaseSensitive) {
  put(1, {'h'});
  EXPECT_FALSE(hojin.hasSignature());
}

TEST_F(HojinBufferTest, SignatureChecksTheBytesAfterTheText) {
  put(15, {0x01});
  EXPECT_FALSE(hojin.hasSignature());
  put(15, {0x00});
  put(10, {0x03});
  EXPECT_FALSE(hojin.hasSignature());
}

TEST_F(HojinBufferTest, SignatureIgnoresBytesAfterTheBlockSizeField) {
  put(20, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_TRUE(hojin.hasSignature());
}

struct InternalNumberCase {
  uint32_t v;
  uint32_t number;
  bool start;
};

TEST_F(HojinBufferTest, InternalNumberFromThePositionField) {
  for (const InternalNumberCase& c : {InternalNumberCase{0, 1, true},
                                      {64, 1, false},
                                      {65, 2, false},
                                      {6435, 100, false},
                                      {4294967295u, 66076420, false}}) {
    putValueAt32(c.v);
    EXPECT_EQ(hojin.getInternalNumber(), c.number) << "v = " << c.v;
    EXPECT_EQ(hojin.isRecordingStart(), c.start) << "v = " << c.v;
  }
}

TEST_F(HojinBufferTest, RecordingStartNeedsAllFourBytesZero) {
  put(32, {0x01, 0x00, 0x00, 0x00});
  EXPECT_FALSE(hojin.isRecordingStart());
  put(32, {0x00, 0x00, 0x00, 0x00});
  put(36, {0xFF});
  EXPECT_TRUE(hojin.isRecordingStart());
}

TEST_F(HojinBufferTest, SecondInternalNumberIsBigEndian) {
  put(56, {0x00, 0x00, 0x00, 0x64});
  EXPECT_EQ(hojin.getInternalNumber2(), 100u);
  put(56, {0x01, 0x02, 0x03, 0x04});
  EXPECT_EQ(hojin.getInternalNumber2(), 0x01020304u);
}

TEST_F(HojinBufferTest, DumpShowsTheFirst64BytesInFiveLines) {
  hojin.setSector(6664705);
  put(32, {0x00, 0x00, 0x00, 0x41});
  put(48, {0xE4, 0x85, 0x7F, 0x20, 0x9F, 0xA0, 'x', 0x1F});
  put(56, {0x00, 0x00, 0x00, 0x02});
  const std::string expected =
      "[HOJIN A-Sektor #06664705 mit korrekter Signatur.\n"
      "0000  5B 48 4F 4A 49 4E 20 41  00 00 02 00 00 00 00 00 [HOJIN A........\n"
      "0010  00 00 80 00 00 00 00 00  00 00 00 00 00 00 00 00 ................\n"
      "0020  00 00 00 41 00 00 00 00  00 00 00 00 00 00 00 00 ...A............\n"
      "0030  E4 85 7F 20 9F A0 78 1F  00 00 00 02 00 00 00 00 \xC3\xA4.\x7F .\xC2\xA0x.........\n";
  EXPECT_EQ(hojin.dumpHead(), expected);
}

TEST_F(HojinBufferTest, DumpNamesABrokenSignatureAndLongSectorNumbers) {
  put(0, {'x'});
  hojin.setSector(123456789);
  const std::string dump = hojin.dumpHead();
  EXPECT_EQ(dump.substr(0, dump.find('\n') + 1),
            "[HOJIN A-Sektor #123456789 mit fehlerhafter Signatur.\n");
  hojin.setSector(7);
  EXPECT_EQ(hojin.dumpHead().substr(0, 26), "[HOJIN A-Sektor #00000007 ");
}

}  // namespace
}  // namespace korvelo
