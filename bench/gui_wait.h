// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window benchmarks wait for the window's own event loop to reach a state.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace korvelo::bench {

// Runs the event loop until `done` holds; false when `timeoutMs` passed first.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace korvelo::bench
