// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-bench-gui-list IMAGE [RUNS]: the main window's recording list with every
// recording of a disk image (2000 on a full disk). Drives the real window offscreen, unless
// a platform is set, and times, each until the list's next painting is done:
//
//   search   "Erneut suchen": the list emptied, the disk read again, the list filled
//   fill     the list emptied and filled with the controller's lines, without the disk
//   sort     a click on a column heading, each column descending and then ascending
//   select   every row selected at once (the total size and description follow)
//
// and prints the median over RUNS (default 7), for the sorting that of the slowest column;
// in brackets the part until the call returned, the rest is the wait for the next frame.

#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/session_controller.h"
#include "disk/drive_table.h"
#include "gui/main_dialog.h"
#include "gui/recording_list.h"
#include "gui_wait.h"

namespace {

using namespace korvelo;
using bench::waitFor;

// Counts the paintings of the list's rows.
class PaintCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return QObject::eventFilter(watched, event);
  }
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Timing {
  double painted = -1;  // milliseconds from the action's start until the list has painted
  double returned = 0;  // until the action itself returned; the rest waits for the painting
};

Timing timeUntilPainted(const PaintCounter& paints, const std::function<void()>& action) {
  QElapsedTimer clock;
  clock.start();
  const int before = paints.count;
  action();
  Timing timing;
  timing.returned = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  if (waitFor([&] { return paints.count > before; }, 60000))
    timing.painted = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  return timing;
}

struct Timings {
  std::vector<double> painted;
  std::vector<double> returned;
  void add(const Timing& timing) {
    painted.push_back(timing.painted);
    returned.push_back(timing.returned);
  }
};

bool searchEnded(const MainDialog& window) {
  const QStringList lines = window.logLines();
  return window.isIdle() && !lines.isEmpty() && lines.last() == "Warte auf Benutzer...";
}

int noPainting() {
  std::fprintf(stderr, "korvelo-bench-gui-list: the list did not paint within a minute\n");
  return 1;
}

int measure(int runs) {
  AppState app;
  MainDialog window(app);
  window.resize(900, 700);
  window.show();
  if (!waitFor([&] { return searchEnded(window); }, 120000)) {
    std::fprintf(stderr, "korvelo-bench-gui-list: the search did not end\n");
    return 1;
  }
  RecordingList* list = window.recordingList();
  PaintCounter paints;
  list->viewport()->installEventFilter(&paints);
  std::vector<std::string> lines;
  // The disk thread is idle: its entries may be read here.
  for (const auto& entry : app.disk->getEntries())
    lines.push_back(SessionController::listLine(*entry));

  Timings search, fill, select;
  std::vector<Timings> sort(RecordingList::kColumns);
  for (int run = 0; run < runs; ++run) {
    const qsizetype logged = window.logLines().size();
    // The search runs on the disk thread: timed until it has ended and the list painted.
    search.add(timeUntilPainted(paints, [&] {
      window.searchAgain();
      waitFor([&] { return searchEnded(window); }, 120000);
    }));
    if (window.logLines().size() <= logged || !searchEnded(window) ||
        list->lineCount() != static_cast<int>(lines.size())) {
      std::fprintf(stderr, "korvelo-bench-gui-list: the search again did not list the disk\n");
      return 1;
    }
    fill.add(timeUntilPainted(paints, [&] {
      window.clearList();
      for (const std::string& line : lines) window.appendListLine(line);
    }));
    for (int column = 0; column < RecordingList::kColumns; ++column) {
      // Descending first: the list starts sorted by column 0 ascending, and a click that
      // changes nothing paints nothing.
      for (const Qt::SortOrder order : {Qt::DescendingOrder, Qt::AscendingOrder}) {
        sort[column].add(
            timeUntilPainted(paints, [&] { list->header()->setSortIndicator(column, order); }));
      }
    }
    list->header()->setSortIndicator(0, Qt::AscendingOrder);
    select.add(timeUntilPainted(paints, [&] { list->selectAll(); }));
    list->clearSelection();
  }
  for (const Timings* timings : {&search, &fill, &select})
    if (std::count(timings->painted.begin(), timings->painted.end(), -1.0) > 0) return noPainting();
  for (const Timings& timings : sort)
    if (std::count(timings.painted.begin(), timings.painted.end(), -1.0) > 0) return noPainting();
  int slowest = 0;
  for (int column = 1; column < RecordingList::kColumns; ++column)
    if (median(sort[column].painted) > median(sort[slowest].painted)) slowest = column;
  const auto print = [](const char* what, const Timings& timings) {
    std::printf("%s_ms %.1f (%.1f until the call returned)\n", what, median(timings.painted),
                median(timings.returned));
  };
  std::printf("rows %d\n", list->lineCount());
  print("search", search);
  print("fill", fill);
  print("sort", sort[slowest]);
  std::printf("   (the slowest column: %d)\n", slowest);
  print("select_all", select);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::filesystem::exists(argv[1])) {
    std::fprintf(stderr, "usage: korvelo-bench-gui-list IMAGE [RUNS]\n");
    return 2;
  }
  if (!::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string image = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  QApplication application(argc, argv);
  // Settings are neither read nor written: the state is made here, not by the program.
  DriveTable::usePaths({image});
  const int result = measure(runs);
  DriveTable::useMachineDisks();
  return result;
}
