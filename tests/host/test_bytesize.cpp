#include <gtest/gtest.h>

#include <string>

#include "u_bytesize.h"

namespace {

std::string Text(int64_t value, char separator = '.') {
  char text[ByteSizeTextCapacity];
  int length = FormatByteSize(value, separator, text);
  EXPECT_EQ(static_cast<size_t>(length), std::string(text).size());
  return text;
}

TEST(FormatByteSize, UnitBoundaries) {
  const struct {
    int64_t value;
    const char* text;
  } cases[] = {
      {0, "0 B"},
      {1, "1 B"},
      {1023, "1023 B"},
      {1024, "1.0 kB"},
      {1536, "1.5 kB"},
      {1048575, "1024.0 kB"},
      {1048576, "1.00 MB"},
      {1572864, "1.50 MB"},
      {2097152, "2.00 MB"},
      {1073741823, "1024.00 MB"},
      {1073741824, "1.000 GB"},
      {1610612736, "1.500 GB"},
      {1099511627775, "1024.000 GB"},
      {1099511627776, "1.0000 TB"},
      {1099511627776 * 1024, "1024.0000 TB"},
      {INT64_MAX, "8388608.0000 TB"},
      {-1, "-1 B"},
      {-1536, "-1.5 kB"},
      {INT64_MIN, "-8388608.0000 TB"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.value), c.text) << c.value;
}

TEST(FormatByteSize, RoundsToTheShownDecimals) {
  EXPECT_EQ(Text(1024 + 51), "1.0 kB");   // 1.0498
  EXPECT_EQ(Text(1024 + 52), "1.1 kB");   // 1.0508
  EXPECT_EQ(Text(1024 + 1023), "2.0 kB");  // 1.999 rounds up into the next whole number
  EXPECT_EQ(Text(9437184), "9.00 MB");
  EXPECT_EQ(Text(9437185), "9.00 MB");
}

TEST(FormatByteSize, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(Text(1572864, ','), "1,50 MB");
  EXPECT_EQ(Text(1023, ','), "1023 B");
}

}  // namespace
