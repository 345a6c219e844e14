// korvelo: the desktop window. Loads the settings from the working directory, shows the
// main window (which searches the drives right after it opened), runs until the window
// is closed, then writes the settings back.

#include <QApplication>
#include <QCommandLineParser>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "disk/drive_table.h"
#include "gui/app_icon.h"
#include "gui/main_dialog.h"
#include "gui/quit_on_signal.h"

namespace {

// "--drive PATH", repeatable: these images or devices stand for the drives 0, 1, ...
std::vector<std::string> drivePaths(const QApplication& application) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(
      "Rettet Aufnahmen von der Festplatte eines Finepass FSR-5000 TDR oder Tevion PVR 8005 HDD."));
  parser.addHelpOption();
  const QCommandLineOption drive(
      QStringLiteral("drive"),
      QString::fromUtf8("Abbilddatei oder Gerät als Laufwerk 0, 1, ... (mehrfach möglich)."),
      QStringLiteral("PFAD"));
  parser.addOption(drive);
  parser.process(application);
  std::vector<std::string> paths;
  for (const QString& path : parser.values(drive)) paths.push_back(path.toStdString());
  return paths;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("korvelo"));
  QApplication::setApplicationDisplayName(QStringLiteral("Korvelo"));
  QApplication::setWindowIcon(korvelo::appIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("korvelo"));

  const std::vector<std::string> paths = drivePaths(application);
  if (!paths.empty()) korvelo::DriveTable::usePaths(paths);

  korvelo::QuitOnSignal quitOnSignal;
  korvelo::AppState state;
  state.loadSettingsFrom(korvelo::settingsBasePath(argv[0]));
  {
    korvelo::MainDialog window(state);
    // "Schließen", Escape, the close box and "&Beenden" all end here.
    QObject::connect(&window, &QDialog::finished, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    QApplication::exec();
    // Settings written and the disk released while the window (the log's sink) still exists.
    state.shutdown();
  }
  return 0;
}
