// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskbuilder/description_json.h"

#include <array>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace korvelo::sample {

namespace {

using nlohmann::json;

[[noreturn]] void refuse(const std::string& why) {
  throw std::runtime_error("disk description JSON: " + why);
}

template <typename Enum, size_t N>
using Names = std::array<std::pair<Enum, const char*>, N>;

constexpr Names<Model, 2> kModels{{{Model::Fsr5000, "Fsr5000"}, {Model::Tevion, "Tevion"}}};
constexpr Names<FileSysSector, 3> kFileSys{{{FileSysSector::Present, "Present"},
                                            {FileSysSector::Absent, "Absent"},
                                            {FileSysSector::Damaged, "Damaged"}}};
constexpr Names<SignatureVariant, 4> kSignatures{
    {{SignatureVariant::Good, "Good"},
     {SignatureVariant::Missing, "Missing"},
     {SignatureVariant::Sector31Byte300, "Sector31Byte300"},
     {SignatureVariant::Offset17NotNul, "Offset17NotNul"}}};
constexpr Names<HeadDefect, 6> kDefects{{{HeadDefect::None, "None"},
                                         {HeadDefect::WrongSignature, "WrongSignature"},
                                         {HeadDefect::WrongInternalNumbers, "WrongInternalNumbers"},
                                         {HeadDefect::WrongOrder, "WrongOrder"},
                                         {HeadDefect::NotRecordingStart, "NotRecordingStart"},
                                         {HeadDefect::NoHead, "NoHead"}}};

template <typename Enum, size_t N>
std::string nameOf(const Names<Enum, N>& names, Enum value) {
  for (const auto& [v, name] : names) {
    if (v == value) return name;
  }
  return "?";
}

template <typename Enum, size_t N>
Enum valueOf(const Names<Enum, N>& names, const json& text, const char* key) {
  const std::string wanted = text.get<std::string>();
  for (const auto& [v, name] : names) {
    if (wanted == name) return v;
  }
  refuse(std::string("unknown value \"") + wanted + "\" for " + key);
}

std::string latin1ToUtf8(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

std::string utf8ToLatin1(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
      bytes += static_cast<char>((c & 0x03) << 6 | (text[++i] & 0x3F));
    } else {
      refuse("text \"" + text + "\" holds a character outside Latin-1");
    }
  }
  return bytes;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::vector<uint8_t> fromHex(const std::string& hex) {
  auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    refuse("\"" + hex + "\" is not a hexadecimal byte string");
  };
  if (hex.size() % 2 != 0) refuse("hex byte string of odd length");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(digit(hex[i]) << 4 | digit(hex[i + 1])));
  }
  return bytes;
}

void refuseUnknownKeys(const json& object, const std::set<std::string>& known, const char* what) {
  if (!object.is_object()) refuse(std::string(what) + " must be an object");
  for (const auto& item : object.items()) {
    if (!known.count(item.key())) refuse("unknown key \"" + item.key() + "\" in " + what);
  }
}

// A whole number that fits T; nlohmann would wrap an out-of-range value silently.
template <typename T>
T number(const json& value, const std::string& key) {
  if (value.is_number_unsigned()) {
    const uint64_t u = value.get<uint64_t>();
    if (std::in_range<T>(u)) return static_cast<T>(u);
  } else if (value.is_number_integer()) {
    const int64_t s = value.get<int64_t>();
    if (std::in_range<T>(s)) return static_cast<T>(s);
  } else {
    refuse(key + " must be a whole number");
  }
  refuse(key + " is out of range: " + value.dump());
}

// Reads object[key] into target when it is there.
template <typename T>
void take(const json& object, const char* key, T& target) {
  if (!object.contains(key)) return;
  if constexpr (std::is_same_v<T, bool>) {
    if (!object.at(key).is_boolean()) refuse(std::string(key) + " must be true or false");
    target = object.at(key).get<bool>();
  } else {
    target = number<T>(object.at(key), key);
  }
}

template <typename T>
void take(const json& object, const char* key, std::vector<T>& target) {
  if (!object.contains(key)) return;
  if (!object.at(key).is_array()) refuse(std::string(key) + " must be a list");
  target.clear();
  for (const json& item : object.at(key)) target.push_back(number<T>(item, key));
}

