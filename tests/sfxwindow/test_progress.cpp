// The bar's figures: the percentage is rounded while the bar is cut down to whole pixels.
#include <gtest/gtest.h>

#include <string>

#include "u_progress.h"

namespace {

std::string Text(int64_t done, int64_t total) {
  char text[5];
  int length = PercentText(ProgressFor(done, total).percent, text);
  return std::string(text, length);
}

int Right(int64_t done, int64_t total) { return ProgressFor(done, total).filledRight; }

TEST(Progress, RoundsTheTextAndTruncatesTheBar) {
  EXPECT_EQ(Text(0, 1000), "0 %");
  EXPECT_EQ(Right(0, 1000), 16);
  EXPECT_EQ(Text(4, 1000), "0 %");  // 0.4 %
  EXPECT_EQ(Right(4, 1000), 17);
  EXPECT_EQ(Text(5, 1000), "1 %");  // 0.5 % rounds up
  EXPECT_EQ(Text(421, 1000), "42 %");
  EXPECT_EQ(Text(500, 1000), "50 %");
  EXPECT_EQ(Right(500, 1000), 160);
  EXPECT_EQ(Text(996, 1000), "100 %");  // the text is full before the bar is
  EXPECT_EQ(Right(996, 1000), 302);
  EXPECT_EQ(Text(1000, 1000), "100 %");
  EXPECT_EQ(Right(1000, 1000), 304);
  // The bar grows in steps of 1/288.
  EXPECT_EQ(Right(1, 288), 17);
  EXPECT_EQ(Right(287, 288), 303);
}

TEST(Progress, StaysInsideTheBarForAnyCounts) {
  EXPECT_EQ(Text(0, 0), "0 %");  // nothing to extract counts as nothing done
  EXPECT_EQ(Right(5, 0), 16);
  EXPECT_EQ(Text(5, -1), "0 %");
  EXPECT_EQ(Text(-5, 10), "0 %");
  EXPECT_EQ(Right(-5, 10), 16);
  // More bytes than announced must not overflow the five characters or the bar.
  EXPECT_EQ(Text(100000, 1), "100 %");
  EXPECT_EQ(Right(100000, 1), 304);
  EXPECT_EQ(Text(INT64_MAX, 1), "100 %");
}

TEST(Progress, SinglePrecisionForLargeArchives) {
  // Near 2^31 a float keeps 24 bits: one byte short of the total reads as all of it.
  const int64_t total = 2147483647;
  EXPECT_EQ(Text(total - 1, total), "100 %");
  EXPECT_EQ(Right(total - 1, total), 304);
  EXPECT_EQ(Text(total / 2, total), "50 %");
  EXPECT_EQ(Right(total / 2, total), 160);
  // Totals beyond 32 bits (many files) still give sensible figures.
  const int64_t huge = int64_t(40) << 32;
  EXPECT_EQ(Text(huge / 4, huge), "25 %");
  EXPECT_EQ(Right(huge / 4, huge), 88);
}

}  // namespace
