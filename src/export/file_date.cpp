// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/file_date.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <optional>

#include "disk/text.h"
#include "export/output_file.h"

namespace korvelo {
namespace {

std::string timeText(time_t t) {
  struct tm local {};
  char text[64];
  if (!localtime_r(&t, &local) ||
      std::strftime(text, sizeof text, "%Y/%m/%d - %H:%M:%S Uhr", &local) == 0) {
    return {};
  }
  return text;
}

// For a start that has no local time: its own fields, in the same form.
std::string fieldsText(const StartTime& start) {
  return textf("%04d/%02d/%02d - %02d:%02d:00 Uhr", start.year, start.month, start.day, start.hour,
               start.minute);
}

void logFailure(const std::string& text, int error, LogSink& log) {
  log.append(textf("Fehler beim Setzen des Dateidatums auf \"%s\".", text.c_str()));
  log.append(
      textf("  Linux meldet FileException(%d): \"%s\"", error, describeError(error).c_str()));
  log.append("  Bitte das Datum per Hand ändern.");
}

}  // namespace

void setFileDate(const DirectoryEntry& entry, const std::string& path, LogSink& log) {
  const StartTime start = entry.getStartTime();
  const std::optional<time_t> t = localStartTime(start);
  if (!t) {
    logFailure(fieldsText(start), EOVERFLOW, log);
    return;
  }
  const std::string text = timeText(*t);
  // Linux keeps no settable creation time: last write and last access carry the start.
  const struct timespec times[2] = {{*t, 0}, {*t, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    logFailure(text, errno, log);
    return;
  }
  log.append(textf("Dateidatum auf \"%s\" gesetzt.", text.c_str()));
}

}  // namespace korvelo
