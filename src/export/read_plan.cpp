// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/read_plan.h"

#include <algorithm>

namespace korvelo {

ReadPlan::ReadPlan(int lastHojin, bool jumping) : last_(lastHojin), jumping_(jumping) {}

ReadPlan::Move ReadPlan::next(int k) {
  if (skipLeft_ > 0) {
    --skipLeft_;
    leaveUntried(k);
    return Move::Skip;
  }
  return probing_ ? Move::Probe : Move::Read;
}

void ReadPlan::outcome(int k, Outcome outcome) {
  const bool read = outcome != Outcome::Failed;
  if (probing_ && !read) leaveUntried(k);  // one read of it failed: its sectors were not tried
  if (read && !areas_.empty() && areas_.back().run.last == k - 1) areas_.back().farEdgeOpen = true;
  if (read || !jumping_) {
    probing_ = false;
    jump_ = 0;
    return;
  }
  jump_ = jump_ == 0 ? 1 : std::min(2 * jump_, kLongestJump);
  skipLeft_ = jump_;
  probing_ = true;
}

void ReadPlan::leaveUntried(int k) {
  if (areas_.empty() || areas_.back().run.last != k - 1) areas_.push_back(Area{HojinRun{k, k}});
  areas_.back().run.last = k;
  // The end of the recording is an edge to trim from: what lies before it may read.
  if (k == last_) areas_.back().farEdgeOpen = true;
}

std::optional<int> ReadPlan::nextTrim() {
  for (const Area& area : areas_)
    if (area.farEdgeOpen) return trimming_ = area.run.last;
  return trimming_ = std::nullopt;
}

bool ReadPlan::hasTrimWork() const {
  return std::any_of(areas_.begin(), areas_.end(), [](const Area& a) { return a.farEdgeOpen; });
}

void ReadPlan::trimmed(int k, bool good) {
  if (!trimming_ || *trimming_ != k) return;  // not what nextTrim gave
  trimming_.reset();
  const auto area = std::find_if(areas_.begin(), areas_.end(),
                                 [k](const Area& a) { return a.farEdgeOpen && a.run.last == k; });
  if (area == areas_.end()) return;
  if (!good) {
    area->farEdgeOpen = false;  // the failure bounds what is left
  } else if (area->run.count() == 1) {
    areas_.erase(area);
  } else {
    --area->run.last;
  }
}

std::vector<HojinRun> ReadPlan::notTried() const {
  std::vector<HojinRun> runs;
  for (const Area& area : areas_) runs.push_back(area.run);
  return runs;
}

}  // namespace korvelo
