// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/disk_map_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "disk/text.h"

namespace korvelo {
namespace {

constexpr int kMargin = 16;
constexpr int kCell = 8;
constexpr int kMaxRows = 160;
constexpr int kBandHeight = 22;
constexpr int kLegendLine = 16;
// Recordings named one per legend line; the others are counted in one line whose tooltip
// names them all, so that 2000 recordings keep the picture a few thousand pixels high.
constexpr size_t kMostLegendLines = 40;
constexpr const char* kFreeColour = "#ececec";
constexpr const char* kCrossColour = "#e00000";
constexpr const char* kRescuedColour = "#8b5a00";
constexpr const char* kUnreadColour = "#202020";
// Recording colours: hues a golden angle apart, so that neighbouring entries differ
// strongly and a colour comes back only after many entries; three lightnesses in turn.
// Hues from 55 to 330 degrees keep clear of the reds and browns marked above.
constexpr int kColours = 2048;

std::string colourOfIndex(int index) {
  const double hue = 55.0 + std::fmod(index * 137.50776405, 275.0);
  const double lightness = (index % 3 == 0) ? 0.38 : (index % 3 == 1 ? 0.52 : 0.45);
  const double saturation = 0.70;
  const double chroma = (1.0 - std::fabs(2.0 * lightness - 1.0)) * saturation;
  const double h = hue / 60.0;
  const double x = chroma * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0));
  double r = 0, g = 0, b = 0;
  if (h < 1)
    r = chroma, g = x;
  else if (h < 2)
    r = x, g = chroma;
  else if (h < 3)
    g = chroma, b = x;
  else if (h < 4)
    g = x, b = chroma;
  else if (h < 5)
    r = x, b = chroma;
  else
    r = chroma, b = x;
  const double m = lightness - chroma / 2.0;
  const auto byte = [m](double v) { return static_cast<int>(std::lround((v + m) * 255.0)); };
  return textf("#%02x%02x%02x", byte(r), byte(g), byte(b));
}

using ll = long long;

std::string xmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string titleOf(const OwnedRecording& recording) {
  return xmlEscaped(latin1ToUtf8(filterPrintable(recording.entry->getTitle())));
}

std::string text(int x, int y, const std::string& content) {
  return textf("<text x=\"%d\" y=\"%d\">%s</text>\n", x, y, content.c_str());
}

// A legend line with its tooltip.
std::string legendLine(int y, const char* fill, const std::string& label,
                       const std::string& tooltip) {
  return "<g><title>" + tooltip + "</title>" +
         textf("<rect x=\"%d\" y=\"%d\" width=\"12\" height=\"12\" fill=\"%s\"/>", kMargin, y,
               fill) +
         textf("<text x=\"%d\" y=\"%d\">%s</text></g>\n", kMargin + 18, y + 11, label.c_str());
}

std::string rect(int x, int y, int w, int h, const char* fill) {
  return textf("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"/>\n", x, y, w, h,
               fill);
}

std::string bands(const DiskMapInput& input, int width, int& y) {
  const DiskLayout& layout = input.layout;
  const int64_t dataStart = layout.dataAreaStart(input.fileFatSize);
  struct Band {
    int64_t first, end;
    std::string label;
  };
  const Band all[] = {
      {0, layout.directoryHead, "Signatur und \"file_system.sys\""},
      {layout.directoryHead, layout.fatAreaStart, "Verzeichnis (2000 Plätze)"},
      {layout.fatAreaStart, dataStart, textf("File-FATs (2001 × %d Sektoren)", input.fileFatSize)},
  };
  const char* fills[] = {"#d9d9d9", "#c6dbef", "#fdd0a2"};
  std::string svg;
  for (int i = 0; i < 3; ++i) {
    svg += rect(kMargin, y, width, kBandHeight, fills[i]);
    svg += text(kMargin + 6, y + 15,
                xmlEscaped(textf("Sektor %s bis %s: ", formatThousands(all[i].first, '.').c_str(),
                                 formatThousands(all[i].end - 1, '.').c_str()) +
                           all[i].label));
    y += kBandHeight + 2;
  }
  return svg;
}

const char* fillOf(const DiskMapInput& input, int64_t cell, int64_t perCell) {
  const BlockOwnership& ownership = *input.ownership;
  const int64_t first = cell * perCell;
  const MapCell shown = cellFor(input, first, std::min(perCell, ownership.blockCount() - first));
  if (shown.kind != CellKind::Owned) return mapColourOf(shown.kind);
  return mapColourOfEntry(ownership.recordings()[static_cast<size_t>(shown.recording)].entryNumber);
}

}  // namespace

const char* mapColourOfEntry(int entryNumber) {
  static const std::vector<std::string> colours = [] {
    std::vector<std::string> all;
    for (int i = 0; i < kColours; ++i) all.push_back(colourOfIndex(i));
    return all;
  }();
  return colours[static_cast<size_t>(std::abs(entryNumber) % kColours)].c_str();
}

const char* mapColourOf(CellKind kind) {
  switch (kind) {
    case CellKind::CrossLinked:
      return kCrossColour;
    case CellKind::Unread:
      return kUnreadColour;
    case CellKind::Rescued:
      return kRescuedColour;
    case CellKind::Free:
    case CellKind::Owned:
      break;
  }
  return kFreeColour;
}

int64_t blocksPerCell(int64_t blocks, int columns, int maxRows) {
  const int64_t cells = int64_t{columns} * maxRows;
  return std::max<int64_t>(1, (blocks + cells - 1) / cells);
}

