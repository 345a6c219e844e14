// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-bench-gui: how well the window answers while its disk thread works, and how the
// log control copes with a long run. Drives the real main window (offscreen unless a platform
// is set), measuring the gaps between the ticks of a 5 ms timer on the window's thread: the
// longest gap is the longest the window leaves the user waiting.
//
//   1. (a) builds a sample disk with one fragmented recording (default 256 MiB, first argument
//      in bytes), searches it and saves the recording through the Save button's handler;
//   2. (b) "Festplatte prüfen" on a disk with all 2000 directory slots in use (the full preset);
//   3. (c) a save during which one read is stuck for 5 s (a drive whose source sleeps there);
//   4. appends 100,000 lines to the window's log control, then times single appends (each
//      followed by the event processing that paints it) at the start and after 100,000 lines.

#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
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
#include "recfs/disk_layout.h"

namespace {

using namespace korvelo;
using bench::waitFor;

constexpr int kTickMs = 5;
constexpr int kStuckMs = 5000;
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

// The image file, read as the drive is, but the first read that touches `slowSector` waits
// `stuckMs` first, as a failing disk keeps a read in the kernel.
class StuckSource : public ByteSource {
 public:
  StuckSource(std::unique_ptr<ByteSource> inner, int64_t slowSector, int stuckMs)
      : inner_(std::move(inner)), slowSector_(slowSector), stuckMs_(stuckMs) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    const int64_t first = offset / 512;
    const int64_t end = (offset + static_cast<int64_t>(buffer.size()) + 511) / 512;
    if (!stuck_ && first <= slowSector_ && slowSector_ < end) {
      stuck_ = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(stuckMs_));
    }
    return inner_->readAt(offset, buffer);
  }
  MediaInfo mediaInfo() const override { return inner_->mediaInfo(); }
  std::optional<FileIdentity> identity() const override { return inner_->identity(); }

 private:
  std::unique_ptr<ByteSource> inner_;
  int64_t slowSector_;
  int stuckMs_;
  bool stuck_ = false;
};

struct Gaps {
  std::vector<double> values;
  double seconds = 0;
  double longest() const {
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
  }
};

// Starts the work, runs the window's loop with a 5 ms timer beside it until the window is
// idle again, and returns the gaps between the timer's ticks.
std::optional<Gaps> tickWhile(MainDialog& window, const std::function<void()>& start) {
  Gaps gaps;
  QElapsedTimer clock;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(kTickMs);
  double last = -1;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (last >= 0) gaps.values.push_back(now - last);
    last = now;
  });
  clock.start();
  ticker.start();
  start();
  const bool ended = waitFor([&] { return window.isIdle(); }, 1200000);
  ticker.stop();
  gaps.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  if (!ended) return std::nullopt;
  return gaps;
}

void printGaps(const char* what, const Gaps& gaps) {
  std::printf("%s: %.2f s, %zu timer ticks of %d ms\n", what, gaps.seconds, gaps.values.size() + 1,
              kTickMs);
  std::printf(
      "  gap between ticks: median %.2f ms, 99th percentile %.2f ms, longest %.2f ms"
      "   (target: longest <= 50 ms)\n",
      percentile(gaps.values, 0.5), percentile(gaps.values, 0.99), gaps.longest());
}

bool searched(MainDialog& window) {
  return waitFor(
      [&] {
        const QStringList lines = window.logLines();
        return window.isIdle() && !lines.isEmpty() &&
               lines.last() == QStringLiteral("Warte auf Benutzer...");
      },
      600000);
}

void selectFirst(MainDialog& window) {
  RecordingList* list = window.recordingList();
  list->setCurrentItem(list->topLevelItem(0), 0,
                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// (a) a save of `bytes`.
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
  if (!searched(window)) {
    std::fprintf(stderr, "the search did not end\n");
    return 1;
  }
  selectFirst(window);
  const std::optional<Gaps> gaps = tickWhile(window, [&] { window.saveSelection(); });
  if (!gaps) {
    std::fprintf(stderr, "the save did not end\n");
    return 1;
  }
  printGaps(("(a) save of " + std::to_string(bytes) + " bytes").c_str(), *gaps);
  std::filesystem::remove(image);
  std::filesystem::remove(folder.path + "/bench.hav");
  DriveTable::useMachineDisks();
  return 0;
}

// (b) "Festplatte prüfen" on a disk with every directory slot in use.
int measureCheck(const Folder& folder) {
  const std::string image = folder.path + "/full.img";
  sample::buildDisk(sample::fullDisk(256ULL << 20), image);
  DriveTable::usePaths({image});
  AppState app;
  app.settings.pathToHAVs = folder.path;
  MainDialog window(app);
  window.show();
  if (!searched(window)) {
    std::fprintf(stderr, "the search did not end\n");
    return 1;
  }
  const std::optional<Gaps> gaps = tickWhile(window, [&] { window.checkAction()->trigger(); });
  if (!gaps || !window.logLines().filter(QStringLiteral("Befunde")).size()) {
    std::fprintf(stderr, "the check did not end\n");
    return 1;
  }
  printGaps("(b) check of 2000 recordings on 160 GB", *gaps);
  std::filesystem::remove(image);
  DriveTable::useMachineDisks();
  return 0;
}

// (c) a save of the demo's first recording whose 20th HOJIN takes 5 s to read.
int measureStuckRead(const Folder& folder) {
  const std::string image = folder.path + "/demo.img";
  sample::buildDisk(sample::demoDisk(), image);
  const int64_t slow = kFsr5000Layout.dataAreaStart(72) + kSectorsPerBlock + 3 * kSectorsPerHojin;
  DriveTable::useDrives({DriveSpec{image, {}, [image, slow] {
                                     return std::make_unique<StuckSource>(openPathSource(image),
                                                                          slow, kStuckMs);
                                   }}});
  AppState app;
  app.settings.pathToHAVs = folder.path;
  MainDialog window(app);
  FixedChooser chooser(folder.path + "/stuck.hav");
  window.setSaveAsChooser(&chooser);
  window.show();
  if (!searched(window)) {
    std::fprintf(stderr, "the search did not end\n");
    return 1;
  }
  selectFirst(window);
  const std::optional<Gaps> gaps = tickWhile(window, [&] { window.saveSelection(); });
  if (!gaps || gaps->seconds * 1000 < kStuckMs) {
    std::fprintf(stderr, "the save did not end, or no read was stuck\n");
    return 1;
  }
  printGaps("(c) save with one read stuck for 5 s", *gaps);
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
  int result = measureSaving(bytes, folder);
  result = std::max(result, measureCheck(folder));
  result = std::max(result, measureStuckRead(folder));
  measureLog();
  return result;
}
