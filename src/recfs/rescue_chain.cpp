// SPDX-License-Identifier: GPL-3.0-or-later
// Chaining the blocks that the head scan found into recordings. A recording's blocks
// ascend on the disk, so from each start the next block is looked for only further on,
// and the nearest free one with the next internal number is taken. Whether another
// free block would have fitted is judged after all chains are built: a block that some
// later chain took was no real alternative.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <optional>

#include "recfs/disk_layout.h"
#include "recfs/rescue_scan.h"

namespace korvelo {
namespace {

struct Step {
  uint32_t wanted;     // the internal number looked for
  int64_t afterBlock;  // looked for beyond this block
};

struct Chain {
  std::vector<size_t> members;  // indices into the blocks, in recording order
  std::vector<Step> steps;
};

class Chainer {
 public:
  explicit Chainer(const std::vector<HeadBlock>& blocks)
      : blocks_(blocks), claimed_(blocks.size(), false) {
    for (size_t i = 0; i < blocks.size(); ++i) byNumber_[blocks[i].firstNumber].push_back(i);
  }

  Chain follow(size_t start) {
    Chain chain;
    claimed_[start] = true;
    chain.members.push_back(start);
    for (size_t current = start; blocks_[current].extent == kHojinsPerBlock;) {
      const uint32_t wanted = blocks_[current].firstNumber + kHojinsPerBlock;
      if (wanted < blocks_[current].firstNumber) break;  // the numbers ran out
      const int64_t after = blocks_[current].block;
      const std::optional<size_t> next = nearestFree(wanted, after);
      if (!next) break;
      chain.steps.push_back(Step{wanted, after});
      claimed_[*next] = true;
      chain.members.push_back(*next);
      current = *next;
    }
    return chain;
  }

  // Free blocks with the number beyond `after` other than the one taken.
  int freeAlternatives(const Step& step) const {
    int count = 0;
    for (size_t index : indicesOf(step.wanted))
      if (blocks_[index].block > step.afterBlock && !claimed_[index]) ++count;
    return count;
  }

  // A free block beyond the chain's last one that carries a later number of the same
  // run (one or more blocks further on) than the one that was not found.
  bool continuationExists(const HeadBlock& last) const {
    const uint64_t missing = uint64_t{last.firstNumber} + kHojinsPerBlock;
    for (auto it =
             byNumber_.upper_bound(static_cast<uint32_t>(std::min<uint64_t>(missing, UINT32_MAX)));
         it != byNumber_.end(); ++it) {
      if (it->first <= missing) continue;
      for (size_t index : it->second)
        if (!claimed_[index] && blocks_[index].block > last.block) return true;
    }
    return false;
  }

  int64_t unclaimed() const {
    int64_t count = 0;
    for (bool taken : claimed_) count += taken ? 0 : 1;
    return count;
  }
  bool isClaimed(size_t index) const { return claimed_[index]; }

 private:
  const std::vector<size_t>& indicesOf(uint32_t number) const {
    static const std::vector<size_t> kNone;
    const auto found = byNumber_.find(number);
    return found == byNumber_.end() ? kNone : found->second;
  }

  std::optional<size_t> nearestFree(uint32_t wanted, int64_t after) const {
    for (size_t index : indicesOf(wanted))  // ascending by block
      if (blocks_[index].block > after && !claimed_[index]) return index;
    return std::nullopt;
  }

  const std::vector<HeadBlock>& blocks_;
  std::vector<bool> claimed_;
  std::map<uint32_t, std::vector<size_t>> byNumber_;
};

RescuedRecording describeChain(const Chain& chain, const std::vector<HeadBlock>& blocks,
                               const Chainer& chainer, int64_t dataAreaStart) {
  RescuedRecording recording;
  recording.method = RescueMethod::HojinHeads;
  recording.dataAreaStart = dataAreaStart;
  recording.startMarked = true;
  for (size_t index : chain.members) {
    recording.blocks.push_back(blocks[index].block);
    recording.damagedHeads += blocks[index].damagedHeads;
  }
  const HeadBlock& last = blocks[chain.members.back()];
  const int64_t hojins =
      int64_t{kHojinsPerBlock} * (static_cast<int64_t>(chain.members.size()) - 1) + last.extent;
  recording.hojins = static_cast<int>(std::min<int64_t>(hojins, INT32_MAX));
  recording.endsOnBlockBoundary = last.extent == kHojinsPerBlock;
  for (const Step& step : chain.steps)
    if (chainer.freeAlternatives(step) > 0) ++recording.ambiguousChoices;
  recording.continuationFound = recording.endsOnBlockBoundary && chainer.continuationExists(last);
  return recording;
}

}  // namespace

ChainResult chainHeadBlocks(const std::vector<HeadBlock>& blocks, int64_t dataAreaStart) {
  Chainer chainer(blocks);
  std::vector<Chain> chains;
  for (size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].recordingStart && !chainer.isClaimed(i)) chains.push_back(chainer.follow(i));

  ChainResult result;
  for (const Chain& chain : chains) {
    RescuedRecording recording = describeChain(chain, blocks, chainer, dataAreaStart);
    recording.id = static_cast<int>(result.recordings.size()) + 1;
    result.recordings.push_back(std::move(recording));
  }
  result.orphanBlocks = chainer.unclaimed();
  return result;
}

}  // namespace korvelo
