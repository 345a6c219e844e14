// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui_test_support.h"

#include <QTest>
#include <algorithm>
#include <memory>

#include "diskbuilder/entry_image.h"
#include "gui/main_dialog.h"
#include "support/file_util.h"
#include "support/sample_recordings.h"
#include "support/temp_dir.h"

namespace korvelo::guitest {

namespace {

constexpr int kSearchTimeoutMs = 120000;
constexpr int kSaveTimeoutMs = 120000;

test::TempDir& programFolder() {
  static test::TempDir folder;
  return folder;
}

}  // namespace

const DemoImage& demoImage() {
  static const DemoImage image = [] {
    DemoImage made{sample::demoDisk(), programFolder().file("demo.img")};
    sample::buildDisk(made.disk, made.path);
    return made;
  }();
  return image;
}

const std::string& blankImage() {
  static const std::string path = [] {
    const std::string made = programFolder().file("blank.img");
    test::writeFileBytes(made, std::vector<uint8_t>(1 << 20, 0));
    return made;
  }();
  return path;
}

std::string freshFolder() {
  static std::vector<std::unique_ptr<test::TempDir>> folders;
  folders.push_back(std::make_unique<test::TempDir>());
  return folders.back()->path();
}

QStringList logLines(const MainDialog& window) {
  return window.logLines();
}

bool logHasLine(const MainDialog& window, const QString& line) {
  return logLines(window).contains(line);
}

bool logHasLineStartingWith(const MainDialog& window, const QString& start) {
  for (const QString& line : logLines(window)) {
    if (line.startsWith(start)) return true;
  }
  return false;
}

void useTestSettings(AppState& app, const std::string& folder) {
  app.settings = Settings{};
  app.settings.pathToHAVs = folder;
}

bool waitForSearch(const MainDialog& window) {
  return QTest::qWaitFor(
      [&window] {
        const QStringList lines = logLines(window);
        return window.isIdle() && !lines.isEmpty() &&
               lines.last() == QStringLiteral("Warte auf Benutzer...");
      },
      kSearchTimeoutMs);
}

bool waitForSaveEnd(const MainDialog& window) {
  return QTest::qWaitFor([&] { return window.isIdle(); }, kSaveTimeoutMs);
}

bool waitForIdle(const MainDialog& window) {
  return QTest::qWaitFor([&] { return window.isIdle(); }, kSaveTimeoutMs);
}

std::vector<uint8_t> expectedHavFile(const DemoImage& image, const sample::Recording& recording) {
  std::vector<uint8_t> file = test::handMadeHead(recording);
  const std::vector<uint8_t> entry = sample::entryImage(recording);
  file.insert(file.end(), entry.begin(), entry.end());
  const std::vector<uint8_t> data =
      sample::readRecordingFromImage(image.path, image.disk, recording);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

QString fileDifference(const std::string& path, const std::vector<uint8_t>& expected) {
  const std::vector<uint8_t> actual = test::readFileBytes(path);
  const size_t common = std::min(actual.size(), expected.size());
  for (size_t i = 0; i < common; ++i) {
    if (actual[i] != expected[i]) {
      return QStringLiteral("%1: byte %2 is %3, expected %4")
          .arg(QString::fromStdString(path))
          .arg(i)
          .arg(actual[i])
          .arg(expected[i]);
    }
  }
  if (actual.size() != expected.size()) {
    return QStringLiteral("%1: %2 bytes, expected %3")
        .arg(QString::fromStdString(path))
        .arg(actual.size())
        .arg(expected.size());
  }
  return {};
}

}  // namespace korvelo::guitest
