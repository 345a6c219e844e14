// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/recording_json.h"

#include <nlohmann/json.hpp>

#include "app/json_document.h"
#include "disk/text.h"

namespace korvelo::cli {

namespace {

nlohmann::ordered_json recordingJson(const DirectoryEntry& entry) {
  const StartTime start = entry.getStartTime();
  nlohmann::ordered_json object;
  object["entry"] = entry.getEntryNumber();
  object["title"] = latin1ToUtf8(filterPrintable(entry.getTitle()));
  object["second_text"] = latin1ToUtf8(filterPrintable(entry.getSecondText()));
  object["size_bytes"] = entry.getSizeInBytes();
  object["hojins"] = entry.getNumberOfHojins();
  object["duration_ms"] = entry.getDurationMs();
  object["start"] = startText(start);
  object["start_iso"] = startIso(start);
  object["weekday"] = start.weekday;
  object["slot_sector"] = entry.getSector();
  object["blank"] = entry.isBlank();  // the slot holds only zeros: no recording
  return object;
}

}  // namespace

std::string recordingsJson(Fsr5000Disk& disk) {
  nlohmann::ordered_json recordings = nlohmann::ordered_json::array();
  for (const auto& entry : disk.getEntries()) recordings.push_back(recordingJson(*entry));
  nlohmann::ordered_json document;
  document["schema"] = kJsonSchema;
  // Unsettled (the probe found nothing, none given): there is no size to state.
  const int fileFatSize = disk.heldFileFatSize();
  document["file_fat_size"] =
      fileFatSize > 0 ? nlohmann::ordered_json(fileFatSize) : nlohmann::ordered_json();
  document["announced"] = disk.getNumberOfEntries();
  // Slots that could not be read may hold recordings the list lacks (the exit code is 1 then).
  document["unreadable_slots"] = disk.getUnreadableSlots();
  document["recordings"] = std::move(recordings);
  // Texts are UTF-8 already; a stray byte must not end the run with an exception.
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace korvelo::cli
