// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture of a recorder disk as a plain SVG document: the areas before the data
// area as labelled bands, then the data area as a grid of blocks coloured by owner.

#include <cstdint>
#include <string>
#include <vector>

#include "recfs/block_ownership.h"

namespace korvelo {

struct DiskMapInput {
  const BlockOwnership* ownership = nullptr;
  DiskLayout layout;
  int fileFatSize = 0;
  // Blocks of the data area with sectors a rescue mapfile leaves unread; empty: no mapfile.
  std::vector<bool> unreadBlocks;
  // Blocks of recordings a rescue scan found outside the directory; empty: no scan asked.
  std::vector<bool> rescuedBlocks;
  int width = 1200;  // pixels
};

// What one cell of the grid shows, worked out from the blocks it stands for.
enum class CellKind { Free, Owned, CrossLinked, Unread, Rescued };
struct MapCell {
  CellKind kind = CellKind::Free;
  int recording = -1;  // index of the dominant owner for Owned
};

// The colours of the map, shared by the SVG and the window's panel: a recording's follows its
// entry number, so that it keeps it from one picture to the next.
const char* mapColourOfEntry(int entryNumber);
const char* mapColourOf(CellKind kind);  // Free, CrossLinked, Unread, Rescued

// Blocks per cell so that the grid of `columns` columns has at most `maxRows` rows.
int64_t blocksPerCell(int64_t blocks, int columns, int maxRows);

// The cell for blocks [first, first + count): unread over cross-linked over the owner
// holding the most of them; among blocks no listed recording owns, rescued over free.
MapCell cellFor(const DiskMapInput& input, int64_t first, int64_t count);

// The whole document, UTF-8, titles escaped for XML.
std::string diskMapSvg(const DiskMapInput& input);

}  // namespace korvelo
