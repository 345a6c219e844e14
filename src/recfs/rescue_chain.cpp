// SPDX-License-Identifier: GPL-3.0-or-later
// Chaining the blocks that the head scan found into recordings. A recording's blocks
// ascend on the disk, so from each start the next block is looked for only further on,
// and the nearest free one with the next internal number is taken.
//
// Whether a link is certain is judged over all blocks at once, number by number: the
// full blocks carrying number n (of any recording, started or not) may each be
// continued by one later block carrying n + 16. Of all ways to pair them, those that
// continue as many blocks as possible are the ones the heads allow (a full block ends
// its recording only when no later block is left for it). A link is certain when every
// such way pairs the chain's block with the same next one and none lets it end there.
//
// For blocks in disk order, with D(x) = (blocks carrying n + 16) - (full blocks
// carrying n) among the first x + 1 of them and T = max(0, max D), a full block at
// position i can be continued by the later block at position j in some such way exactly
// when D stays below T on positions i ... j - 1, and it can end its recording exactly
// when D stays below T from i to the end. So the candidates of a block are the blocks
// with the next number before D first reaches T.

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <optional>

#include "recfs/disk_layout.h"
#include "recfs/rescue_scan.h"

namespace korvelo {
namespace {

// Alternatives named per link; more are only counted as "and more".
constexpr size_t kNamedAlternatives = 4;

struct Chain {
  std::vector<size_t> members;  // indices into the blocks, in recording order
};

// The blocks that can follow one block, nearest first: kNamedAlternatives + 1 at most, held
// in place, so that judging a block costs the same few bytes however many could follow it.
class Candidates {
 public:
  void push_back(size_t index) { items_[count_++] = static_cast<uint32_t>(index); }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  size_t front() const { return items_[0]; }
  const uint32_t* begin() const { return items_.data(); }
  const uint32_t* end() const { return items_.data() + count_; }

 private:
  std::array<uint32_t, kNamedAlternatives + 1> items_{};
  uint8_t count_ = 0;
};

// What may follow a full block (or one that may be full), judged over all blocks.
struct Continuations {
  Candidates next;
  bool canEnd = false;  // its recording can end with it
  bool judged = false;  // it may be full and was judged; the fields above are its verdict
};

// The verdicts by block index (every block has a place; only those judged count).
using Judgement = std::vector<Continuations>;

bool mayBeFull(const HeadBlock& block) {
  return block.extent == kHojinsPerBlock || block.mayContinue;
}

// The candidates of every predecessor among `predecessors` (ascending by block) for the
// successors (ascending by block).
void judgeLevel(const std::vector<HeadBlock>& blocks, const std::vector<size_t>& predecessors,
                const std::vector<size_t>& successors, Judgement& judged) {
  struct Item {
    size_t index;
    bool successor;
  };
  std::vector<Item> items;
  items.reserve(predecessors.size() + successors.size());
  size_t p = 0, s = 0;
  while (p < predecessors.size() || s < successors.size()) {
    const bool takeSuccessor =
        p == predecessors.size() ||
        (s < successors.size() && blocks[successors[s]].block < blocks[predecessors[p]].block);
    items.push_back(takeSuccessor ? Item{successors[s++], true} : Item{predecessors[p++], false});
  }
  const size_t n = items.size();
  std::vector<int64_t> balance(n);
  int64_t running = 0, top = 0;
  for (size_t x = 0; x < n; ++x) {
    running += items[x].successor ? 1 : -1;
    balance[x] = running;
    top = std::max(top, running);
  }
  std::vector<int64_t> laterTop(n + 1, INT64_MIN);
  for (size_t x = n; x-- > 0;) laterTop[x] = std::max(laterTop[x + 1], balance[x]);

  for (size_t i = 0; i < n; ++i) {
    if (items[i].successor) continue;
    Continuations& options = judged[items[i].index];
    options.judged = true;
    options.canEnd = options.canEnd || laterTop[i] < top;
    int64_t seen = INT64_MIN;  // max of the balance on i ... x - 1
    for (size_t x = i; x < n && seen < top; ++x) {
      if (items[x].successor) {
        if (std::find(options.next.begin(), options.next.end(), items[x].index) ==
            options.next.end())
          options.next.push_back(items[x].index);
        if (options.next.size() > kNamedAlternatives) break;
      }
      seen = std::max(seen, balance[x]);
    }
  }
}

// Judges every block that may be full. A block whose last heads could not be read may be
// full or not: the level is judged both ways and the candidates of both are kept; with
// more than one such block at a level, every block of it may also end there.
Judgement judgeAll(const std::vector<HeadBlock>& blocks,
                   const std::map<uint32_t, std::vector<size_t>>& byNumber) {
  Judgement judged(blocks.size());
  for (const auto& [number, indices] : byNumber) {
    std::vector<size_t> full, surelyFull;
    int unsure = 0;
    for (size_t index : indices) {
      if (!mayBeFull(blocks[index])) continue;
      full.push_back(index);
      if (blocks[index].mayContinue) {
        ++unsure;
      } else {
        surelyFull.push_back(index);
      }
    }
    if (full.empty()) continue;
    static const std::vector<size_t> kNone;
    const uint32_t wanted = number + kHojinsPerBlock;
    const auto found = wanted < number ? byNumber.end() : byNumber.find(wanted);
    const std::vector<size_t>& next = found == byNumber.end() ? kNone : found->second;
    judgeLevel(blocks, full, next, judged);
    if (unsure > 0) judgeLevel(blocks, surelyFull, next, judged);
    if (unsure > 1)
      for (size_t index : full) judged[index].canEnd = true;
  }
  return judged;
}

class Chainer {
 public:
  explicit Chainer(const std::vector<HeadBlock>& blocks)
      : blocks_(blocks), claimed_(blocks.size(), false), reserved_(blocks.size(), false) {
    for (size_t i = 0; i < blocks.size(); ++i) byNumber_[blocks[i].firstNumber].push_back(i);
  }

