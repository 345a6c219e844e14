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

}  // namespace

void HavDigestPair::add(std::span<const uint8_t> bytes) {
  const size_t size = bytes.size();
  const size_t skip = static_cast<size_t>(
      std::clamp<int64_t>(kHavFrontBytes - position_, 0, static_cast<int64_t>(size)));
  Sha256::updateBoth(file_, bytes, hojinData_, bytes.subspan(skip));
  position_ += static_cast<int64_t>(size);
}

HavDigests HavDigestPair::finish() {
  HavDigests digests;
  digests.readable = true;
  digests.fileBytes = position_;
  digests.file = file_.hexDigest();
  digests.hojinData = hojinData_.hexDigest();
  return digests;
}

HavDigester::~HavDigester() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    full_.clear();
  }
  changed_.notify_all();
  worker_.join();
}

void HavDigester::start() {
  slots_.resize(kSlots);
  for (int i = 0; i < kSlots; ++i) {
    slots_[i].bytes = std::make_unique<uint8_t[]>(kSlotBytes);
    free_.push_back(i);
  }
  worker_ = std::thread([this] { hashSlots(); });
}

void HavDigester::add(std::span<const uint8_t> bytes) {
  if (!worker_.joinable()) start();
  bytesAdded_ += static_cast<int64_t>(bytes.size());
  while (!bytes.empty()) {
    if (filling_ < 0) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !free_.empty(); });
      filling_ = free_.front();
      free_.pop_front();
    }
    Slot& slot = slots_[filling_];
    const size_t take = std::min(bytes.size(), kSlotBytes - slot.used);
    std::memcpy(slot.bytes.get() + slot.used, bytes.data(), take);
    slot.used += take;
    bytes = bytes.subspan(take);
    if (slot.used == kSlotBytes) handOver();
  }
}

void HavDigester::handOver() {
  {
    std::lock_guard lock(mutex_);
    full_.push_back(filling_);
  }
  filling_ = -1;
  changed_.notify_all();
}

void HavDigester::hashSlots() {
  for (;;) {
    int index;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !full_.empty() || ending_; });
      if (full_.empty()) return;
      index = full_.front();
      full_.pop_front();
    }
    Slot& slot = slots_[index];
    sums_.add({slot.bytes.get(), slot.used});
    {
      std::lock_guard lock(mutex_);
      slot.used = 0;
      free_.push_back(index);
    }
    changed_.notify_all();
  }
}

HavDigests HavDigester::finish() {
  if (worker_.joinable()) {
    if (filling_ >= 0 && slots_[filling_].used > 0) handOver();
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
    }
    changed_.notify_all();
    worker_.join();  // the worker empties full_ before it ends
  }
  return sums_.finish();
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
