// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/log.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/export_summary.h"

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

TEST(Log, SinksGetEachEntryWithItsSeverityAndEarlierTextOnAttach) {
  Log log;
  log.append("vorher");
  log.append("Fehler vorher", Severity::Error);
  std::vector<std::pair<std::string, Severity>> seen;
  log.attach(
      [&seen](std::string_view piece, Severity severity) { seen.emplace_back(piece, severity); });
  log.append("nachher");
  log.append("Warnung", Severity::Warning);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, Severity>>{
                      {"vorher\r\nFehler vorher\r\n", Severity::Error},
                      {"nachher\r\n", Severity::Info},
                      {"Warnung\r\n", Severity::Warning}}));
}

TEST(Log, SinkMayAppendInTurn) {
  Log log;
  int calls = 0;
  log.attach([&](std::string_view piece, Severity) {
    if (++calls == 1) log.append(std::string(piece.size(), 'x') + std::string(4096, 'y'));
  });
  log.append("erste Zeile");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(log.lines().size(), 2u);
}

TEST(Log, UnixLineEndsForTerminals) {
  EXPECT_EQ(Log::withUnixLineEnds("a\r\nb\r\n\rc\n"), "a\nb\n\rc\n");
}

TEST(Log, SummarySizesAreSiWithADecimalCommaAndTimesAreMinutesOrHours) {
  const std::pair<uint64_t, const char*> sizes[] = {
      {0, "0 Bytes"},     {999, "999 Bytes"},     {1000, "1,0 kB"},          {999949, "999,9 kB"},
      {999950, "1,0 MB"}, {4600000000, "4,6 GB"}, {1500000000000, "1,5 TB"},
  };
  for (const auto& [bytes, text] : sizes) EXPECT_EQ(siSize(bytes), text) << bytes;
  const std::pair<int64_t, const char*> times[] = {
      {0, "0:00"}, {42999, "0:42"}, {3599000, "59:59"}, {3600000, "1:00:00"}, {-5, "0:00"}};
  for (const auto& [ms, text] : times)
    EXPECT_EQ(
        exportSummary({}, ms),
        std::string("0 Aufnahmen gespeichert, 0 beschädigt, 0 übersprungen, 0 Bytes in ") + text);
}

}  // namespace
}  // namespace korvelo
