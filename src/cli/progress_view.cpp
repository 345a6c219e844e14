// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_view.h"

#include <algorithm>
#include <vector>

#include "app/export_summary.h"
#include "disk/text.h"

namespace korvelo::cli {

std::string formatProgressLine(const ExportProgress& progress, int columns) {
  std::vector<std::string> fields{
      textf("Aufnahme %d von %d", progress.recording, progress.recordings),
      textf("%d %%", progress.percent())};
  if (const std::optional<double> rate = progress.bytesPerSecond()) {
    fields.push_back(siSize(static_cast<uint64_t>(*rate)) + "/s");
    if (progress.allTotal > progress.allWritten)
      fields.push_back("noch " + clockText(progress.secondsLeft().value_or(0)));
  }
  fields.push_back("gesamt " + siSize(static_cast<uint64_t>(progress.allWritten)) + " von " +
                   siSize(static_cast<uint64_t>(progress.allTotal)));
  if (!progress.title.empty()) fields.push_back(progress.title);

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

ProgressView::ProgressView(SessionView& session, Terminal& terminal)
    : session_(session), terminal_(terminal) {}

void ProgressView::show(const ExportProgress& progress) {
  terminal_.showProgress(formatProgressLine(progress, terminal_.columns() - 1));
}

}  // namespace korvelo::cli
