// SPDX-License-Identifier: GPL-3.0-or-later
// korvelo-mkdisk: writes a sample recorder-disk image (sparse) from a preset or a JSON
// description, for trying Korvelo without a recorder and for tests and benchmarks.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "diskbuilder/description_json.h"
#include "diskbuilder/disk_builder.h"

namespace {

using korvelo::sample::DiskDescription;

struct Options {
  std::string preset = "demo";
  uint64_t benchBytes = 1ULL << 30;
  uint64_t fullBytes = 256ULL << 20;
  std::string jsonPath;
  std::string imagePath;
  bool printJson = false;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error("cannot read " + path);
  return text.str();
}

DiskDescription chooseDescription(const Options& options) {
  if (!options.jsonPath.empty()) {
    return korvelo::sample::descriptionFromJson(readFile(options.jsonPath));
  }
  if (options.preset == "bench") return korvelo::sample::benchDisk(options.benchBytes);
  if (options.preset == "full") return korvelo::sample::fullDisk(options.fullBytes);
  return korvelo::sample::demoDisk();
}

void describe(CLI::App& app, Options& options) {
  app.description(
      "Writes a sample recorder-disk image as a sparse file: a preset (demo: five recordings on "
      "a 160 GB disk; bench: one fragmented recording of --bench-bytes; full: all 2000 directory "
      "slots in use, mixed lengths sharing --full-bytes, fragmented and interleaved) or a JSON "
      "description with the fields of DiskDescription. Exit status 0 on success, 1 on any error.");
  auto* preset = app.add_option("--preset", options.preset, "demo (default), bench or full")
                     ->check(CLI::IsMember({"demo", "bench", "full"}));
  app.add_option("--bench-bytes", options.benchBytes,
                 "recording size of the bench preset in bytes (default 1073741824)")
      ->check(CLI::PositiveNumber);
  app.add_option("--full-bytes", options.fullBytes,
                 "data of all 2000 recordings of the full preset in bytes (default 268435456)")
      ->check(CLI::PositiveNumber);
  app.add_option("--json", options.jsonPath, "read the description from this JSON file")
      ->check(CLI::ExistingFile)
      ->excludes(preset);
  app.add_option("-o,--output", options.imagePath, "image file to write");
  app.add_flag("--print-json", options.printJson, "print the description used as JSON");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"korvelo-mkdisk", "korvelo-mkdisk"};
  Options options;
  describe(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    std::cerr << "korvelo-mkdisk: " << error.what() << "\n";
    return 1;
  }
  if (options.imagePath.empty() && !options.printJson) {
    std::cerr << "korvelo-mkdisk: nothing to do: give -o IMAGE or --print-json\n";
    return 1;
  }
  try {
    const DiskDescription disk = chooseDescription(options);
    if (!options.imagePath.empty()) korvelo::sample::buildDisk(disk, options.imagePath);
    if (options.printJson) std::cout << korvelo::sample::descriptionToJson(disk) << "\n";
  } catch (const std::exception& error) {
    std::cerr << "korvelo-mkdisk: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
