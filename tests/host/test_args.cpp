#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "u_args.h"

namespace {

std::vector<std::string> Split(const char* commandLine) {
  std::vector<std::string> args;
  const char* p = SkipProgramName(commandLine);
  char buffer[64];
  size_t length = 0;
  while ((p = NextArgument(p, buffer, sizeof buffer, &length)) != nullptr) {
    EXPECT_EQ(length, std::string(buffer).size());
    args.push_back(buffer);
  }
  return args;
}

using Args = std::vector<std::string>;

TEST(NextArgument, SplitsLikeTheExtractor) {
  EXPECT_EQ(Split("sfx.exe"), Args{});
  EXPECT_EQ(Split("\"C:\\My Programs\\sfx.exe\" a \"two words\""), (Args{"a", "two words"}));
  EXPECT_EQ(Split("sfx.exe \t a\x01\x1f b  "), (Args{"a", "b"}));
  EXPECT_EQ(Split("sfx.exe \"\" x"), Args{"x"}) << "an empty quoted argument is dropped";
  EXPECT_EQ(Split("sfx.exe \"\"abc"), Args{"abc"});
  EXPECT_EQ(Split("sfx.exe ab\"c d\"e"), Args{"abc de"});
  EXPECT_EQ(Split("sfx.exe C:\\dir\\ \"C:\\dir\\\""), (Args{"C:\\dir\\", "C:\\dir\\"})) << "no escapes";
  EXPECT_EQ(Split("sfx.exe \"unclosed tail"), Args{"unclosed tail"});
}

TEST(NextArgument, CutsLongArgumentsButReportsTheirLength) {
  std::string line = "p " + std::string(100, 'x');
  char buffer[8];
  size_t length = 0;
  const char* end = NextArgument(SkipProgramName(line.c_str()), buffer, sizeof buffer, &length);
  ASSERT_NE(end, nullptr);
  EXPECT_EQ(length, 100u);
  EXPECT_EQ(std::string(buffer), "xxxxxxx");
  EXPECT_EQ(*end, '\0');
}

}  // namespace
