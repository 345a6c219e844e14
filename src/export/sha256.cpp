// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/sha256.h"

#include <openssl/evp.h>

#include <cstdio>

namespace korvelo {

void Sha256::ContextFree::operator()(EVP_MD_CTX* context) const {
  EVP_MD_CTX_free(context);
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) context_.reset();
}

void Sha256::update(std::span<const uint8_t> bytes) {
  if (!context_ || bytes.empty()) return;
  if (EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) != 1) context_.reset();
}

std::string Sha256::hexDigestSoFar() const {
  Sha256 copy;
  if (!context_ || !copy.context_ || EVP_MD_CTX_copy_ex(copy.context_.get(), context_.get()) != 1)
    return {};
  return copy.hexDigest();
}

std::string Sha256::hexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!context_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) {
    context_.reset();
    return {};
  }
  context_.reset();
  std::string hex;
  char digits[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", digest[i]);
    hex += digits;
  }
  return hex;
}

}  // namespace korvelo
