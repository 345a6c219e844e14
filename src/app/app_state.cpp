// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_state.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <system_error>

#include "app/workflow_support.h"

namespace korvelo {

AppState::AppState() {
  settings.pathToHAVs = defaultHavFolder();
}

AppState::~AppState() {
  shutdown();
}

void AppState::loadSettingsFrom(const std::string& basePath) {
  if (!store) store = std::make_unique<SettingsStore>(basePath);
  // Written back at the end, so no file of a run may be it.
  setSettingsFileOfRun(store->fileName());
  loadSettings(*store, settings);
  if (!store->loadProblem().empty()) log.append(store->loadProblem(), Severity::Error);
}

void AppState::shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (store && !saveSettings(*store, settings) && !store->saveProblem().empty())
    log.append(store->saveProblem(), Severity::Error);
  store.reset();  // flushes once more: the same lines, written again
  setSettingsFileOfRun({});
  // The jobs refer to the disk and its entries, so the queue is emptied before the
  // disk is closed. The driver stays: front ends may still hold it, and with an empty
  // queue a step does nothing.
  jobs_.clear();
  disk.reset();
}

SaveDriver& AppState::makeSaveDriver(SaveDriverView& view) {
  driver = std::make_unique<SaveDriver>(jobs_, view, log, [this] { return saveOptions(); });
  return *driver;
}

SaveOptions AppState::saveOptions() const {
  SaveOptions options;
  options.millisecondsPause = settings.millisecondsPause;
  options.suppressWarnings = settings.suppressWarnings;
  options.useRecordDate = settings.useRecordDate;
  return options;
}

std::string settingsBasePath(const std::string& argv0) {
  const size_t slash = argv0.rfind('/');
  std::string name = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  if (name.empty()) name = "korvelo";
  char folder[PATH_MAX];
  if (::getcwd(folder, sizeof folder) == nullptr) return name;
  const std::string base(folder);
  return base.ends_with('/') ? base + name : base + "/" + name;
}

std::string userSettingsBasePath(const std::string& argv0, const char* configHome,
                                 const char* home) {
  const std::string local = settingsBasePath(argv0);
  std::error_code error;
  if (std::filesystem::exists(settingsFileNameFor(local), error)) return local;
  std::filesystem::path folder;
  if (configHome != nullptr && configHome[0] == '/')
    folder = configHome;
  else if (home != nullptr && home[0] == '/')
    folder = std::filesystem::path(home) / ".config";
  else
    return local;
  folder /= "korvelo";
  std::filesystem::create_directories(folder, error);
  if (error) return local;  // nowhere to keep them there: the working directory still works
  return (folder / std::filesystem::path(local).filename()).string();
}

}  // namespace korvelo