  // Keeps every block that is the only continuation of another from the nearest-free choice.
  void reserve(const Judgement& judged) {
    for (size_t index = 0; index < judged.size(); ++index)
      if (const auto only = onlyContinuation(index, judged)) reserved_[*only] = true;
  }

  // Takes the block the heads leave as the only one where there is one; else the nearest
  // free one that is not the only one left for another block.
  Chain follow(size_t start, const Judgement& judged) {
    Chain chain;
    claimed_[start] = true;
    chain.members.push_back(start);
    for (size_t current = start; blocks_[current].extent == kHojinsPerBlock;) {
      const uint32_t wanted = blocks_[current].firstNumber + kHojinsPerBlock;
      if (wanted < blocks_[current].firstNumber) break;  // the numbers ran out
      std::optional<size_t> next = onlyContinuation(current, judged);
      if (!next || claimed_[*next]) next = nearestFree(wanted, blocks_[current].block);
      if (!next) break;
      claimed_[*next] = true;
      chain.members.push_back(*next);
      current = *next;
    }
    return chain;
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
  const std::map<uint32_t, std::vector<size_t>>& byNumber() const { return byNumber_; }

 private:
  const std::vector<size_t>& indicesOf(uint32_t number) const {
    static const std::vector<size_t> kNone;
    const auto found = byNumber_.find(number);
    return found == byNumber_.end() ? kNone : found->second;
  }

  static std::optional<size_t> onlyContinuation(size_t from, const Judgement& judged) {
    const Continuations& options = judged[from];
    if (!options.judged || options.canEnd || options.next.size() != 1) return std::nullopt;
    return options.next.front();
  }

  std::optional<size_t> nearestFree(uint32_t wanted, int64_t after) const {
    for (size_t index : indicesOf(wanted))  // ascending by block
      if (blocks_[index].block > after && !claimed_[index] && !reserved_[index]) return index;
    return std::nullopt;
  }

  const std::vector<HeadBlock>& blocks_;
  std::vector<bool> claimed_;
  std::map<uint32_t, std::vector<size_t>> byNumber_;
  std::vector<bool> reserved_;  // the only continuation of another block
};

// The link from `from` to `to` (npos: the chain ends with `from`) as an alternative, or
// nothing when the heads allow only it.
std::optional<ChainAlternative> judgeLink(const std::vector<HeadBlock>& blocks, size_t from,
                                          size_t to, const Judgement& judged) {
  const Continuations& options = judged[from];
  if (!options.judged) return std::nullopt;  // a partly filled block: the end is certain
  const bool ends = to == SIZE_MAX;
  if (ends ? options.next.empty()
           : (!options.canEnd && options.next.size() == 1 && options.next.front() == to))
    return std::nullopt;
  ChainAlternative link;
  link.hojin = blocks[from].firstNumber + kHojinsPerBlock;
  link.afterBlock = blocks[from].block;
  link.chosenBlock = ends ? -1 : blocks[to].block;
  link.couldEnd = !ends && options.canEnd;
  for (size_t index : options.next) {
    if (index == to) continue;
    if (link.otherBlocks.size() == kNamedAlternatives) {
      link.moreBlocks = true;
      break;
    }
    link.otherBlocks.push_back(blocks[index].block);
  }
  return link;
}

RescuedRecording describeChain(const Chain& chain, const std::vector<HeadBlock>& blocks,
                               const Chainer& chainer, const Judgement& judged,
                               int64_t dataAreaStart, int64_t unreadableBlocks) {
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
  for (size_t k = 0; k < chain.members.size(); ++k) {
    const size_t to = k + 1 < chain.members.size() ? chain.members[k + 1] : SIZE_MAX;
    if (auto link = judgeLink(blocks, chain.members[k], to, judged))
      recording.alternatives.push_back(std::move(*link));
  }
  recording.ambiguousChoices = static_cast<int>(recording.alternatives.size());
  // Every link, and a last block that may be full, could lead into an unreadable block.
  if (chain.members.size() > 1 || mayBeFull(last)) recording.unreadableBlocks = unreadableBlocks;
  recording.continuationFound = recording.endsOnBlockBoundary && chainer.continuationExists(last);
  return recording;
}

}  // namespace

ChainResult chainHeadBlocks(const std::vector<HeadBlock>& blocks, int64_t dataAreaStart,
                            int64_t unreadableBlocks) {
  Chainer chainer(blocks);
  const Judgement judged = judgeAll(blocks, chainer.byNumber());
  chainer.reserve(judged);
  std::vector<Chain> chains;
  for (size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].recordingStart && !chainer.isClaimed(i))
      chains.push_back(chainer.follow(i, judged));

  ChainResult result;
  for (const Chain& chain : chains) {
    RescuedRecording recording =
        describeChain(chain, blocks, chainer, judged, dataAreaStart, unreadableBlocks);
    recording.id = static_cast<int>(result.recordings.size()) + 1;
    result.recordings.push_back(std::move(recording));
  }
  result.orphanBlocks = chainer.unclaimed();
  return result;
}

}  // namespace korvelo