MapCell cellFor(const DiskMapInput& input, int64_t first, int64_t count) {
  const BlockOwnership& ownership = *input.ownership;
  std::map<int, int64_t> held;
  bool crossLinked = false;
  bool rescued = false;
  for (int64_t block = first; block < first + count; ++block) {
    if (!input.rescuedBlocks.empty() && input.rescuedBlocks[static_cast<size_t>(block)])
      rescued = true;
    if (!input.unreadBlocks.empty() && input.unreadBlocks[static_cast<size_t>(block)])
      return {CellKind::Unread, -1};
    const uint16_t owner = ownership.ownerOf(block);
    if (owner == BlockOwnership::kShared) crossLinked = true;
    if (owner < BlockOwnership::kShared) ++held[owner];
  }
  if (crossLinked) return {CellKind::CrossLinked, -1};
  if (held.empty()) return {rescued ? CellKind::Rescued : CellKind::Free, -1};
  const auto most = std::max_element(
      held.begin(), held.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  return {CellKind::Owned, most->first};
}

std::string diskMapSvg(const DiskMapInput& input) {
  const BlockOwnership& ownership = *input.ownership;
  const int width = std::max(input.width, 200) - 2 * kMargin;
  const int columns = width / kCell;
  const int64_t perCell = blocksPerCell(ownership.blockCount(), columns, kMaxRows);
  const int64_t cells = (ownership.blockCount() + perCell - 1) / perCell;

  std::string body;
  int y = kMargin;
  body += textf(
      "<text x=\"%d\" y=\"%d\" font-size=\"16\" font-weight=\"bold\">%s</text>\n", kMargin, y + 12,
      xmlEscaped(textf("Belegungsplan der %s-Festplatte", input.layout.modelName)).c_str());
  y += 24;
  body += bands(input, width, y);
  y += 6;
  body +=
      text(kMargin, y + 12,
           xmlEscaped(textf(
               "Datenbereich ab Sektor %s: %s Blöcke zu 16 HOJINs; 1 Feld = %s "
               "(%s Sektoren)",
               formatThousands(ownership.dataAreaStart(), '.').c_str(),
               formatThousands(ownership.blockCount(), '.').c_str(),
               perCell == 1 ? "1 Block" : textf("%lld Blöcke", static_cast<ll>(perCell)).c_str(),
               formatThousands(perCell * kSectorsPerBlock, '.').c_str())));
  y += 20;
  // Neighbours in a row with the same colour become one rectangle: a large disk that is
  // mostly free then takes a few hundred elements instead of tens of thousands.
  for (int64_t rowStart = 0; rowStart < cells; rowStart += columns) {
    const int64_t rowEnd = std::min<int64_t>(cells, rowStart + columns);
    const int rowY = y + static_cast<int>(rowStart / columns) * kCell;
    int64_t runStart = rowStart;
    const char* runFill = nullptr;
    for (int64_t cell = rowStart; cell <= rowEnd; ++cell) {
      const char* fill = cell < rowEnd ? fillOf(input, cell, perCell) : nullptr;
      if (cell > rowStart && fill != runFill) {
        body += rect(kMargin + static_cast<int>(runStart - rowStart) * kCell, rowY,
                     static_cast<int>(cell - runStart) * kCell - 1, kCell - 1, runFill);
        runStart = cell;
      }
      runFill = fill;
    }
  }
  y += static_cast<int>((cells + columns - 1) / columns) * kCell + 16;

  const struct {
    const char* fill;
    const char* label;
  } keys[] = {{kFreeColour, "frei"},
              {kCrossColour, "mehreren Aufnahmen zugeordnet"},
              {kUnreadColour, "laut Mapdatei nicht gelesen"}};
  for (const auto& key : keys) {
    body += rect(kMargin, y, 12, 12, key.fill);
    body += text(kMargin + 18, y + 11, key.label);
    y += kLegendLine;
  }
  if (!input.rescuedBlocks.empty()) {
    body += rect(kMargin, y, 12, 12, kRescuedColour);
    body += text(kMargin + 18, y + 11, "ohne Verzeichniseintrag gefunden (rescue)");
    y += kLegendLine;
  }
  const std::vector<OwnedRecording>& recordings = ownership.recordings();
  const size_t listed =
      recordings.size() <= kMostLegendLines ? recordings.size() : kMostLegendLines - 1;
  for (size_t i = 0; i < listed; ++i) {
    const OwnedRecording& recording = recordings[i];
    const std::string label = textf("Eintrag %d: ", recording.entryNumber) + titleOf(recording);
    body += legendLine(y, mapColourOfEntry(recording.entryNumber), label, label);
    y += kLegendLine;
  }
  if (listed < recordings.size()) {
    std::string others;
    for (size_t i = listed; i < recordings.size(); ++i)
      others += textf("%sEintrag %d: ", others.empty() ? "" : "\n", recordings[i].entryNumber) +
                titleOf(recordings[i]);
    const auto more = static_cast<int64_t>(recordings.size() - listed);
    body += legendLine(y, kFreeColour,
                       textf("… und %s weitere", formatThousands(more, '.').c_str()), others);
    y += kLegendLine;
  }
  y += kMargin;
  const int total = width + 2 * kMargin;
  return textf(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
             "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"12\">\n",
             total, y, total, y) +
         rect(0, 0, total, y, "#ffffff") + body + "</svg>\n";
}

}  // namespace korvelo
