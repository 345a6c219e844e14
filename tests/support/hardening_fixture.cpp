#include "support/hardening_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "disk/drive_table.h"
#include "support/sample_recordings.h"

namespace korvelo::test {
namespace {

class LoggingSource final : public ByteSource {
 public:
  LoggingSource(std::unique_ptr<ByteSource> inner, std::shared_ptr<SectorLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}
  int64_t readAt(int64_t offset, std::span<uint8_t> buffer) override {
    log_->push_back(offset / 512);
    return inner_->readAt(offset, buffer);
  }
  MediaInfo mediaInfo() const override { return inner_->mediaInfo(); }
  std::optional<FileIdentity> identity() const override { return inner_->identity(); }

 private:
  std::unique_ptr<ByteSource> inner_;
  std::shared_ptr<SectorLog> log_;
};

}  // namespace

HardeningDisk::HardeningDisk(const sample::DiskDescription& description, int64_t cutAtByte)
    : image_(dir_.file("recorder.img")) {
  sample::buildDisk(description, image_);
  if (cutAtByte >= 0 && ::truncate(image_.c_str(), cutAtByte) != 0) {
    throw std::runtime_error("cannot cut " + image_ + ": " + std::strerror(errno));
  }
  DriveSpec driveSpec;
  driveSpec.path = image_;
  driveSpec.factory = [path = image_, log = log_]() -> std::unique_ptr<ByteSource> {
    std::unique_ptr<ByteSource> inner = openPathSource(path);
    if (!inner) return nullptr;
    return std::make_unique<LoggingSource>(std::move(inner), log);
  };
  drives_.emplace(std::vector<DriveSpec>{driveSpec});
}

SaveAsAnswer FolderChooser::chooseSaveAs(const SaveAsRequest& request) {
  requests.push_back(request);
  return SaveAsAnswer{SaveAsAnswer::Kind::Chosen, folder_ + "/" + request.proposedName, 0};
}

sample::Recording recordingAt(int slot, std::vector<uint32_t> blocks, uint32_t sectors) {
  return numberedRecording(slot, std::move(blocks), sectors, 600000);
}

std::pair<int64_t, std::vector<uint8_t>> slotPoke(int slot, std::vector<uint8_t> image) {
  return {sample::slotSector(sample::Model::Fsr5000, slot), std::move(image)};
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace korvelo::test
