#pragma once
// SIGINT, SIGTERM and SIGHUP (a terminal's Ctrl+C, the session ending) end the event
// loop like "Beenden", so the settings are still written on the way out.

#include <QObject>

class QSocketNotifier;

namespace korvelo {

class QuitOnSignal : public QObject {
  Q_OBJECT

 public:
  explicit QuitOnSignal(QObject* parent = nullptr);
  ~QuitOnSignal() override;

 private:
  void onSignalled();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace korvelo
