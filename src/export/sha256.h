// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SHA-256 over bytes given in pieces, for the check sums written beside exported files.
// The hashing itself is libcrypto's, which uses the processor's SHA instructions.

#include <openssl/types.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace korvelo {

class Sha256 {
 public:
  Sha256();
  void update(std::span<const uint8_t> bytes);
  // The digest as 64 lower-case hex digits; empty when the library could not hash (out of
  // memory, or no SHA-256 in its configuration). Ends the hash: call once.
  std::string hexDigest();
  // The digest of the bytes given so far, the hash going on afterwards; empty on failure.
  std::string hexDigestSoFar() const;

 private:
  struct ContextFree {
    void operator()(EVP_MD_CTX* context) const;
  };
  std::unique_ptr<EVP_MD_CTX, ContextFree> context_;  // null once hashing has failed
};

}  // namespace korvelo
