#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "u_params.h"

namespace {

TEST(ParameterString, StoredTextThenEveryArgumentQuoted) {
  const struct {
    const char* stored;
    const char* arguments;  // the command line behind the program name
    const char* expected;
  } cases[] = {
      {"", "", ""},
      {"/S %TEMP%", "", "/S %TEMP%"},
      {"", " a \"two words\"", " \"a\" \"two words\""},
      {"-x", " \"\"", "-x"},
      {"", " \"\" b", " \"b\""},
      // The closing quote added here must not be escaped by the argument's backslash.
      {"", " C:\\dir\\", " \"C:\\dir\\\\\""},
      {"", " \"C:\\my dir\\\\\"", " \"C:\\my dir\\\\\\\\\""},
      {"", " a\\b", " \"a\\b\""},
      {"", " \\", " \"\\\\\""},
      {"p", "\t x  y ", "p \"x\" \"y\""},
  };
  for (const auto& c : cases) {
    char* text = BuildParameterString(c.stored, c.arguments);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.expected) << "[" << c.arguments << "]";
    std::free(text);
  }
}

TEST(ParameterString, LongCommandLinesFit) {
  std::string arguments;
  for (int i = 0; i < 500; ++i) arguments += " \\\\\\";  // worst case: all backslashes
  char* text = BuildParameterString(std::string(127, 's').c_str(), arguments.c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text).size(), 127u + 500u * (2 + 6 + 1));
  std::free(text);
}

}  // namespace
