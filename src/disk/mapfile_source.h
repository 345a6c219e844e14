#pragma once
// An image read together with its rescue mapfile: only areas the mapfile marks as
// finished ('+') are readable; a read touching any other area fails with EIO, so a
// sector that was never rescued is never taken for data.

#include <memory>
#include <string>

#include "disk/byte_source.h"

namespace korvelo {

// Wraps `image` with the mapfile at `mapfilePath`. Null with *error (an errno value)
// when the mapfile cannot be read or is not a well-formed mapfile (EINVAL).
std::unique_ptr<ByteSource> openMapfileSource(std::unique_ptr<ByteSource> image,
                                              const std::string& mapfilePath,
                                              int* error = nullptr);

}  // namespace korvelo
