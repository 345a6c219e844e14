#include "app/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvelo {
namespace {

TEST(Log, EveryEntryEndsWithCrLf) {
  Log log;
  log.append("Programm V1.30 initialisiert.");
  log.append("");
  EXPECT_EQ(log.text(), "Programm V1.30 initialisiert.\r\n\r\n");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"Programm V1.30 initialisiert.", ""}));
}

TEST(Log, CrLfInsideAnEntrySeparatesLines) {
  Log log;
  log.append(
      " Untersuche Festplatte 0 ...  Signatur stimmt nicht.\r\n Untersuche Festplatte 1 ...");
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{" Untersuche Festplatte 0 ...  Signatur stimmt nicht.",
                                      " Untersuche Festplatte 1 ..."}));
}

TEST(Log, SinksGetEachEntryAndEarlierTextOnAttach) {
  Log log;
  log.append("vorher");
  std::vector<std::string> seen;
  log.attach([&seen](std::string_view piece) { seen.emplace_back(piece); });
  log.append("nachher");
  EXPECT_EQ(seen, (std::vector<std::string>{"vorher\r\n", "nachher\r\n"}));
}

TEST(Log, SinkMayAppendInTurn) {
  Log log;
  int calls = 0;
  log.attach([&](std::string_view piece) {
    if (++calls == 1) log.append(std::string(piece.size(), 'x') + std::string(4096, 'y'));
  });
  log.append("erste Zeile");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(log.lines().size(), 2u);
}

TEST(Log, UnixLineEndsForTerminals) {
  EXPECT_EQ(Log::withUnixLineEnds("a\r\nb\r\n\rc\n"), "a\nb\n\rc\n");
}

}  // namespace
}  // namespace korvelo
