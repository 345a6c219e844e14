// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sparse image file being written: created empty at its full size, then only the parts that
// hold something are written.

#include <cstdint>
#include <string>

namespace korvelo::sample {

class ImageWriter {
 public:
  // Creates (or empties) a regular file of exactly imageBytes bytes. Refuses a path that exists
  // and is not a regular file, so a slip of the hand cannot overwrite a block device.
  // Throws std::runtime_error naming the path and the system's reason.
  ImageWriter(const std::string& path, uint64_t imageBytes);
  ~ImageWriter();
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // Writes bytes from the start of the sector on. Throws when they would reach past the end of
  // the image or the write fails; what names the part for the message.
  void write(int64_t sector, const uint8_t* data, uint64_t bytes, const std::string& what);
  // Closes the file and reports a failing close.
  void close();

 private:
  std::string path_;
  uint64_t imageBytes_;
  int fd_ = -1;  // -1 once closed
};

}  // namespace korvelo::sample
