// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TempDir: a fresh folder under $TMPDIR (or /tmp) for one test's files, removed with
// everything in it when the object goes out of scope.
//
//   korvelo::test::TempDir dir;
//   const std::string image = dir.file("disk.img");

#include <string>

namespace korvelo::test {

class TempDir {
 public:
  // Creates "<tmp>/korvelo-test-XXXXXX"; throws std::runtime_error when that fails.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name; the file itself is not created.
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace korvelo::test
