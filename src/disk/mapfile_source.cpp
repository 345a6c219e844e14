#include "disk/mapfile_source.h"

#include <cerrno>

namespace korvelo {

// No mapfile reader yet: refusing is safer than reading unrescued areas as data.
std::unique_ptr<ByteSource> openMapfileSource(std::unique_ptr<ByteSource> /*image*/,
                                              const std::string& /*mapfilePath*/, int* error) {
  if (error) *error = EINVAL;
  return nullptr;
}

}  // namespace korvelo
