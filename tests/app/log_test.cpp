// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/log.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/export_summary.h"
#include "app/quiet_log.h"

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

TEST(Log, QuietRunsKeepWarningsErrorsSkipsAndSummaries) {
  const std::pair<const char*, bool> lines[] = {
      {"Suche FSR-Festplatte ...", false},
      {" Untersuche Festplatte 0 ...  Signatur stimmt nicht.", false},
      {" Festplatte 1 \"/dev/sdb\" lässt sich nicht öffnen: ist ein Ordner.", true},
      {"Keine FSR-5000-Festplatte gefunden.", true},
      {"Warte auf Benutzer...", false},
      {"Lesen der unfragmentierten Aufzeichnung abgeschlossen. Leserate: ca. 5 KB/s", false},
      {"Warnung: Signatur des Hojin 2  (von 40) fehlerhaft.", true},
      {"[HOJIN A-Sektor #06664705 mit fehlerhafter Signatur.", false},
      {"Beschädigt: 1 Hojins mit falschem Kopf.", true},
      {"Warnung: 65 Sektoren des Hojin 7 (von 100) nicht lesbar, mit Nullen gefüllt.", false},
      {"Beschädigt: 100 Hojins mit zusammen 6.500 nicht lesbaren Sektoren (mit Nullen gefüllt).",
       true},
      {"Eintrag 2 \"Bluff\" wurde nicht vollständig gespeichert. (Fehler 4)", true},
      {"Eintrag 1 \"Tagesschau\" übersprungen.", true},
      {"\"karte.svg\" gibt es schon; zum Überschreiben --force angeben.", true},
      {"\"Tagesschau.hav\" ist bereits vollständig.", false},
      {"1 Aufnahme gespeichert, 0 beschädigt, 0 übersprungen, 500,8 kB in 0:00", true},
  };
  for (const auto& [line, shown] : lines) EXPECT_EQ(showsWhenQuiet(line), shown) << line;
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
