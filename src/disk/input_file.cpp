// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "disk/system_reason.h"
#include "disk/text.h"

namespace korvelo {
namespace {

std::string openReason(int error) {
  switch (error) {
    case ENOENT:
      return "gibt es nicht";
    case EACCES:
    case EPERM:
      return "keine Berechtigung zum Lesen";
    case EISDIR:
      return "ist ein Ordner, keine Datei";
    case ENOTDIR:
      return "ein Teil des Pfads ist kein Ordner";
    case ELOOP:
      return "zu viele symbolische Verweise";
    case EIO:
      return "Ein-/Ausgabefehler";
    default:
      return "lässt sich nicht öffnen: " + systemReason(error);
  }
}

std::string kindReason(mode_t mode) {
  if (S_ISDIR(mode)) return "ist ein Ordner, keine Datei";
  if (S_ISFIFO(mode)) return "ist eine benannte Pipe (FIFO), keine gewöhnliche Datei";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "ist ein Gerät, keine gewöhnliche Datei";
  if (S_ISSOCK(mode)) return "ist ein Socket, keine gewöhnliche Datei";
  return "ist keine gewöhnliche Datei";
}

std::string tooLarge(int64_t limit) {
  return textf("ist zu groß (höchstens %s Bytes)", formatThousands(limit, '.').c_str());
}

}  // namespace

std::string openInputFile(const std::string& path, int64_t limit, PosixFile& file, int* error) {
  int ignored = 0;
  int& code = error ? *error : ignored;
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if ((code = file.open(path, flags)) != 0) return openReason(code);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    code = errno;
    file.close();
    return openReason(code);
  }
  if (!S_ISREG(status.st_mode)) {
    code = S_ISDIR(status.st_mode) ? EISDIR : ENOTSUP;
    file.close();
    return kindReason(status.st_mode);
  }
  if (status.st_size > limit) {
    code = EFBIG;
    file.close();
    return tooLarge(limit);
  }
  // Reads of a regular file never wait anyway; the flag only kept a FIFO from blocking.
  ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
  return {};
}

std::string readInputFile(const std::string& path, int64_t limit, std::string& text, int* error) {
  int ignored = 0;
  int& code = error ? *error : ignored;
  text.clear();
  PosixFile file;
  if (std::string problem = openInputFile(path, limit, file, &code); !problem.empty())
    return problem;
  std::vector<uint8_t> chunk(65536);
  for (;;) {
    const int64_t got = file.readAt(static_cast<int64_t>(text.size()), chunk);
    if (got < 0) {
      code = static_cast<int>(-got);
      text.clear();
      return openReason(code);
    }
    if (got == 0) return {};
    text.append(reinterpret_cast<const char*>(chunk.data()), static_cast<size_t>(got));
    if (static_cast<int64_t>(text.size()) > limit) {
      code = EFBIG;
      text.clear();
      return tooLarge(limit);
    }
  }
}

}  // namespace korvelo
