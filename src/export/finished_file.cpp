// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/finished_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "disk/posix_file.h"
#include "disk/system_reason.h"
#include "disk/target_folder.h"
#include "disk/text.h"

namespace korvelo {
namespace {

constexpr const char* kChanged = "die Datei wurde während des Speicherns von außen verändert";

// Whether the file has a hole before its end: bytes nobody wrote. Zeros the export wrote
// may also come back as holes where a file system stores them so; the sums then decide.
bool hasHole(int descriptor, int64_t length) {
  if (length <= 0) return false;
  const off_t hole = ::lseek(descriptor, 0, SEEK_HOLE);
  return hole >= 0 && hole < length;
}

}  // namespace

FinishedFile examineFinishedFile(const TargetFolder& folder, const std::string& name,
                                 FinishedFileQuestion question) {
  FinishedFile finished;
  PosixFile file;
  if (const int error =
          file.openAt(folder.descriptor(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      error != 0) {
    finished.problem = "die Datei lässt sich nicht mehr öffnen: " + systemReason(error);
    return finished;
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      (question.written && !(FileIdentity{info.st_dev, info.st_ino} == *question.written))) {
    finished.problem = "an ihrer Stelle liegt jetzt eine andere Datei";
    return finished;
  }
  finished.bytes = info.st_size;
  if (info.st_nlink != 1) {
    // Written under another name too, it may be changed from there at any time.
    finished.problem = "die Datei hat während des Speicherns einen weiteren Namen bekommen";
  } else if (finished.bytes != question.length) {
    finished.problem = textf("%s (sie hat %s statt %s Bytes)", kChanged,
                             formatThousands(finished.bytes, '.').c_str(),
                             formatThousands(question.length, '.').c_str());
  }
  if (!question.sums) return finished;
  const bool trustWritten = question.sumsWritten && question.sumsWritten->readable &&
                            question.sumsWritten->fileBytes == finished.bytes &&
                            !hasHole(file.get(), finished.bytes);
  if (trustWritten) {
    finished.digests = std::move(question.sumsWritten);
    return finished;
  }
  finished.digests = digestHavFile(file.get());
  if (!finished.digests->readable) {
    if (finished.problem.empty()) finished.problem = "die Datei lässt sich nicht zurücklesen";
  } else if (finished.problem.empty() && question.sumsWritten &&
             question.sumsWritten->fileBytes == finished.bytes &&
             question.sumsWritten->file != finished.digests->file) {
    finished.problem = textf("%s (ihre Bytes sind nicht die geschriebenen)", kChanged);
  }
  return finished;
}

}  // namespace korvelo
