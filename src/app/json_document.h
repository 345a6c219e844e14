// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JSON the programs read back from disk (the folder's manifest, a ".hav.json") is as
// hostile as any file: it is read only when it is a regular file of a sensible size, and
// every field is checked for its type and range before it is used. A document or record
// that fails is damaged, and said so; nothing in it can end the program.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace korvelo {

// The version of every JSON document the programs write (key "schema"), as docs/json.md
// describes it; raised only when a key changes its meaning or goes away. Documents
// written before it was added carry no "schema" and are read as version 1.
inline constexpr int kJsonSchema = 1;

struct JsonDocument {
  nlohmann::json json;   // discarded when `problem` is set
  bool missing = false;  // there is no file at the path
  std::string problem;  // why the file cannot be used (German, without the path); empty when it can
};

// Reads and parses the file at `path`, a regular file of at most `limit` bytes.
JsonDocument readJsonDocument(const std::string& path, int64_t limit);

// The manifest's "recordings" array, or null when the document is no manifest.
const nlohmann::json* manifestRecordings(const nlohmann::json& manifest);

// A text field of a record: nothing (and *problem set) when the field is there with
// another type; "" when it is absent.
std::optional<std::string> textField(const nlohmann::json& record, const char* key,
                                     std::string* problem);

// The file a record names, when it names one as text; "" otherwise. Never throws.
std::string recordFile(const nlohmann::json& record);

// True for a name that stays within the folder: not empty, no '/', no NUL, not "." or "..".
bool isPlainFileName(const std::string& name);

// True for a SHA-256 sum as the export writes it: 64 lower-case hexadecimal digits.
bool isSha256Text(const std::string& text);

}  // namespace korvelo
