// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hav_digests.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "export/hav_head.h"

namespace korvelo {
namespace {

constexpr size_t kSlotBytes = size_t{1} << 20;
constexpr int kSlots = 4;

// What of `bytes`, starting at `position` in the file, lies beyond head and entry image.
std::span<const uint8_t> hojinDataPart(std::span<const uint8_t> bytes, int64_t position) {
  return bytes.subspan(static_cast<size_t>(
      std::clamp<int64_t>(kHavFrontBytes - position, 0, static_cast<int64_t>(bytes.size()))));
}

HavDigests endSums(int64_t fileBytes, Sha256& file, Sha256& hojinData) {
  HavDigests digests;
  digests.fileBytes = fileBytes;
  digests.file = file.hexDigest();
  digests.hojinData = hojinData.hexDigest();
  digests.readable = !digests.file.empty() && !digests.hojinData.empty();
  return digests;
}

}  // namespace

void HavDigestPair::add(std::span<const uint8_t> bytes) {
  file_.update(bytes);
  hojinData_.update(hojinDataPart(bytes, position_));
  position_ += static_cast<int64_t>(bytes.size());
}

HavDigests HavDigestPair::finish() {
  return endSums(position_, file_, hojinData_);
}

HavDigester::~HavDigester() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  stopThreads();
}

void HavDigester::start() {
  slots_.resize(kSlots);
  // Not zeroed: a short file touches only the pages of the slot it fills, and a digester is
  // started for every file of an export of thousands.
  for (Slot& slot : slots_) slot.bytes = std::make_unique_for_overwrite<uint8_t[]>(kSlotBytes);
  for (int sum = 0; sum < kSums; ++sum)
    workers_[sum] = std::thread([this, sum] { hashSlots(sum); });
}

void HavDigester::add(std::span<const uint8_t> bytes) {
  if (slots_.empty()) start();
  while (!bytes.empty()) {
    Slot& slot = slots_[handedOver_ % kSlots];
    if (!holding_) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] {
        return handedOver_ - *std::min_element(hashed_.begin(), hashed_.end()) < kSlots;
      });
      holding_ = true;
      slot.used = 0;
      slot.position = bytesAdded_;
    }
    const size_t take = std::min(bytes.size(), kSlotBytes - slot.used);
    std::memcpy(slot.bytes.get() + slot.used, bytes.data(), take);
    slot.used += take;
    bytesAdded_ += static_cast<int64_t>(take);
    bytes = bytes.subspan(take);
    if (slot.used == kSlotBytes) handOver();
  }
}

void HavDigester::handOver() {
  {
    std::lock_guard lock(mutex_);
    ++handedOver_;
  }
  holding_ = false;
  changed_.notify_all();
}

// Takes the handed-over slots in order into one sum; a slot is filled again only when both
// threads are past it.
void HavDigester::hashSlots(int sum) {
  for (;;) {
    const Slot* slot;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this, sum] { return hashed_[sum] < handedOver_ || ending_; });
      if (abandoned_ || hashed_[sum] == handedOver_) return;
      slot = &slots_[hashed_[sum] % kSlots];
    }
    const std::span<const uint8_t> bytes(slot->bytes.get(), slot->used);
    sums_[sum].update(sum == 0 ? bytes : hojinDataPart(bytes, slot->position));
    {
      std::lock_guard lock(mutex_);
      ++hashed_[sum];
    }
    changed_.notify_all();
  }
}

void HavDigester::stopThreads() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
}

HavDigests HavDigester::finish() {
  if (holding_) handOver();
  stopThreads();  // the threads take in every slot handed over before they end
  return endSums(bytesAdded_, sums_[0], sums_[1]);
}

HavDigests digestHavFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  HavDigestPair sums;
  std::vector<uint8_t> piece(kSlotBytes);
  for (;;) {
    in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    const auto got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    sums.add({piece.data(), got});
  }
  if (in.bad()) return {};
  return sums.finish();
}

}  // namespace korvelo
