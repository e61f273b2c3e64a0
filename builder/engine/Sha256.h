// SHA-256 (FIPS 180-4), for identifiers that the same content must give again and that
// different content practically never gives.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <array>

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t length);
  // The digest of everything given so far; the object is spent afterwards.
  std::array<uint8_t, 32> Final();

 private:
  void Compress(const uint8_t* block);

  uint32_t state_[8];
  uint8_t block_[64];
  size_t used_ = 0;
  uint64_t length_ = 0;  // in bytes
};
