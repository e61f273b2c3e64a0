#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CmdLineGenerator.h"
#include "CmdLineHelper.h"

namespace {

enum Switch { me, mf, ft, fd, fp, fc, fs, fm, e, we, ws, wc, di, dr, dn, i, s, d, un, uh, ua, op, oo, os };

// The main window's initial choices: extract only, temporary folder, open the folder,
// prompt; the launch-mode controls disabled.
GeneratorState InitialState() {
  GeneratorState state;
  state.ProgramPath = "C:\\Tools\\orvex.exe";
  for (Switch sw : {me, ft, e, we, di, un, op}) state.Switches[sw].checked = true;
  for (Switch sw : {we, ws, wc, di, dr, dn, un, uh, ua}) state.Switches[sw].enabled = false;
  return state;
}

GeneratorState LaunchState() {
  GeneratorState state = InitialState();
  state.Switches[me].checked = false;
  state.Switches[mf].checked = true;
  state.Switches[e].enabled = false;
  for (Switch sw : {we, ws, wc, di, dn, un, uh, ua}) state.Switches[sw].enabled = true;
  state.ExecuteFileChecked = true;
  state.CmdParametersEnabled = true;
  return state;
}

// Launch mode into a custom folder, source C:\Src and target C:\Out.exe.
GeneratorState CustomLaunchState() {
  GeneratorState state = LaunchState();
  state.Switches[ft].checked = false;
  state.Switches[fm].checked = true;
  state.CustomFolderChosen = true;
  state.Texts.Source = "C:\\Src";
  state.Texts.Target = "C:\\Out.exe";
  return state;
}

CommandLineValues ReadBack(const std::string& line) {
  return EvaluateCommandLine(ParsedCommandLine(SplitCommandLine(line.c_str())));
}

TEST(GenerateCommandLine, InitialChoices) {
  GeneratorState state = InitialState();
  state.Texts.Source = "C:\\Src";
  state.Texts.Target = "C:\\Out.exe";
  EXPECT_EQ(GenerateCommandLine(state), "C:\\Tools\\orvex.exe -me -ft -e -op C:\\Src C:\\Out.exe");
  state.ProgramPath = "C:\\Program Files\\Orvex\\orvex.exe";
  EXPECT_EQ(GenerateCommandLine(state), "\"C:\\Program Files\\Orvex\\orvex.exe\" -me -ft -e -op C:\\Src C:\\Out.exe");
}

TEST(GenerateCommandLine, ValuesAreTrimmedEscapedAndQuoted) {
  const struct {
    const char* value;
    const char* written;
  } cases[] = {
      {"  C:\\Src  ", "C:\\Src"},
      {"C:\\My Src", "\"C:\\My Src\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\"b", "a\\\"b"},
      {"C:\\My Src\\", "\"C:\\My Src\\\\\""},  // the backslash before the closing quote doubled
      {"x\\\"y z", "\"x\\\\\\\"y z\""},        // a backslash before an escaped quote doubled
      {"C:\\Src\\", "C:\\Src\\"},              // no quote follows: unchanged
      {"tab\there", "\"tab\there\""},
  };
  for (const auto& c : cases) {
    std::string line;
    AppendGeneratedValue(line, c.value);
    EXPECT_EQ(line, std::string(c.written) + " ") << c.value;
  }
  std::string line;
  AppendGeneratedValue(line, "   ");
  AppendGeneratedValue(line, "");
  EXPECT_EQ(line, "") << "a blank value leaves no trace";
}

TEST(GenerateCommandLine, EmptyFieldsMoveTheFollowingValuesUp) {
  GeneratorState state = CustomLaunchState();
  state.Texts.ExecutableFile = "";
  state.Texts.CustomFolder = "%TEMP%\\x";
  state.Texts.CmdParameters = "   ";
  EXPECT_EQ(GenerateCommandLine(state), "C:\\Tools\\orvex.exe -mf -fm -we -di -un -op C:\\Src C:\\Out.exe %TEMP%\\x");
  state.Texts.CustomFolder = "";
  state.Texts.ExecutableFile = "C:\\Src\\setup.exe";
  EXPECT_EQ(GenerateCommandLine(state),
            "C:\\Tools\\orvex.exe -mf -fm -we -di -un -op C:\\Src C:\\Out.exe C:\\Src\\setup.exe");
}

TEST(GenerateCommandLine, DisabledControlsWriteNothing) {
  GeneratorState state = InitialState();
  state.Switches[dr].checked = true;  // kept, but disabled outside launch mode
  state.Switches[e].enabled = false;
  state.Texts.Source = "S";
  state.Texts.Target = "T";
  EXPECT_EQ(GenerateCommandLine(state), "C:\\Tools\\orvex.exe -me -ft -op S T");
}

// Every generated line, given back to the builder's scanner, yields the window's values.
TEST(GenerateCommandLine, ReadsBackToTheSameInputs) {
  GeneratorState state = LaunchState();
  state.Switches[ft].checked = false;
  state.Switches[fm].checked = true;
  state.CustomFolderChosen = true;
  state.Switches[we].checked = false;
  state.Switches[ws].checked = true;
  state.Switches[i].checked = true;
  state.Switches[ua].checked = true;
  state.Switches[un].checked = false;
  state.Switches[dr].enabled = true;
  state.Switches[dr].checked = true;
  state.Switches[di].checked = false;
  state.Texts.Source = "C:\\My Source\\";
  state.Texts.Target = "C:\\Out Dir\\setup \"final\".exe";
  state.Texts.ExecutableFile = "C:\\My Source\\bin\\run me.exe";
  state.Texts.CustomFolder = "%USERPROFILE%\\My App\\";
  state.Texts.CmdParameters = "\"prm 1\" \"prm 2\" C:\\dir\\";
  state.Unattended = true;
  state.Reproducible = true;
  state.Threads = 3;

  CommandLineValues v = ReadBack(GenerateCommandLine(state));
  EXPECT_EQ(v.Inputs.Source, "C:\\My Source\\");
  EXPECT_EQ(v.Inputs.Target, "C:\\Out Dir\\setup \"final\".exe");
  EXPECT_EQ(v.Inputs.ExecutableFile, "C:\\My Source\\bin\\run me.exe");
  EXPECT_EQ(v.Inputs.CustomFolder, "%USERPROFILE%\\My App\\");
  EXPECT_EQ(v.Inputs.CmdParameters, "\"prm 1\" \"prm 2\" C:\\dir\\");
  EXPECT_EQ(v.Inputs.ExtractionMode, 1);
  EXPECT_EQ(v.Inputs.ExtractionFolder, 5);
  EXPECT_EQ(v.Inputs.WorkingDirectory, 1);
  EXPECT_EQ(v.Inputs.DeleteMode, 1);
  EXPECT_EQ(v.Inputs.UACAutoElevation, 2);
  EXPECT_EQ(v.Inputs.OneInstance, 1);
  EXPECT_EQ(v.Inputs.OverwriteMode, 0);
  EXPECT_TRUE(v.CommandLineMode);
  EXPECT_TRUE(v.HideMainWindow && v.Quiet && v.Inputs.Reproducible);
  EXPECT_EQ(v.Inputs.Threads, 3u);
  EXPECT_EQ(v.Refusal, "");
}

// A value that starts like a switch is read back as a value, not as a switch: "/S" in the
// parameters field would otherwise turn on silent mode and lose the parameters.
TEST(GenerateCommandLine, ValuesThatLookLikeSwitchesStayValues) {
  std::string line;
  AppendGeneratedValue(line, "/S");
  AppendGeneratedValue(line, "-x \"a b\"");
  EXPECT_EQ(line, "\" /S\" \" -x \\\"a b\\\"\" ");

  GeneratorState state = CustomLaunchState();
  state.Texts.ExecutableFile = "C:\\Src\\setup.exe";
  state.Texts.CustomFolder = "-dir";
  state.Texts.CmdParameters = "/S";
  std::string generated = GenerateCommandLine(state);
  CommandLineValues v = ReadBack(generated);
  EXPECT_EQ(v.Inputs.SilentMode, 0) << generated;
  EXPECT_TRUE(v.CommandLineMode) << generated;
  EXPECT_EQ(v.Inputs.CustomFolder, " -dir") << "the blank is trimmed by every build";
  EXPECT_EQ(v.Inputs.CmdParameters, " /S");
}

// Shift-JIS-like lead bytes: a trailing byte 0x5C is part of its character, not a backslash.
const char* NextDoubleByteChar(const char* p) {
  unsigned char c = static_cast<unsigned char>(*p);
  if (!c) return p;
  bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  return lead && p[1] ? p + 2 : p + 1;
}

TEST(GenerateCommandLine, DoubleByteCharactersEndingInABackslashByteStayWhole) {
  const std::string table = "\x95\x5C";  // one character whose trailing byte is 0x5C
  const struct {
    std::string value;
    std::string written;
  } cases[] = {
      {"C:\\My " + table, "\"C:\\My " + table + "\""},
      {"C:\\My " + table + "\\", "\"C:\\My " + table + "\\\\\""},
      {table + "\"q", table + "\\\"q"},
  };
  for (const auto& c : cases) {
    std::string line;
    AppendGeneratedValue(line, c.value, NextDoubleByteChar);
    EXPECT_EQ(line, c.written + " ") << c.value;
    std::vector<std::string> params = SplitCommandLine(("p " + line).c_str(), NextDoubleByteChar);
    ASSERT_EQ(params.size(), 2u) << line;
    EXPECT_EQ(params[1], c.value);
  }
}

TEST(EnvironmentRow, MarksTheNameWithPercentSigns) {
  EXPECT_EQ(EnvironmentRow("PATH=C:\\Windows"), "%PATH%=C:\\Windows");
  EXPECT_EQ(EnvironmentRow("OPTS=a=b=c"), "%OPTS%=a=b=c") << "the value keeps every later '='";
  EXPECT_EQ(EnvironmentRow("=C:=C:\\"), "%%=C:=C:\\") << "hidden per-drive entries";
  EXPECT_EQ(EnvironmentRow("LONELY"), "%LONELY%");

  const struct {
    const char* entry;
    const char* name;
    const char* value;
  } rows[] = {
      {"OPTS=a=b=c", "%OPTS%", "a=b=c"},
      {"=C:=C:\\", "%%", "C:=C:\\"},
      {"EMPTY=", "%EMPTY%", ""},
      {"LONELY", "%LONELY%", ""},
  };
  for (const auto& r : rows) {
    std::string name, value;
    SplitEnvironmentRow(EnvironmentRow(r.entry), name, value);
    EXPECT_EQ(name, r.name) << r.entry;
    EXPECT_EQ(value, r.value) << r.entry;
  }
}

// The usage text's words of each switch: its line after " - " with the lines that go on
// below it, behind the "Only with -xx:" heading above it when the line names none.
std::map<std::string, std::string> UsageWords(const std::string& usage) {
  std::map<std::string, std::string> words;
  std::istringstream lines(usage);
  std::string heading, last;
  for (std::string line; std::getline(lines, line);) {
    line.erase(line.find_last_not_of(" \r") + 1);
    size_t dash = line.find(" - ");
    if (line.empty() || line.rfind("Only with -", 0) == 0) {
      heading = line.empty() ? "" : line + " ";
    } else if (line[0] == ' ' && !last.empty()) {
      words[last] += " " + line.substr(line.find_first_not_of(' '));
    } else if (line[0] == '-' && dash != std::string::npos) {
      last = line.substr(1, line.find(' ') - 1);
      std::string text = line.substr(dash + 3);
      words[last] = (text.rfind("Only with -", 0) == 0 ? "" : heading) + text;
      continue;
    }
    if (line.empty() || line[0] != ' ') last.clear();
  }
  return words;
}

// Every switch of the option table and of orvex.exe's front end has its line in the usage
// text, in the table's words, and the text has no other; the generator writes what the
// evaluator reads back as the same code.
TEST(OptionTable, EverySwitchIsDocumentedAndReadsBackAsItsCode) {
  std::ifstream file(ORVEX_USAGE_TEXT, std::ios::binary);
  std::string usage((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(usage.empty());
  std::map<std::string, std::string> documented = UsageWords(usage), tabled;
  for (const FlagSwitch& flag : BuilderSwitches.flags) tabled[flag.name] = flag.meaning;
  for (const NumberSwitch& number : BuilderSwitches.numbers)
    tabled[std::string(number.name) + number.placeholder] = number.meaning;
  std::vector<GeneratorSwitch> switches = GeneratorSwitches();
  size_t index = 0;
  for (const CodedOption& option : CodedOptions) {
    for (size_t code = 0; code < option.codes.size(); ++code) {
      if (!option.codes[code].name) continue;
      tabled[option.codes[code].name] = option.SwitchWords(code);
      ASSERT_LT(index, switches.size());
      GeneratorState state;
      state.ProgramPath = "orvex.exe";
      state.Switches[index++].checked = true;
      state.Texts.Source = "src";
      state.Texts.Target = "tgt";
      CommandLineValues read = ReadBack(GenerateCommandLine(state));
      for (const CodedOption& other : CodedOptions)
        EXPECT_EQ(read.Inputs.*other.field, &other == &option ? code : 0)
            << option.codes[code].name << " " << other.registryValue;
      EXPECT_EQ(read.Refusal, "");
    }
  }
  EXPECT_EQ(index, switches.size());
  EXPECT_EQ(documented.size(), tabled.size()) << "a switch without its line, or a line of no switch";
  for (const auto& [name, words] : tabled) EXPECT_EQ(documented[name], words) << "-" << name;
}

}  // namespace
