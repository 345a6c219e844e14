#pragma once
// The ".hav" file being written: one POSIX descriptor, written front to back. Writes go
// straight to the system (there is no buffer of our own to flush); the data is synced
// to the disk once, when the file is closed at the end of the job.

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvelo {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes without syncing and without reporting
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates the file (permissions 0666 less the umask). 0 or errno.
  int create(const std::string& path);
  // Writes all bytes, repeating after interruptions and partial writes. 0 or errno
  // (EBADF when the file is not open).
  int writeAll(const uint8_t* data, size_t size);
  // Syncs the data to the disk and closes; closed afterwards whatever happened. 0 or errno.
  int syncAndClose();
  // Closes without syncing, for a file that is abandoned after a failure.
  void discard();
  bool isOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;  // -1: not open
};

// The system's description of an errno value, for the "  FileException: %s" lines.
std::string describeError(int error);

}  // namespace korvelo
