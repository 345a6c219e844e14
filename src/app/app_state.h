// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What lives for the whole run: the settings, the recorder disk, the job queue, the
// log and the save driver. Released in this order at the end: settings written,
// store, then the driver and the queue, then the disk the jobs were reading from.

#include <cstdint>
#include <memory>
#include <string>

#include "app/log.h"
#include "app/settings.h"
#include "app/settings_store.h"
#include "export/save_driver.h"
#include "recfs/fsr5000_disk.h"

namespace korvelo {

inline constexpr const char* kVersion = "1.30";

class AppState {
 public:
  AppState();
  ~AppState();  // shutdown(), if not done yet
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  // Loads the settings file "<basePath>.INI" (basePath: the executable's name made a
  // full path against the working directory). Without a store, settings keep defaults.
  void loadSettingsFrom(const std::string& basePath);
  // Writes the settings back (a file that cannot be written is not reported, except
  // when it is refused as a symbolic link that is not the user's own: one log line), then
  // releases the store, the queue and the disk. Jobs still queued are not finished;
  // their files keep what was written. Runs once; later calls do nothing.
  void shutdown();

  // The save driver, made once the front end provides its view; a second call
  // replaces it (the queue stays).
  SaveDriver& makeSaveDriver(SaveDriverView& view);
  SaveDriver* saveDriver() { return driver.get(); }
  // The options as they stand now: the driver asks at every step.
  SaveOptions saveOptions() const;

  std::string version = kVersion;
  Settings settings;
  std::unique_ptr<SettingsStore> store;
  std::unique_ptr<Fsr5000Disk> disk;
  // The jobs waiting or being copied. Only the export workflow queues and removes them;
  // everyone else may look.
  const JobQueue& queuedJobs() const { return jobs_; }
  uint64_t totalSize = 0;
  int hojinsPerStep = 4;  // 4 HOJINs of 65 sectors: 130 KiB per idle step
  Log log;

 private:
  friend class ExportWorkflow;

  JobQueue jobs_;
  std::unique_ptr<SaveDriver> driver;
  bool shutDown_ = false;
};

// The settings base path for an executable: its name without path and extension,
// made a full path against the current working directory ("korvelo" gives "<cwd>/korvelo").
std::string settingsBasePath(const std::string& argv0);

// Where the window keeps its settings: a settings file in the working directory is
// used there (a portable setup), else "<config>/korvelo/<name>" in the user's
// configuration folder (configHome when it is an absolute path, else "<home>/.config"),
// that folder made when missing. Without either, the working directory as before.
std::string userSettingsBasePath(const std::string& argv0, const char* configHome,
                                 const char* home);

}  // namespace korvelo
