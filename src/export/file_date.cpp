// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/file_date.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <optional>

#include "disk/posix_file.h"
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
  log.append(textf("Fehler beim Setzen des Dateidatums auf \"%s\".", text.c_str()),
             Severity::Error);
  log.append(
      textf("  Linux meldet FileException(%d): \"%s\"", error, describeError(error).c_str()));
  log.append("  Bitte das Datum per Hand ändern.", Severity::Error);
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
  // Set on a descriptor of the file itself: a symbolic link put in its place meanwhile is
  // refused (ELOOP), never followed to a file elsewhere, and a FIFO never waited for.
  const struct timespec times[2] = {{*t, 0}, {*t, 0}};
  PosixFile file;
  int error = file.open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat info {};
  if (error == 0 && ::fstat(file.get(), &info) != 0) error = errno;
  if (error == 0 && !S_ISREG(info.st_mode)) error = ENOTSUP;
  if (error == 0 && ::futimens(file.get(), times) != 0) error = errno;
  if (error != 0) {
    logFailure(text, error, log);
    return;
  }
  log.append(textf("Dateidatum auf \"%s\" gesetzt.", text.c_str()));
}

}  // namespace korvelo
