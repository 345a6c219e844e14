// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo: the desktop window. Loads the settings (from the working directory or the
// user's configuration folder), shows the main window (which searches the drives right
// after it opened), runs until the window is closed, then writes the settings back.

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "disk/drive_table.h"
#include "disk/mapfile_source.h"
#include "gui/app_icon.h"
#include "gui/main_dialog.h"
#include "gui/quit_on_signal.h"

namespace {

// What the command line asks for: the drives (each with the mapfile that followed it),
// and the lines the window logs once it is there (mapfiles that cannot be used).
struct DriveArguments {
  std::vector<korvelo::DriveSpec> drives;
  std::vector<std::string> logLines;
  std::string misuse;  // not empty: the command line is wrong; shown, and the program ends
};

// Walks the options in the order given: each mapfile belongs to the drive before it. Images
// named without --drive (as a file manager opens one: "korvelo IMAGE") come first, so that
// "korvelo IMAGE --mapfile MAP" pairs the two.
DriveArguments pairDrivesWithMapfiles(const QStringList& images, const QStringList& names,
                                      const QStringList& drivePaths,
                                      const QStringList& mapfilePaths) {
  DriveArguments result;
  for (const QString& image : images)
    result.drives.push_back(korvelo::DriveSpec{image.toStdString(), {}, {}});
  qsizetype nextDrive = 0, nextMapfile = 0;
  for (const QString& name : names) {
    if (name == QStringLiteral("drive") && nextDrive < drivePaths.size()) {
      result.drives.push_back(korvelo::DriveSpec{drivePaths[nextDrive++].toStdString(), {}, {}});
    } else if (name == QStringLiteral("mapfile") && nextMapfile < mapfilePaths.size()) {
      const std::string path = mapfilePaths[nextMapfile++].toStdString();
      if (result.drives.empty()) {
        result.misuse =
            "--mapfile \"" + path + "\" muss hinter dem --drive stehen, zu dem sie gehört.";
        return result;
      }
      if (!result.drives.back().mapfile.empty()) {
        result.misuse = "Zu --drive \"" + result.drives.back().path + "\" gibt es zwei Mapdateien.";
        return result;
      }
      result.drives.back().mapfile = path;
      // A drive whose mapfile cannot be used stays unopenable: never read without it.
      if (const auto problem = korvelo::checkMapfile(path))
        result.logLines.push_back(korvelo::describeMapfileProblem(path, *problem));
    }
  }
  return result;
}

// "--drive PATH", repeatable: these images or devices stand for the drives 0, 1, ...
// "--mapfile MAP" after a --drive: that image's rescue mapfile.
DriveArguments driveArguments(const QCoreApplication& application) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(
      "Rettet Aufnahmen von der Festplatte eines Finepass FSR-5000 TDR oder Tevion PVR 8005 HDD."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption drive(
      QStringLiteral("drive"),
      QString::fromUtf8("Abbilddatei oder Gerät als Laufwerk 0, 1, ... (mehrfach möglich)."),
      QStringLiteral("PFAD"));
  const QCommandLineOption mapfile(
      QStringLiteral("mapfile"),
      QString::fromUtf8("Mapdatei von GNU ddrescue zum davor genannten --drive-Abbild; nur als "
                        "gerettet (\"+\") markierte Bereiche gelten als lesbar."),
      QStringLiteral("MAPDATEI"));
  // -V as korvelo-cli has it; -v stays the version as well.
  QCommandLineOption versionAsCli(QStringLiteral("V"), QString::fromUtf8("Versionsnummer zeigen."));
  versionAsCli.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(drive);
  parser.addOption(mapfile);
  parser.addOption(versionAsCli);
  parser.addPositionalArgument(
      QStringLiteral("ABBILD"),
      QString::fromUtf8("Abbilddatei oder Gerät, wie mit --drive (vor den --drive-Angaben)."),
      QStringLiteral("[ABBILD...]"));
  parser.process(application);
  if (parser.isSet(versionAsCli)) parser.showVersion();
  return pairDrivesWithMapfiles(parser.positionalArguments(), parser.optionNames(),
                                parser.values(drive), parser.values(mapfile));
}

bool hasDisplay() {
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
         !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Qt's own dialogs (the file dialog, context menus) in the user's language where Qt has
// it, else in German like the rest of the program.
bool loadQtTranslations(QTranslator& translator) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  return translator.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         folder) ||
         translator.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                         folder);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication::setApplicationName(QString::fromUtf8(korvelo::kWindowProgramName));
  QCoreApplication::setApplicationVersion(QString::fromStdString(korvelo::kVersion));
  QTranslator qtTexts;
  const bool translated = loadQtTranslations(qtTexts);
  DriveArguments arguments;
  {
    // The command line is read before the window system is touched, so that --help and
    // --version answer (and a wrong call is told) without a display.
    QCoreApplication commandLine(argc, argv);
    if (translated) QCoreApplication::installTranslator(&qtTexts);
    arguments = driveArguments(commandLine);
  }
  if (!arguments.misuse.empty()) {
    std::fprintf(stderr, "korvelo: %s\n", arguments.misuse.c_str());
    return 2;
  }
  if (!hasDisplay()) {
    std::fprintf(stderr,
                 "korvelo: Keine grafische Anzeige gefunden (weder DISPLAY noch WAYLAND_DISPLAY "
                 "ist gesetzt). Ohne Fenster hilft korvelo-cli.\n");
    return 1;
  }
  QApplication application(argc, argv);
  // No display name: the platform would append it to every title, and the main window's
  // title names the program already. The desktop file name is the id of the installed
  // desktop entry, so that the desktop finds its icon for the window.
  QApplication::setWindowIcon(korvelo::appIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.korvelo"));
  if (translated) QCoreApplication::installTranslator(&qtTexts);

  if (!arguments.drives.empty()) korvelo::DriveTable::useDrives(arguments.drives);

  korvelo::AppState state;
  state.loadSettingsFrom(
      korvelo::userSettingsBasePath(argv[0], std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
  {
    korvelo::MainDialog window(state);
    // A signal stops the work in hand (a save keeps its file); finishWork below waits for it.
    const korvelo::QuitOnSignal quitOnSignal([&window] { window.stopSaving(); });
    for (const std::string& line : arguments.logLines) state.log.append(line);
    // "Schließen", Escape, the close box and "&Beenden" all end here.
    QObject::connect(&window, &QDialog::finished, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    QApplication::exec();
    // The disk thread ends first (after the read in progress): from then on the state is
    // this thread's again. Settings written and the disk released while the window (the
    // log's sink) still exists.
    window.finishWork();
    state.shutdown();
  }
  return 0;
}
