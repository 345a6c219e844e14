// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's icon, drawn in code after resources/korvelo.svg (the Qt build here has no
// SVG reader): a recorder disk platter handing a film strip down into a file.

#include <QIcon>

namespace korvelo {

QIcon appIcon();

}  // namespace korvelo
