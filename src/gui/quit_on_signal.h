// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGINT, SIGTERM and SIGHUP (a terminal's Ctrl+C, the session ending) end the event
// loop like "Beenden", so the settings are still written on the way out; a running save
// is first asked to stop (its file kept for resuming).

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace korvelo {

class QuitOnSignal : public QObject {
  Q_OBJECT

 public:
  explicit QuitOnSignal(std::function<void()> beforeQuit = {}, QObject* parent = nullptr);
  ~QuitOnSignal() override;

 private:
  void onSignalled();

  QSocketNotifier* notifier_ = nullptr;
  std::function<void()> beforeQuit_;
};

}  // namespace korvelo
