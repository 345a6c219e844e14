#include "cli/progress_view.h"

#include "disk/text.h"

namespace korvelo::cli {

namespace {

std::string formatDuration(int64_t seconds) {
  if (seconds >= 3600)
    return textf("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                 static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return textf("%lld:%02lld", static_cast<long long>(seconds / 60),
               static_cast<long long>(seconds % 60));
}

std::string titleOf(const HavExportJob& job) {
  const DirectoryEntry* entry = job.getEntry();
  return entry ? latin1ToUtf8(filterPrintable(entry->getTitle())) : std::string();
}

}  // namespace

std::string formatProgressLine(const ProgressFigures& figures) {
  std::string line = textf("Aufnahme %d von %d  %3d %%  %s von %s Bytes", figures.recording,
                           figures.recordings, figures.percent,
                           formatThousands(static_cast<int64_t>(figures.bytesWritten), '.').c_str(),
                           formatThousands(static_cast<int64_t>(figures.bytesTotal), '.').c_str());
  // A rate needs a little time behind it, or the first steps show nonsense.
  if (figures.secondsElapsed >= 0.5 && figures.bytesWritten > 0) {
    const double bytesPerSecond =
        static_cast<double>(figures.bytesWritten) / figures.secondsElapsed;
    line += "  " + formatThousands(static_cast<int64_t>(bytesPerSecond / 1024), '.') + " KB/s";
    if (figures.bytesTotal > figures.bytesWritten) {
      const double left = static_cast<double>(figures.bytesTotal - figures.bytesWritten);
      line += "  noch " + formatDuration(static_cast<int64_t>(left / bytesPerSecond + 0.5));
    }
  }
  if (!figures.title.empty()) line += "  " + figures.title;
  return line;
}

ProgressView::ProgressView(const JobQueue& jobs, SessionView& session, Terminal& terminal)
    : jobs_(jobs), session_(session), terminal_(terminal) {}

void ProgressView::beginRecording(int recording, int recordings) {
  recording_ = recording;
  recordings_ = recordings;
}

void ProgressView::setReadBarRange(int /*lower*/, int upper) {
  // The driver sets the ranges on a job's first step: the clock of the rate starts here.
  readUpper_ = upper;
  jobStart_ = Clock::now();
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
  figures.bytesWritten = job.getBytesWritten();
  figures.bytesTotal = job.getExpectedSize();
  figures.secondsElapsed = std::chrono::duration<double>(Clock::now() - jobStart_).count();
  figures.title = titleOf(job);
  terminal_.showProgress(formatProgressLine(figures));
}

}  // namespace korvelo::cli
