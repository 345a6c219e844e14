// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-bench-gui: how well the window answers while it saves, and how the log control
// copes with a long run. Drives the real main window (offscreen unless a platform is set):
//
//   1. builds a sample disk with one fragmented recording (default 256 MiB, first argument
//      in bytes), searches it, saves the recording through the Save button's handler and
//      measures the gaps between the ticks of a 5 ms timer running beside the save driver's
//      step timer: the longest gap is the longest the window leaves the user waiting;
//   2. appends 100,000 lines to the window's log control, then times single appends (each
//      followed by the event processing that paints it) at the start and after 100,000 lines.

#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "disk/drive_table.h"
#include "diskbuilder/disk_builder.h"
#include "diskbuilder/presets.h"
#include "export/save_as_chooser.h"
#include "gui/log_view.h"
#include "gui/main_dialog.h"
#include "gui/recording_list.h"
#include "gui_wait.h"

namespace {

using namespace korvelo;
using bench::waitFor;

constexpr int kTickMs = 5;
constexpr int kLogLines = 100000;
constexpr int kTimedAppends = 200;

class FixedChooser : public SaveAsChooser {
 public:
  explicit FixedChooser(std::string path) : path_(std::move(path)) {}
  SaveAsAnswer chooseSaveAs(const SaveAsRequest&) override {
    return SaveAsAnswer{SaveAsAnswer::Kind::Chosen, path_, 0};
  }

 private:
  std::string path_;
};

struct Folder {
  std::string path;
  Folder() {
    std::string pattern = std::filesystem::temp_directory_path() / "korvelo-gui-bench.XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

int measureSaving(uint64_t bytes, const Folder& folder) {
  const std::string image = folder.path + "/bench.img";
  sample::buildDisk(sample::benchDisk(bytes), image);
  DriveTable::usePaths({image});
  AppState app;
  app.settings.pathToHAVs = folder.path;
  MainDialog window(app);
  FixedChooser chooser(folder.path + "/bench.hav");
  window.setSaveAsChooser(&chooser);
  window.show();
  if (!waitFor(
          [&] {
            return !app.log.lines().empty() && app.log.lines().back() == "Warte auf Benutzer...";
          },
          120000)) {
    std::fprintf(stderr, "the search did not end\n");
    return 1;
  }
  RecordingList* list = window.recordingList();
  list->setCurrentItem(list->topLevelItem(0), 0,
                       QItemSelectionModel::Select | QItemSelectionModel::Rows);

  std::vector<double> gaps;
  QElapsedTimer clock;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(kTickMs);
  double last = -1;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (last >= 0) gaps.push_back(now - last);
    last = now;
  });
  clock.start();
  ticker.start();
  window.saveSelection();
  const bool ended =
      waitFor([&] { return app.queuedJobs().empty() && !window.isSaveStepPending(); }, 600000);
  ticker.stop();
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  if (!ended) {
    std::fprintf(stderr, "the save did not end\n");
    return 1;
  }
  std::printf("save of %llu bytes: %.2f s, %zu timer ticks of %d ms\n",
              static_cast<unsigned long long>(bytes), seconds, gaps.size() + 1, kTickMs);
  std::printf(
      "  gap between ticks: median %.2f ms, 99th percentile %.2f ms, longest %.2f ms"
      "   (target: longest < 50 ms)\n",
      percentile(gaps, 0.5), percentile(gaps, 0.99),
      gaps.empty() ? 0.0 : *std::max_element(gaps.begin(), gaps.end()));
  DriveTable::useMachineDisks();
  return 0;
}

// Microseconds per append of one line, with the painting it causes.
double timeAppends(LogView& log, int count, int firstNumber) {
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < count; ++i) {
    const std::string line = "Zeile " + std::to_string(firstNumber + i) + " des Protokolls\r\n";
    log.appendPiece(line);
    QCoreApplication::processEvents();
  }
  return static_cast<double>(clock.nsecsElapsed()) / 1e3 / count;
}

void measureLog() {
  LogView log;
  log.resize(600, 300);
  log.show();
  QCoreApplication::processEvents();
  const double early = timeAppends(log, kTimedAppends, 0);
  QElapsedTimer clock;
  clock.start();
  for (int i = kTimedAppends; i < kLogLines; ++i) {
    log.appendPiece("Zeile " + std::to_string(i) + " des Protokolls\r\n");
    if (i % 1000 == 0) QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
  const double fillSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  const double late = timeAppends(log, kTimedAppends, kLogLines);
  std::printf(
      "log: %d lines appended in %.2f s; one line with its painting: %.0f us at the "
      "start, %.0f us after %d lines (ratio %.2f)\n",
      kLogLines, fillSeconds, early, late, kLogLines, late / early);
}

}  // namespace

int main(int argc, char** argv) {
  if (!::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const uint64_t bytes = argc > 1 ? std::stoull(argv[1]) : (256ULL << 20);
  QApplication application(argc, argv);
  // Settings are neither read nor written: the state is made here, not by the program.
  Folder folder;
  const int result = measureSaving(bytes, folder);
  measureLog();
  return result;
}
