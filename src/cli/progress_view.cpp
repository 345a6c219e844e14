// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_view.h"

#include <algorithm>
#include <vector>

#include "app/export_summary.h"
#include "disk/text.h"

namespace korvelo::cli {

namespace {

std::string titleOf(const HavExportJob& job) {
  const DirectoryEntry* entry = job.getEntry();
  return entry ? latin1ToUtf8(filterPrintable(entry->getTitle())) : std::string();
}

}  // namespace

std::string formatProgressLine(const ProgressFigures& figures, int columns) {
  std::vector<std::string> fields{
      textf("Aufnahme %d von %d", figures.recording, figures.recordings),
      textf("%d %%", figures.percent)};
  // A rate needs a little time behind it, or the first steps show nonsense.
  if (figures.secondsElapsed >= 0.5 && figures.bytesReadNow > 0) {
    const double bytesPerSecond =
        static_cast<double>(figures.bytesReadNow) / figures.secondsElapsed;
    fields.push_back(siSize(static_cast<uint64_t>(bytesPerSecond)) + "/s");
    if (figures.allTotal > figures.allWritten) {
      const double left = static_cast<double>(figures.allTotal - figures.allWritten);
      fields.push_back("noch " + clockText(static_cast<int64_t>(left / bytesPerSecond + 0.5)));
    }
  }
  fields.push_back("gesamt " + siSize(figures.allWritten) + " von " + siSize(figures.allTotal));
  if (!figures.title.empty()) fields.push_back(figures.title);

  constexpr std::string_view kGap = "  ";
  std::string line = fitToColumns(fields.front(), columns);
  int used = utf8Columns(line);
  for (size_t i = 1; i < fields.size(); ++i) {
    const int width = static_cast<int>(kGap.size()) + utf8Columns(fields[i]);
    if (used + width > columns) break;
    line.append(kGap).append(fields[i]);
    used += width;
  }
  return line;
}

ProgressView::ProgressView(const JobQueue& jobs, SessionView& session, Terminal& terminal)
    : jobs_(jobs), session_(session), terminal_(terminal) {}

void ProgressView::beginRecording(int recording, int recordings, uint64_t bytesBefore,
                                  uint64_t bytesAll) {
  recording_ = recording;
  recordings_ = recordings;
  bytesBefore_ = bytesBefore;
  bytesAll_ = bytesAll;
}

void ProgressView::setReadBarRange(int /*lower*/, int upper) {
  // The driver sets the ranges on a job's first step: the clock of the rate starts here.
  readUpper_ = upper;
  jobStart_ = Clock::now();
  // A resumed file's kept bytes are already there: the rate counts what this run reads.
  bytesKept_ = jobs_.empty() ? 0 : jobs_.front()->getBytesWritten();
}

void ProgressView::setWriteBarRange(int /*lower*/, int upper) {
  writeUpper_ = upper;
}

void ProgressView::setWriteBarPosition(int position) {
  writePosition_ = position;
  if (jobs_.empty()) return;
  const HavExportJob& job = *jobs_.front();
  if (job.isFinished()) {
    // Both bars drop to 0 before the finished job leaves: the line has done its work.
    terminal_.clearProgress();
    return;
  }
  ProgressFigures figures;
  figures.recording = recording_;
  figures.recordings = recordings_;
  figures.percent = job.getPercentWritten();
  const uint64_t written = job.getBytesWritten();
  figures.allWritten = bytesBefore_ + written;
  figures.allTotal = std::max(bytesAll_, figures.allWritten);
  figures.bytesReadNow = written > bytesKept_ ? written - bytesKept_ : 0;
  figures.secondsElapsed = std::chrono::duration<double>(Clock::now() - jobStart_).count();
  figures.title = titleOf(job);
  terminal_.showProgress(formatProgressLine(figures, terminal_.columns() - 1));
}

}  // namespace korvelo::cli
