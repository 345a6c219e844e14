// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/json_document.h"

#include <cerrno>

#include "disk/input_file.h"
#include "disk/text.h"

namespace korvelo {

JsonDocument readJsonDocument(const std::string& path, int64_t limit) {
  JsonDocument document;
  std::string text;
  int error = 0;
  document.problem = readInputFile(path, limit, text, &error);
  if (!document.problem.empty()) {
    document.missing = error == ENOENT;
    return document;
  }
  // Parsing without exceptions: a broken text gives a "discarded" value. The depth of
  // nesting is bounded by the file's size, which is bounded above.
  document.json = nlohmann::json::parse(text, nullptr, false);
  if (document.json.is_discarded()) {
    document.json = nullptr;
    document.problem = "ist kein gültiges JSON";
  }
  return document;
}

const nlohmann::json* manifestRecordings(const nlohmann::json& manifest) {
  if (!manifest.is_object()) return nullptr;
  const auto list = manifest.find("recordings");
  return list != manifest.end() && list->is_array() ? &*list : nullptr;
}

std::optional<std::string> textField(const nlohmann::json& record, const char* key,
                                     std::string* problem) {
  if (!record.is_object()) {
    if (problem) *problem = "der Eintrag ist kein JSON-Objekt";
    return std::nullopt;
  }
  const auto found = record.find(key);
  if (found == record.end()) return std::string();
  if (found->is_string()) return found->get<std::string>();
  if (problem) *problem = textf("\"%s\" ist kein Text", key);
  return std::nullopt;
}

std::string recordFile(const nlohmann::json& record) {
  return textField(record, "file", nullptr).value_or(std::string());
}

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

bool isSha256Text(const std::string& text) {
  if (text.size() != 64) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace korvelo
