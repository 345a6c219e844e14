// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/export_result.h"

#include "disk/text.h"

namespace korvelo {

std::string ExportResult::incompleteReason() const {
  if (errorCode != 0) return textf(" (Fehler %d)", errorCode);
  if (stopped) return " (abgebrochen)";
  if (!doubt.empty()) return " (" + doubt + ")";
  if (const int damaged = damage.damagedHojins(); damaged > 0)
    return textf(" (%d HOJINs mit unlesbaren Sektoren)", damaged);
  if (wrongHeadHojins > 0) return textf(" (%d HOJINs mit falschem Kopf)", wrongHeadHojins);
  if (fileBytes != expectedBytes)
    return textf(" (Datei hat %s statt %s Bytes)", formatThousands(fileBytes, '.').c_str(),
                 formatThousands(expectedBytes, '.').c_str());
  return {};
}

}  // namespace korvelo
