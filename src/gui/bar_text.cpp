// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/bar_text.h"

#include <QLocale>
#include <cmath>

#include "app/export_summary.h"

namespace korvelo {

QString readBarFormat(int recording, int recordings) {
  return QStringLiteral("Aufnahme %1 von %2 \u2013 %p %").arg(recording).arg(recordings);
}

QString writeBarFormat(double bytesPerSecond, double bytesLeft) {
  QString format = QStringLiteral("%p %");
  if (!(bytesPerSecond > 0)) return format;
  // Decimal megabytes, with a German decimal comma whatever the user's locale.
  format += QStringLiteral("  %1 MB/s")
                .arg(QLocale(QLocale::German).toString(bytesPerSecond / 1e6, 'f', 1));
  if (bytesLeft > 0)
    format += QStringLiteral("  noch ") + QString::fromStdString(clockText(static_cast<int64_t>(
                                              std::llround(bytesLeft / bytesPerSecond))));
  return format;
}

}  // namespace korvelo
