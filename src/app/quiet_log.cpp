// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quiet_log.h"

namespace korvelo {
namespace {

// Lines that begin so are warnings, errors or damage reports.
constexpr std::string_view kPrefixes[] = {
    "Warnung",
    "Fehler",
    "  FileException:",
    "Beschädigt",
    "Abbruch",
    "Abgebrochen",
    "Keine ",
    "Zuwenig Platz",
    "Speichern unvollständig",
    "Problem getting",
    "Die meisten Hojin-Köpfe",
    "Die Datei \"",
    "  Sie bleibt unverändert",
    "Mit --resume --force",
    "Konnte ",
    "Zieldatei \"",
    " Festplatte ",  // a drive that could not be opened, with the reason
};

// Lines that hold this anywhere tell of a recording that was not saved in full, or of a
// target that is refused.
constexpr std::string_view kInfixes[] = {
    " wurde nicht vollständig gespeichert",
    " wird nicht gespeichert: ",
    " übersprungen.",
    " gibt es schon; ",
    " ist ein Gerät; ",
    " ist die Festplatte, von der gelesen wird.",
    " ist keine gewöhnliche Datei.",
    " ist ein symbolischer Verweis; ",
    " wird in diesem Lauf schon geschrieben.",
};

// The final summary: "5 Aufnahmen gespeichert, 0 beschädigt, 0 übersprungen, ...".
bool isFinalSummary(std::string_view line) {
  return !line.empty() && line.front() >= '0' && line.front() <= '9' &&
         line.find(" gespeichert, ") != std::string_view::npos &&
         line.find(" übersprungen, ") != std::string_view::npos;
}

}  // namespace

bool showsWhenQuiet(std::string_view line) {
  // One per HOJIN with zero-filled sectors: a quiet run has the recording's one
  // "Beschädigt: ..." line for them instead.
  if (line.starts_with("Warnung: ") && line.ends_with(" nicht lesbar, mit Nullen gefüllt."))
    return false;
  for (std::string_view prefix : kPrefixes)
    if (line.starts_with(prefix)) return true;
  for (std::string_view infix : kInfixes)
    if (line.find(infix) != std::string_view::npos) return true;
  return isFinalSummary(line);
}

}  // namespace korvelo