json recordingToJson(const Recording& r) {
  json defects = json::array();
  for (const HojinDefect& d : r.defects) {
    defects.push_back({{"hojin", d.hojin}, {"defect", nameOf(kDefects, d.defect)}});
  }
  return {{"slot", r.slot},
          {"entryNumber", r.entryNumber},
          {"title", latin1ToUtf8(r.title)},
          {"secondText", latin1ToUtf8(r.secondText)},
          {"stampDay", r.stampDay},
          {"stampHour", r.stampHour},
          {"stampMinute", r.stampMinute},
          {"lengthSectors", r.lengthSectors},
          {"durationMs", r.durationMs},
          {"blocks", r.blocks},
          {"defects", defects},
          {"writeFileFat", r.writeFileFat}};
}

Recording recordingFromJson(const json& object) {
  refuseUnknownKeys(
      object,
      {"slot", "entryNumber", "title", "secondText", "stampDay", "stampHour", "stampMinute",
       "lengthSectors", "durationMs", "blocks", "defects", "writeFileFat"},
      "a recording");
  Recording r;
  take(object, "slot", r.slot);
  take(object, "entryNumber", r.entryNumber);
  if (object.contains("title")) r.title = utf8ToLatin1(object.at("title").get<std::string>());
  if (object.contains("secondText")) {
    r.secondText = utf8ToLatin1(object.at("secondText").get<std::string>());
  }
  take(object, "stampDay", r.stampDay);
  take(object, "stampHour", r.stampHour);
  take(object, "stampMinute", r.stampMinute);
  take(object, "lengthSectors", r.lengthSectors);
  take(object, "durationMs", r.durationMs);
  take(object, "blocks", r.blocks);
  take(object, "writeFileFat", r.writeFileFat);
  for (const json& d : object.value("defects", json::array())) {
    refuseUnknownKeys(d, {"hojin", "defect"}, "a defect");
    r.defects.push_back(
        {number<int>(d.at("hojin"), "hojin"), valueOf(kDefects, d.at("defect"), "defect")});
  }
  return r;
}

}  // namespace

std::string descriptionToJson(const DiskDescription& disk) {
  json recordings = json::array();
  for (const Recording& r : disk.recordings) recordings.push_back(recordingToJson(r));
  json raw = json::array();
  for (const auto& [sector, bytes] : disk.rawSectors) raw.push_back({sector, toHex(bytes)});
  const json object = {{"model", nameOf(kModels, disk.model)},
                       {"imageBytes", disk.imageBytes},
                       {"signature", nameOf(kSignatures, disk.signature)},
                       {"fileSys", nameOf(kFileSys, disk.fileSys)},
                       {"fileFatSize", disk.fileFatSize},
                       {"announcedEntries", disk.announcedEntries},
                       {"directoryHeadPresent", disk.directoryHeadPresent},
                       {"recordings", recordings},
                       {"emptySlots", disk.emptySlots},
                       {"probeMarker", disk.probeMarker},
                       {"rawSectors", raw}};
  return object.dump(2);
}

DiskDescription descriptionFromJson(const std::string& text) {
  try {
    const json object = json::parse(text);
    refuseUnknownKeys(
        object,
        {"model", "imageBytes", "signature", "fileSys", "fileFatSize", "announcedEntries",
         "directoryHeadPresent", "recordings", "emptySlots", "probeMarker", "rawSectors"},
        "the disk description");
    DiskDescription disk;
    if (object.contains("model")) disk.model = valueOf(kModels, object.at("model"), "model");
    if (object.contains("signature")) {
      disk.signature = valueOf(kSignatures, object.at("signature"), "signature");
    }
    if (object.contains("fileSys"))
      disk.fileSys = valueOf(kFileSys, object.at("fileSys"), "fileSys");
    take(object, "imageBytes", disk.imageBytes);
    take(object, "fileFatSize", disk.fileFatSize);
    take(object, "announcedEntries", disk.announcedEntries);
    take(object, "directoryHeadPresent", disk.directoryHeadPresent);
    take(object, "emptySlots", disk.emptySlots);
    take(object, "probeMarker", disk.probeMarker);
    for (const json& r : object.value("recordings", json::array())) {
      disk.recordings.push_back(recordingFromJson(r));
    }
    for (const json& pair : object.value("rawSectors", json::array())) {
      if (!pair.is_array() || pair.size() != 2) refuse("rawSectors entries are [sector, \"hex\"]");
      disk.rawSectors.emplace_back(number<int64_t>(pair[0], "rawSectors sector"),
                                   fromHex(pair[1].get<std::string>()));
    }
    return disk;
  } catch (const json::exception& error) {
    refuse(error.what());
  }
}

}  // namespace korvelo::sample
