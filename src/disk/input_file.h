// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every file the programs read besides the disk is looked at before a byte of it is read:
// it must be a regular file (a FIFO would make the reader wait for ever, a device such as
// /dev/zero never ends, a folder is no file) and no larger than files of its kind are.
// The file is opened without waiting (O_NONBLOCK), so even a FIFO without a writer is
// refused at once.

#include <cstdint>
#include <string>

#include "disk/posix_file.h"

namespace korvelo {

// The largest file of each kind that is read. A mapfile of a badly damaged 2 TB disk
// holds some hundred thousand lines; a manifest of 2000 recordings about 2 MB.
inline constexpr int64_t kMapfileLimit = int64_t{64} << 20;
inline constexpr int64_t kManifestLimit = int64_t{64} << 20;
inline constexpr int64_t kSidecarLimit = int64_t{1} << 20;
inline constexpr int64_t kSettingsLimit = int64_t{1} << 20;
inline constexpr int64_t kNoSizeLimit = INT64_MAX;  // a ".hav" file, read piece by piece

// Opens `path` for reading when it is a regular file of at most `limit` bytes. Empty when
// it is open in `file`, else the German reason without the path ("ist ein Ordner") and,
// with `error`, the errno behind it (ENOTSUP for a file of the wrong kind, EFBIG for one
// too large).
std::string openInputFile(const std::string& path, int64_t limit, PosixFile& file,
                          int* error = nullptr);

// Reads the whole file after the same checks (and stops at `limit` bytes should it grow
// meanwhile). Empty when `text` holds it, else the reason (and `error` as above).
std::string readInputFile(const std::string& path, int64_t limit, std::string& text,
                          int* error = nullptr);

}  // namespace korvelo
