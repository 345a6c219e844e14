// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <utility>

#include "disk/text.h"

namespace korvelo {
namespace {

std::span<const uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// ("/w", "a.json") for "/w/a.json"; (".", name) without a folder; ("/", name) in the root.
std::pair<std::string, std::string> splitPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Cut so that a name near the system's limit still leaves room for the additions.
constexpr size_t kNameRoom = 200;

std::string temporaryPrefix(const std::string& name) {
  return "." + name.substr(0, kNameRoom) + ".";
}

// Writes, syncs and closes; the first failure's errno.
int writeSyncClose(PosixFile& file, std::string_view bytes) {
  int error = file.writeAll(bytes);
  if (error == 0) error = file.sync();
  const int closeError = file.close();
  return error != 0 ? error : closeError;
}

// Opens the temporary exclusively; a leftover of an earlier process with the same id
// (or anything planted under its name) is removed, never written through.
int createTemporary(PosixFile& file, int folder, const std::string& temporary) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int error = file.openAt(folder, temporary, flags);
  if (error == EEXIST && ::unlinkat(folder, temporary.c_str(), 0) == 0)
    error = file.openAt(folder, temporary, flags);
  return error;
}

}  // namespace

PosixFile::~PosixFile() {
  if (fd_ >= 0) ::close(fd_);
}

PosixFile::PosixFile(PosixFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int PosixFile::open(const std::string& path, int flags, mode_t mode) {
  return openAt(AT_FDCWD, path, flags, mode);
}

int PosixFile::openAt(int folder, const std::string& name, int flags, mode_t mode) {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  int fd;
  do {
    fd = ::openat(folder, name.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  fd_ = fd;
  return 0;
}

int PosixFile::createRegular(const std::string& path, bool mustBeNew) {
  // Not truncated by open: a device or pipe in the file's place is looked at first.
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY |
                    (mustBeNew ? O_EXCL : 0);
  if (const int error = open(path, flags); error != 0) return error;
  struct stat info {};
  int error = ::fstat(fd_, &info) == 0 ? 0 : errno;
  if (error == 0 && !S_ISREG(info.st_mode)) error = ENOTSUP;
  if (error == 0 && ::fcntl(fd_, F_SETFL, 0) != 0) error = errno;  // blocking again
  if (error == 0 && info.st_size > 0 && ::ftruncate(fd_, 0) != 0) error = errno;
  if (error != 0) ::close(std::exchange(fd_, -1));
  return error;
}

int64_t PosixFile::readAt(int64_t offset, std::span<uint8_t> buffer) const {
  if (offset < 0) return -EINVAL;
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

int PosixFile::writeAll(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return EBADF;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;  // a file never takes nothing without saying why
    bytes = bytes.subspan(static_cast<size_t>(written));
  }
  return 0;
}

int PosixFile::writeAll(std::string_view text) {
  return writeAll(bytesOf(text));
}

int PosixFile::writeAllAt(int64_t offset, std::span<const uint8_t> bytes) {
  if (fd_ < 0) return EBADF;
  if (offset < 0) return EINVAL;
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes = bytes.subspan(static_cast<size_t>(written));
    offset += written;
  }
  return 0;
}

int PosixFile::sync() {
  if (fd_ < 0) return EBADF;
  return ::fsync(fd_) == 0 ? 0 : errno;
}

int PosixFile::syncData() {
  if (fd_ < 0) return EBADF;
  return ::fdatasync(fd_) == 0 ? 0 : errno;
}

int PosixFile::close() {
  if (fd_ < 0) return 0;
  if (::close(std::exchange(fd_, -1)) != 0 && errno != EINTR) return errno;
  return 0;
}

int writeNewFile(const std::string& path, std::string_view bytes) {
  PosixFile file;
  if (const int error = file.createRegular(path, true); error != 0) return error;
  const int error = writeSyncClose(file, bytes);
  if (error != 0) ::unlink(path.c_str());  // it is ours: O_EXCL made it
  return error;
}

int atomicReplace(const std::string& path, std::string_view bytes) {
  const auto [folderPath, name] = splitPath(path);
  PosixFile folder;
  if (const int error = folder.open(folderPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC); error != 0)
    return error;
  return atomicReplaceAt(folder.get(), name, bytes);
}

int atomicReplaceAt(int folder, const std::string& name, std::string_view bytes) {
  struct stat old {};
  const bool exists = ::fstatat(folder, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && S_ISLNK(old.st_mode)) return ELOOP;
  if (exists && !S_ISREG(old.st_mode)) return ENOTSUP;
  const std::string temporary = temporaryPrefix(name) + std::to_string(::getpid()) + ".tmp";
  PosixFile file;
  if (const int error = createTemporary(file, folder, temporary); error != 0) return error;
  int error = exists && ::fchmod(file.get(), old.st_mode & 07777) != 0 ? errno : 0;
  if (error == 0) error = writeSyncClose(file, bytes);
  if (error == 0 && ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlinkat(folder, temporary.c_str(), 0);
    return error;
  }
  // Makes the rename durable. A folder that cannot be synced does not make the write
  // fail: the file itself is on the disk.
  ::fsync(folder);
  return 0;
}

std::optional<pid_t> temporaryOwner(const std::string& name, const std::string& candidate) {
  const std::string prefix = temporaryPrefix(name);
  constexpr std::string_view kEnd = ".tmp";
  if (candidate.size() <= prefix.size() + kEnd.size() || !candidate.starts_with(prefix) ||
      !candidate.ends_with(kEnd))
    return std::nullopt;
  const std::string_view digits = std::string_view(candidate).substr(
      prefix.size(), candidate.size() - prefix.size() - kEnd.size());
  pid_t pid = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9' || pid > (INT32_MAX - 9) / 10) return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

std::string symbolicLinkRefusal(const std::string& path) {
  return textf("\"%s\" ist ein symbolischer Verweis; Korvelo schreibt nicht hindurch.",
               path.c_str());
}

bool isSymbolicLink(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace korvelo
