#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CmdLineHelper.h"

namespace {

using Params = std::vector<std::string>;

// Every parameter after the program name.
Params After(const std::string& line, NextCharFunction next = NextSingleByteChar) {
  Params all = SplitCommandLine(("orvex.exe " + line).c_str(), next);
  return Params(all.begin() + 1, all.end());
}

// A double-byte code page in miniature: bytes from 0x81 lead a two-byte character.
const char* NextDoubleByteChar(const char* p) {
  if (!*p) return p;
  if (static_cast<unsigned char>(*p) >= 0x81 && p[1]) return p + 2;
  return p + 1;
}

TEST(ScanParam, QuotesToggleAnywhereInAValue) {
  EXPECT_EQ(After("C:\\My\" \"Folder"), Params{"C:\\My Folder"});
  EXPECT_EQ(After("\"C:\\Program Files\\x\" next"), (Params{"C:\\Program Files\\x", "next"}));
  EXPECT_EQ(After("a\"b c\"d e"), (Params{"ab cd", "e"}));
  EXPECT_EQ(After("\"unclosed to the end  "), Params{"unclosed to the end  "}) << "an unclosed quote runs to the end";
}

TEST(ScanParam, BackslashRunsBeforeQuotes) {
  // Two backslashes give one and let the quote switch quoting on.
  EXPECT_EQ(After("a\\\\\"b c\" d"), (Params{"a\\b c", "d"}));
  // Three give one backslash and a literal quote; quoting stays off.
  EXPECT_EQ(After("a\\\\\\\"b c"), (Params{"a\\\"b", "c"}));
  EXPECT_EQ(After("\\\"x"), Params{"\"x"});
  EXPECT_EQ(After("\"C:\\dir\\\\\" y"), (Params{"C:\\dir\\", "y"})) << "a doubled final backslash closes the quote";
  EXPECT_EQ(After("\"C:\\dir\\\" y"), Params{"C:\\dir\" y"}) << "a single one escapes the quote";
  EXPECT_EQ(After("a\\\\\\\\\"b\""), Params{"a\\\\b"});
  // Before anything else backslashes stay as they are.
  EXPECT_EQ(After("\\\\server\\share\\ C:\\a\\\\b\\"), (Params{"\\\\server\\share\\", "C:\\a\\\\b\\"}));
  // The last example of the usage text hands over one value.
  EXPECT_EQ(After("C:\\Source\\setup.exe \"\\\"prm 1\\\" \\\"prm 2\\\"\""),
            (Params{"C:\\Source\\setup.exe", "\"prm 1\" \"prm 2\""}));
}

TEST(ScanParam, ControlCharactersSeparateOutsideQuotesOnly) {
  EXPECT_EQ(After("a\tb\x01" "c\x1f" "d \x20 e"), (Params{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(After("\"a\tb\x01" "c\""), Params{"a\tb\x01" "c"});
  EXPECT_EQ(After("   \t "), Params{});
  EXPECT_EQ(After("x   "), Params{"x"});
}

TEST(ScanParam, EmptyQuotedParametersCount) {
  EXPECT_EQ(After("\"\""), Params{""});
  EXPECT_EQ(After("a \"\" b"), (Params{"a", "", "b"}));
  EXPECT_EQ(After("\"\"\"\""), Params{""});
}

TEST(ScanParam, DoubleByteCharactersAreSteppedOverWhole) {
  // 0x81 0x5C is one character whose second byte only looks like a backslash: the quote
  // after it switches quoting instead of being escaped.
  const std::string line = "\x81\\\"a b\" c";
  EXPECT_EQ(After(line, NextDoubleByteChar), (Params{"\x81\\a b", "c"}));
  EXPECT_EQ(After(line, NextSingleByteChar), (Params{"\x81\"a", "b c"})) << "read byte by byte it differs";
  EXPECT_EQ(After("\x81", NextDoubleByteChar), Params{"\x81"}) << "a lead byte at the very end";
}

TEST(ScanParam, ProgramNameAndPositionsMoveAlong) {
  const char* line = "\"C:\\Program Files\\orvex.exe\"  -h  src";
  size_t position = 0;
  std::string value;
  ASSERT_TRUE(ScanParamIn(line, position, &value));
  EXPECT_EQ(value, "C:\\Program Files\\orvex.exe");
  ASSERT_TRUE(ScanParamIn(line, position, nullptr));
  ASSERT_TRUE(ScanParamIn(line, position, &value));
  EXPECT_EQ(value, "src");
  EXPECT_FALSE(ScanParamIn(line, position, &value));
  EXPECT_EQ(position, std::string(line).size());
}

CommandLineValues Evaluate(const std::string& line) {
  return EvaluateCommandLine(ParsedCommandLine(SplitCommandLine(("orvex.exe " + line).c_str())));
}

TEST(Switches, NamesMatchWholeAndIgnoreCase) {
  for (const char* line : {"-mf", "-MF", "/mf", "/Mf"}) EXPECT_EQ(Evaluate(line).Inputs.ExtractionMode, 1) << line;
  for (const char* line : {"--mf", "-mfx", "mf", "-m", "-"}) EXPECT_EQ(Evaluate(line).Inputs.ExtractionMode, 0) << line;
  ParsedCommandLine line(SplitCommandLine("orvex.exe src -xcmv /H tgt"));
  EXPECT_TRUE(line.HasSwitch("xcmv"));
  EXPECT_TRUE(line.HasSwitch("h"));
  EXPECT_FALSE(line.HasSwitch("src"));
  EXPECT_EQ(line.PositionalCount(), 2);
  EXPECT_EQ(line.PositionalParam(0), "orvex.exe");
  EXPECT_EQ(line.PositionalParam(2), "tgt");
  EXPECT_EQ(line.PositionalParam(3), "");
}

// A line that builds names nothing that the build would drop: every switch of the table
// in both spellings and any case, and every positional parameter a chosen switch takes.
TEST(Switches, NothingOnABuildingLineIsDropped) {
  for (const char* name : KnownSwitches()) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(c - 32);
    for (const std::string& spelling : {"-" + std::string(name), "/" + upper}) {
      EXPECT_EQ(ParsedCommandLine(SplitCommandLine(("orvex.exe " + spelling).c_str())).FirstUnknownSwitch(), "")
          << spelling;
    }
  }
  const std::string stray = "No switch takes this parameter:\r\n";
  const struct {
    const char* line;
    std::string refusal;  // its start
  } cases[] = {
      {"-h src tgt", ""},
      {"-h -mf -fm src tgt run.exe custom \" /quiet\"", ""},
      {"-h -xcmv src tgt res.exe", ""},
      {"-h -xcmv -mf src tgt run.exe params", ""},
      {"-frobnicate src", ""},  // the ordinary window builds nothing
      {"-h src tgt -frobnicate", "Unknown switch: -frobnicate\r\n"},
      {"-h -x64 -cp1251 src tgt", "Unknown switch: -x64\r\n"},  // the Linux orvex's own
      {"-h -mf src tgt run.exe /quiet", "Unknown switch: /quiet\r\n"},
      {"-mf -fm src tgt run.exe custom -S --x", "Unknown switch: --x\r\n"},
      {"-h src tgt run.exe", stray + "run.exe\r\n"},
      {"-h -mf src tgt run.exe params extra", stray + "extra\r\n"},
      {"-h -fm src tgt custom extra", stray + "extra\r\n"},
      {"-h -xcmv -mf src tgt run.exe params extra", stray + "extra\r\n"},
  };
  for (const auto& c : cases) {
    CommandLineValues v = Evaluate(c.line);
    EXPECT_EQ(v.Refusal.substr(0, c.refusal.size()), c.refusal) << c.line;
    EXPECT_EQ(v.Refusal.empty(), c.refusal.empty()) << c.line << ": " << v.Refusal;
  }
  EXPECT_EQ(Evaluate("-h -mf src tgt run.exe \" /quiet\"").Inputs.CmdParameters, " /quiet") << "the blank keeps it positional";
}

TEST(Switches, DefaultsAndFlags) {
  CommandLineValues v = Evaluate("");
  EXPECT_EQ(v.Inputs.ExtractionMode, 0);
  EXPECT_EQ(v.Inputs.ExtractionFolder, 0);
  EXPECT_FALSE(v.NoFinalMessage);
  EXPECT_FALSE(v.OverwriteTarget);
  EXPECT_FALSE(v.HideMainWindow);
  EXPECT_EQ(v.RequiredPositionals, 2);
  EXPECT_FALSE(v.CommandLineMode);

  v = Evaluate("-c -o -h -e -i -s -d -fc");
  EXPECT_TRUE(v.NoFinalMessage);
  EXPECT_TRUE(v.OverwriteTarget);
  EXPECT_TRUE(v.HideMainWindow);
  EXPECT_EQ(v.Inputs.OpenFolder, 1);
  EXPECT_EQ(v.Inputs.OneInstance, 1);
  EXPECT_EQ(v.Inputs.SilentMode, 1);
  EXPECT_EQ(v.Inputs.SelfDeleteMode, 1);
  EXPECT_EQ(v.Inputs.ExtractionFolder, 3);
  // The defaults' own switches are never tested and change nothing.
  v = Evaluate("-me -ft -op -we -di -un");
  EXPECT_EQ(v.Inputs.ExtractionMode + v.Inputs.ExtractionFolder + v.Inputs.OverwriteMode + v.Inputs.WorkingDirectory + v.Inputs.DeleteMode +
                v.Inputs.UACAutoElevation,
            0);
}

TEST(Switches, TheFirstOfEachGroupWinsWhateverTheOrder) {
  const struct {
    const char* line;
    uint8_t BuildInputs::*field;
    uint8_t expected;
  } cases[] = {
      {"-fm -fd", &BuildInputs::ExtractionFolder, 1}, {"-fs -fp", &BuildInputs::ExtractionFolder, 2},
      {"-fm -fs", &BuildInputs::ExtractionFolder, 4}, {"-os -oo", &BuildInputs::OverwriteMode, 1},
      {"-os", &BuildInputs::OverwriteMode, 2},        {"-dn -dr", &BuildInputs::DeleteMode, 1},
      {"-dn", &BuildInputs::DeleteMode, 2},           {"-wc -ws", &BuildInputs::WorkingDirectory, 1},
      {"-wc", &BuildInputs::WorkingDirectory, 2},     {"-ua -uh", &BuildInputs::UACAutoElevation, 1},
      {"-ua", &BuildInputs::UACAutoElevation, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(Evaluate(c.line).Inputs.*c.field, c.expected) << c.line;
}

// -jN takes its number straight after the name; anything else after j is refused, not
// dropped, and leaves the count to the cores.
TEST(Switches, ThreadsCarryTheirNumber) {
  const std::string refused = "The switch ";
  const struct {
    const char* line;
    unsigned threads;
    std::string refusal;  // its start
  } cases[] = {
      {"-h src tgt", 0, ""},          {"-h -j1 src tgt", 1, ""},     {"-h /J2 src tgt", 2, ""},
      {"-h -j64 src tgt", 64, ""},    {"-h -j007 src tgt", 7, ""},   {"-j3 -h -j5 src tgt", 3, ""},
      {"-h -j0 src tgt", 0, refused + "-j0 takes"},                  {"-h -j65 src tgt", 0, refused + "-j65 "},
      {"-h -jx src tgt", 0, refused + "-jx "},                       {"-h -j src tgt", 0, refused + "-j "},
      {"-h -j-2 src tgt", 0, refused + "-j-2 "},                     {"-h -j99999 src tgt", 0, refused + "-j99999 "},
      {"-h -j2x src tgt", 0, refused + "-j2x "},
  };
  for (const auto& c : cases) {
    CommandLineValues v = Evaluate(c.line);
    EXPECT_EQ(v.Inputs.Threads, c.threads) << c.line;
    EXPECT_EQ(v.Refusal.substr(0, c.refusal.size()), c.refusal) << c.line;
    EXPECT_EQ(v.Refusal.empty(), c.refusal.empty()) << c.line << ": " << v.Refusal;
  }
}

TEST(Switches, PositionalParametersFollowTheChosenModes) {
  CommandLineValues v = Evaluate("-mf C:\\Src C:\\Out.exe");
  EXPECT_EQ(v.RequiredPositionals, 3);
  EXPECT_FALSE(v.CommandLineMode) << "two positionals where three are needed";

  v = Evaluate("C:\\Src -mf -fm C:\\Out.exe C:\\Src\\run.exe %TEMP%\\x \"-a b\" ignored");
  EXPECT_TRUE(v.CommandLineMode);
  EXPECT_EQ(v.RequiredPositionals, 4);
  EXPECT_EQ(v.Inputs.Source, "C:\\Src");
  EXPECT_EQ(v.Inputs.Target, "C:\\Out.exe");
  EXPECT_EQ(v.Inputs.ExecutableFile, "C:\\Src\\run.exe");
  EXPECT_EQ(v.Inputs.CustomFolder, "%TEMP%\\x");
  EXPECT_EQ(v.Inputs.CmdParameters, "ignored") << "\"-a b\" is a switch, so the next positional is taken";

  // -fd wins over -fm: the custom folder is not read and nothing more is required.
  v = Evaluate("-fd -fm src tgt custom");
  EXPECT_EQ(v.Inputs.ExtractionFolder, 1);
  EXPECT_EQ(v.RequiredPositionals, 2);
  EXPECT_EQ(v.Inputs.CustomFolder, "");

  // Parameters that begin with '/' are switches even between quotes; a leading blank keeps them positional.
  v = Evaluate("-mf src tgt src\\a.exe \"/S\"");
  EXPECT_EQ(v.Inputs.SilentMode, 1);
  EXPECT_EQ(v.Inputs.CmdParameters, "");
  v = Evaluate("-mf src tgt src\\a.exe \" /S\"");
  EXPECT_EQ(v.Inputs.SilentMode, 0);
  EXPECT_EQ(v.Inputs.CmdParameters, " /S");

  // An empty quoted parameter is positional and counts.
  v = Evaluate("-h \"\" tgt");
  EXPECT_TRUE(v.CommandLineMode);
  EXPECT_EQ(v.Inputs.Source, "");
  EXPECT_EQ(v.Inputs.Target, "tgt");
  v = Evaluate("-h -mf C:\\Src C:\\Out.exe");
  EXPECT_TRUE(v.HideMainWindow);
  EXPECT_FALSE(v.CommandLineMode);
}

}  // namespace
