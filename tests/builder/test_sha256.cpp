// The hash behind reproducible instance ids, against published vectors and across block
// boundaries, whole and fed in uneven pieces.
#include <gtest/gtest.h>

#include <string>

#include "Sha256.h"

namespace {

std::string Hex(const std::array<uint8_t, 32>& digest) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : digest) text += {digits[b >> 4], digits[b & 15]};
  return text;
}

TEST(Sha256, KnownVectorsWholeAndInPieces) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      // The last length that pads within its block, one full block, and one byte short of two.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message.size());
    Sha256 whole;
    whole.Update(c.message.data(), c.message.size());
    EXPECT_EQ(Hex(whole.Final()), c.digest);
    Sha256 pieces;
    size_t at = 0;
    for (size_t piece = 1; at < c.message.size(); piece = piece * 7 % 131 + 1) {
      size_t n = std::min(piece, c.message.size() - at);
      pieces.Update(c.message.data() + at, n);
      at += n;
    }
    EXPECT_EQ(Hex(pieces.Final()), c.digest);
  }
}

}  // namespace
