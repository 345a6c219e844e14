#include "gui/bar_text.h"

#include <QLocale>
#include <cmath>

namespace korvelo {

namespace {

QString formatDuration(qint64 seconds) {
  const auto twoDigits = [](qint64 value) {
    return QStringLiteral("%1").arg(value, 2, 10, QChar('0'));
  };
  if (seconds >= 3600)
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(twoDigits(seconds / 60 % 60), twoDigits(seconds % 60));
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(twoDigits(seconds % 60));
}

}  // namespace

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
    format += QStringLiteral("  noch ") +
              formatDuration(static_cast<qint64>(std::llround(bytesLeft / bytesPerSecond)));
  return format;
}

}  // namespace korvelo
