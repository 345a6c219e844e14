// SPDX-License-Identifier: GPL-3.0-or-later
// The log of a window save on the demo disk, line for line: the disk work runs on a thread of
// its own, and this is what shows that moving it there changed no text and no order. The lines
// were taken from the window as it was before (one thread); only the closing summary is new.
// What changes from run to run (the folder, the free space, the read rate) is masked.

#include <QRegularExpression>
#include <QTest>
#include <memory>

#include "disk/drive_table.h"
#include "gui/main_dialog.h"
#include "gui/recording_list.h"
#include "gui_test_support.h"

using namespace korvelo;
using namespace korvelo::guitest;

namespace {

// The lines with what varies between runs replaced by a fixed word.
QStringList masked(const QStringList& lines, const std::string& folder) {
  QStringList result;
  for (QString line : lines) {
    line.replace(QString::fromStdString(folder), QStringLiteral("ORDNER"));
    line.replace(QRegularExpression(QStringLiteral("Festplatte: [0-9.]+ Bytes$")),
                 QStringLiteral("Festplatte: N Bytes"));
    line.replace(QRegularExpression(QStringLiteral("ca\\. [0-9.]+ KB/s$")),
                 QStringLiteral("ca. N KB/s"));
    line.replace(QRegularExpression(QStringLiteral(" in [0-9]+:[0-9]{2}$")),
                 QStringLiteral(" in M:SS"));
    result << line;
  }
  return result;
}

}  // namespace

class WindowLogTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { DriveTable::useMachineDisks(); }

  void saveLogsTheSameLinesInTheSameOrder() {
    DriveTable::usePaths({demoImage().path});
    AppState app;
    const std::string folder = freshFolder();
    useTestSettings(app, folder);
    ScriptedChooser chooser;
    chooser.chooseNext(folder + "/news.hav");
    chooser.chooseNext(folder + "/film.hav");
    MainDialog window(app);
    window.setSaveAsChooser(&chooser);
    window.show();
    QVERIFY(waitForSearch(window));
    RecordingList* list = window.recordingList();
    for (const int row : {1, 2})
      list->setCurrentItem(list->topLevelItem(row), 0,
                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.saveSelection();
    QVERIFY(waitForSaveEnd(window));
    const QStringList lines = masked(logLines(window), folder);
    const QStringList expected = QString::fromUtf8(kExpected).split(QLatin1Char('\n'));
    QVERIFY2(lines == expected, qPrintable(lines.join(QLatin1Char('\n'))));
  }

 private:
  static constexpr const char* kExpected = R"(Programm V1.30 initialisiert.
Suche FSR-Festplatte ...
 Untersuche Festplatte 0 ...  Signatur stimmt! -   "file_system.sys"-Sektor vorhanden.
Lese HAV-Verzeichnis...
Extrahiere Filmverzeichnis...
  Geschätzter "File-FAT-Size"-Wert: 72 -- Automatisch ermittelter "File-FAT-Size": 72
Überprüfung bestätigt 72 als "File-FAT-Size"-Wert (100%).
Warte auf Benutzer...
Eintrag 1 "Tagesschau" ausgewählt.
Freier Speicherplatz auf der Festplatte: N Bytes
Größe der Zieldatei 500.824 Bytes.
Eintrag 2 "Der große Bluff" ausgewählt.
Freier Speicherplatz auf der Festplatte: N Bytes
Größe der Zieldatei 1.332.824 Bytes.
Schreibe in "ORDNER/news.hav"
Speichern abgeschlossen.
Lesen der unfragmentierten Aufzeichnung abgeschlossen. Leserate: ca. N KB/s
SHA-256 von "news.hav": d015f0fb0f5eabfe076509e1c2b8582a7773e38db678e8ba930d1587d75a2cb9
Schreibe in "ORDNER/film.hav"
Speichern abgeschlossen.
Lesen der fragmentierten Aufzeichnung abgeschlossen. Leserate: ca. N KB/s
SHA-256 von "film.hav": f047c17d163d44caf1f637fcdcf1c853b3a136ece2875ea68eb2da78f3b2c92f
2 Aufnahmen gespeichert, 0 beschädigt, 0 übersprungen, 1,8 MB in M:SS)";
};

QTEST_MAIN(WindowLogTest)
#include "window_log_test.moc"
