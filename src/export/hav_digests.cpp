// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/hav_digests.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "export/hav_geometry.h"
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

int64_t nextProofBoundary(int64_t offset) {
  const int64_t hojin = std::max<int64_t>(1, hojinAtFileOffset(offset));
  return hojinFileOffset((hojin - 1) / kHojinsPerProof * kHojinsPerProof + kHojinsPerProof + 1);
}

void HavDigestPair::add(std::span<const uint8_t> bytes) {
  addTo(0, bytes, position_);
  addTo(1, bytes, position_);
  position_ += static_cast<int64_t>(bytes.size());
}

void HavDigestPair::addTo(int sum, std::span<const uint8_t> bytes, int64_t position) {
  if (sum == 0) {
    // Cut where a proof boundary falls inside the bytes: the digest so far is taken there.
    while (!bytes.empty()) {
      const int64_t boundary = nextProofBoundary(position);
      const size_t before = static_cast<size_t>(
          std::min<int64_t>(boundary - position, static_cast<int64_t>(bytes.size())));
      file_.update(bytes.first(before));
      position += static_cast<int64_t>(before);
      bytes = bytes.subspan(before);
      if (position == boundary) prefixes_.push_back({boundary, file_.hexDigestSoFar()});
    }
  } else
    hojinData_.update(hojinDataPart(bytes, position));
}

HavDigests HavDigestPair::finish() {
  HavDigests digests = endSums(position_, file_, hojinData_);
  digests.prefixes = std::move(prefixes_);
  return digests;
}

HavDigester::~HavDigester() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
}

void HavDigester::start() {
  slots_.resize(kSlots);
  // Not zeroed: a run of short files touches only the pages of the slots they fill.
  for (Slot& slot : slots_) slot.bytes = std::make_unique_for_overwrite<uint8_t[]>(kSlotBytes);
  for (int sum = 0; sum < kSums; ++sum)
    workers_[sum] = std::thread([this, sum] { hashSlots(sum); });
}

bool HavDigester::hold(HavDigestPair& sums) {
  if (sums_ != nullptr) return false;
  if (slots_.empty()) start();
  sums_ = &sums;
  return true;
}

void HavDigester::add(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    Slot& slot = slots_[handedOver_ % kSlots];
    if (!holding_) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] {
        return handedOver_ - *std::min_element(hashed_.begin(), hashed_.end()) < kSlots;
      });
      holding_ = true;
      slot.used = 0;
      slot.position = sums_->position_;
    }
    const size_t take = std::min(bytes.size(), kSlotBytes - slot.used);
    std::memcpy(slot.bytes.get() + slot.used, bytes.data(), take);
    slot.used += take;
    sums_->position_ += static_cast<int64_t>(take);
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

void HavDigester::release() {
  if (sums_ == nullptr) return;
  if (holding_) handOver();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return hashed_[0] == handedOver_ && hashed_[1] == handedOver_; });
  sums_ = nullptr;
}

// Takes the handed-over slots in order into one sum; a slot is filled again only when both
// threads are past it. The sums a slot goes to are those that hold the threads: a holding
// ends only once every slot handed over is hashed.
void HavDigester::hashSlots(int sum) {
  for (;;) {
    const Slot* slot;
    HavDigestPair* sums;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this, sum] { return hashed_[sum] < handedOver_ || ending_; });
      if (hashed_[sum] == handedOver_) return;  // ending, and nothing is left
      slot = &slots_[hashed_[sum] % kSlots];
      sums = sums_;
    }
    sums->addTo(sum, {slot->bytes.get(), slot->used}, slot->position);
    {
      std::lock_guard lock(mutex_);
      ++hashed_[sum];
    }
    changed_.notify_all();
  }
}

HavDigests digestHavFile(int descriptor) {
  HavDigestPair sums;
  std::vector<uint8_t> piece(kSlotBytes);
  for (int64_t at = 0;;) {
    const ssize_t got = ::pread(descriptor, piece.data(), piece.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return {};
    if (got == 0) break;
    sums.add({piece.data(), static_cast<size_t>(got)});
    at += got;
  }
  return sums.finish();
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
