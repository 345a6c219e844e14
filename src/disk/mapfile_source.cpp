// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/mapfile_source.h"

#include <cerrno>
#include <charconv>
#include <limits>
#include <sstream>
#include <string_view>
#include <vector>

#include "disk/input_file.h"
#include "disk/text.h"

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

// Empty when the fields form a status line "current_pos current_status [current_pass]".
std::string statusLineFault(const std::vector<std::string>& fields) {
  if (fields.size() < 2 || fields.size() > 3)
    return "Statuszeile erwartet (Position, Status und wahlweise Durchgang)";
  if (!parseNumber(fields[0])) return "Position \"" + escapedBytes(fields[0]) + "\" ist keine Zahl";
  if (!isCurrentStatus(fields[1])) return "unbekannter Status \"" + escapedBytes(fields[1]) + "\"";
  if (fields.size() == 3 && !parseNumber(fields[2]))
    return "Durchgang \"" + escapedBytes(fields[2]) + "\" ist keine Zahl";
  return {};
}

// Empty when the fields form a block line that starts at or after nextFree.
std::string blockLineFault(const std::vector<std::string>& fields, int64_t nextFree) {
  if (fields.size() != 3) return "erwartet werden Position, Größe und Status";
  if (!isBlockStatus(fields[2])) return "unbekannter Status \"" + escapedBytes(fields[2]) + "\"";
  const auto pos = parseNumber(fields[0]);
  if (!pos) return "Position \"" + escapedBytes(fields[0]) + "\" ist keine Zahl";
  const auto size = parseNumber(fields[1]);
  if (!size) return "Größe \"" + escapedBytes(fields[1]) + "\" ist keine Zahl";
  if (*size == 0) return "Bereich der Größe 0";
  if (*pos < nextFree) return "Bereich beginnt vor dem Ende des vorigen";
  if (*size > std::numeric_limits<int64_t>::max() - *pos)
    return "Bereich reicht über die größte Position hinaus";
  return {};
}

std::nullopt_t fail(MapfileProblem* problem, int line, std::string reason) {
  if (problem) *problem = MapfileProblem{line, std::move(reason)};
  return std::nullopt;
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

std::optional<FinishedAreas> parseMapfile(std::istream& text, MapfileProblem* problem) {
  FinishedAreas finished;
  bool statusLineSeen = false;
  int64_t nextFree = 0;  // blocks must not start before the end of the previous one
  int lineNumber = 0;
  for (std::string line; std::getline(text, line);) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> fields = splitFields(line);
    if (fields.empty() || fields[0][0] == '#') continue;
    const std::string fault =
        statusLineSeen ? blockLineFault(fields, nextFree) : statusLineFault(fields);
    if (!fault.empty()) return fail(problem, lineNumber, fault);
    if (!statusLineSeen) {
      statusLineSeen = true;
      continue;
    }
    const int64_t pos = *parseNumber(fields[0]);
    nextFree = pos + *parseNumber(fields[1]);
    if (fields[2] == "+") addFinished(finished, pos, nextFree);
  }
  if (text.bad()) return fail(problem, 0, "die Datei ließ sich nicht zu Ende lesen");
  if (!statusLineSeen)
    return fail(problem, 0, "keine Statuszeile, die Datei ist leer oder nur Kommentar");
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
  if (buffer.empty()) return 0;
  const int64_t size = static_cast<int64_t>(buffer.size());
  if (size > std::numeric_limits<int64_t>::max() - offset) return -EINVAL;
  // What lies past the image's end was never copied, whatever the mapfile says of it:
  // a rescue that stopped early leaves exactly such an image.
  const int64_t medium = image_->mediaInfo().sizeBytes;
  const int64_t end = offset + size;
  if ((medium >= 0 && end > medium) || !isFinished(offset, end)) return -EIO;
  return image_->readAt(offset, buffer);
}

std::unique_ptr<ByteSource> openMapfileSource(std::unique_ptr<ByteSource> image,
                                              const std::string& mapfilePath, int* error) {
  std::string text;
  int readError = 0;
  if (!readInputFile(mapfilePath, kMapfileLimit, text, &readError).empty()) {
    if (error) *error = readError;
    return nullptr;
  }
  std::istringstream lines(text);
  std::optional<FinishedAreas> finished = parseMapfile(lines);
  if (!finished) {
    if (error) *error = EINVAL;
    return nullptr;
  }
  if (error) *error = 0;
  return std::make_unique<MapfileSource>(std::move(image), std::move(*finished));
}

std::optional<MapfileProblem> checkMapfile(const std::string& path) {
  std::string text;
  if (std::string reason = readInputFile(path, kMapfileLimit, text); !reason.empty())
    return MapfileProblem{0, "die Datei " + reason};
  std::istringstream lines(text);
  MapfileProblem problem;
  if (parseMapfile(lines, &problem)) return std::nullopt;
  return problem;
}

std::string describeMapfileProblem(const std::string& path, const MapfileProblem& problem) {
  std::string text = "Fehler in der Mapdatei \"" + path + "\"";
  if (problem.line > 0) text += ", Zeile " + std::to_string(problem.line);
  return text + ": " + problem.reason;
}

}  // namespace korvelo
