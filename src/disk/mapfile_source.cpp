#include "disk/mapfile_source.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>
#include <vector>

namespace korvelo {
namespace {

// A non-negative number, decimal or with 0x; nothing on any other text or overflow.
std::optional<int64_t> parseNumber(std::string_view token) {
  int base = 10;
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    base = 16;
    token.remove_prefix(2);
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value, base);
  if (error != std::errc() || end != token.data() + token.size() || value < 0) return std::nullopt;
  return value;
}

std::vector<std::string> splitFields(const std::string& line) {
  std::istringstream fields(line);
  std::vector<std::string> result;
  for (std::string field; fields >> field;) result.push_back(field);
  return result;
}

bool isBlockStatus(const std::string& field) {
  return field.size() == 1 && std::string_view("?*/-+").find(field[0]) != std::string_view::npos;
}

bool isCurrentStatus(const std::string& field) {
  return field.size() == 1 && std::string_view("?*/-FG+").find(field[0]) != std::string_view::npos;
}

bool isStatusLine(const std::vector<std::string>& fields) {
  if (fields.size() < 2 || fields.size() > 3) return false;
  if (!parseNumber(fields[0]) || !isCurrentStatus(fields[1])) return false;
  return fields.size() == 2 || parseNumber(fields[2]).has_value();
}

// Adds [begin, end) to the finished areas, joining it to a finished area ending at begin.
void addFinished(FinishedAreas& areas, int64_t begin, int64_t end) {
  if (!areas.empty()) {
    auto last = std::prev(areas.end());
    if (last->second == begin) {
      last->second = end;
      return;
    }
  }
  areas.emplace(begin, end);
}

}  // namespace

std::optional<FinishedAreas> parseMapfile(std::istream& text) {
  FinishedAreas finished;
  bool statusLineSeen = false;
  int64_t nextFree = 0;  // blocks must not start before the end of the previous one
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> fields = splitFields(line);
    if (fields.empty() || fields[0][0] == '#') continue;
    if (!statusLineSeen) {
      if (!isStatusLine(fields)) return std::nullopt;
      statusLineSeen = true;
      continue;
    }
    if (fields.size() != 3 || !isBlockStatus(fields[2])) return std::nullopt;
    const auto pos = parseNumber(fields[0]);
    const auto size = parseNumber(fields[1]);
    if (!pos || !size || *size == 0 || *pos < nextFree ||
        *size > std::numeric_limits<int64_t>::max() - *pos) {
      return std::nullopt;
    }
    nextFree = *pos + *size;
    if (fields[2] == "+") addFinished(finished, *pos, nextFree);
  }
  if (!statusLineSeen || text.bad()) return std::nullopt;
  return finished;
}

MapfileSource::MapfileSource(std::unique_ptr<ByteSource> image, FinishedAreas finished)
    : image_(std::move(image)), finished_(std::move(finished)) {}

bool MapfileSource::isFinished(int64_t begin, int64_t end) const {
  if (begin >= end) return true;
  auto area = finished_.upper_bound(begin);
  if (area == finished_.begin()) return false;
  --area;
  return area->first <= begin && end <= area->second;
}

int64_t MapfileSource::readAt(int64_t offset, std::span<uint8_t> buffer) {
  if (offset < 0) return -EINVAL;
  const int64_t medium = image_->mediaInfo().sizeBytes;
  int64_t end = offset + static_cast<int64_t>(buffer.size());
  if (medium >= 0 && end > medium) end = medium;  // only what the image can transfer counts
  if (offset < end && !isFinished(offset, end)) return -EIO;
  return image_->readAt(offset, buffer);
}

std::unique_ptr<ByteSource> openMapfileSource(std::unique_ptr<ByteSource> image,
                                              const std::string& mapfilePath, int* error) {
  errno = 0;
  std::ifstream text(mapfilePath);
  if (!text) {
    if (error) *error = errno != 0 ? errno : ENOENT;
    return nullptr;
  }
  std::optional<FinishedAreas> finished = parseMapfile(text);
  if (!finished) {
    if (error) *error = EINVAL;
    return nullptr;
  }
  if (error) *error = 0;
  return std::make_unique<MapfileSource>(std::move(image), std::move(*finished));
}

}  // namespace korvelo
