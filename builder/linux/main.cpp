// orvex for Linux: builds SFX files with the Windows builder's command line, and looks
// inside SFX files without running them.
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "CmdLineHelper.h"
#include "LinuxBuild.h"
#include "OptionTable.h"
#include "sfxinspect.h"

namespace {

// A switch of the help and its words, wrapped to the width of the help below its column.
void AppendSwitch(std::string& help, const std::string& name, const std::string& words) {
  std::string line = "      -" + name;
  line.resize(line.size() < 14 ? 15 : line.size() + 2, ' ');
  const size_t column = line.size(), width = 90;
  std::istringstream split(words);
  for (std::string word; split >> word;) {
    if (line.size() > column && line.size() + 1 + word.size() > width) {
      help += line + "\n";
      line.assign(column, ' ');
    }
    line += (line.size() > column ? " " : "") + word;
  }
  help += line + "\n";
}

// The flags and number switches of a front end under `heading`.
void AppendFrontEnd(std::string& help, const char* heading, const FrontEndSwitches& frontEnd) {
  help += std::string("\n") + heading + "\n";
  for (const FlagSwitch& flag : frontEnd.flags) AppendSwitch(help, flag.name, flag.meaning);
  for (const NumberSwitch& number : frontEnd.numbers)
    AppendSwitch(help, std::string(number.name) + number.placeholder, number.meaning);
}

// Every switch with its words from the tables, laid out so that help2man makes the manual
// page of the same text.
std::string Usage() {
  std::string help =
      "Usage: orvex [switches] SOURCE TARGET [EXECUTABLE] [CUSTFOLDER] [CMDLINEPRM]\n"
      "  or:  orvex -l [--json] [-cpNNNN] FILE\n"
      "  or:  orvex -t [-cpNNNN] FILE\n"
      "  or:  orvex -x [-o] [-cpNNNN] FILE DIR\n"
      "Builds the SFX file TARGET, a self-extracting Windows program, from the folder SOURCE\n"
      "with the command line of orvex.exe, or looks inside the SFX file FILE without running it.\n"
      "EXECUTABLE (only with -mf) runs after extraction with the parameters CMDLINEPRM;\n"
      "CUSTFOLDER (only with -fm) is the custom folder for extraction. Switches begin with\n"
      "'-', in any letter case; a parameter that begins with '/' is a path.\n"
      "\n"
      "Switches of the SFX file:\n";
  for (const CodedOption& option : CodedOptions)
    for (size_t code = 0; code < option.codes.size(); ++code)
      if (option.codes[code].name) AppendSwitch(help, option.codes[code].name, option.SwitchWords(code));
  AppendFrontEnd(help, "Switches of a build:", LinuxBuildSwitches);
  AppendFrontEnd(help, "Switches of an inspection:", InspectionSwitches);
  help += "\nOther switches:\n";
  AppendSwitch(help, "-help", "Print this text");
  AppendSwitch(help, "-version", "Print the version");
  return help +
         "\n"
         "Building: messages go to standard error, the written file to standard output as\n"
         "\"TARGET SIZE bytes\". Exit status: 0 written; 1 an unexpected error stopped the build\n"
         "(a target it had begun is removed); 2 refused inputs (nothing written). Ctrl-C, SIGTERM\n"
         "and SIGHUP stop a build and remove the target it had begun; orvex then ends by the signal.\n"
         "\n"
         "Inspecting: control characters and bytes without a character in the code page are\n"
         "shown as \\xHH; in --json such a byte is U+FFFD and the text's stored bytes follow as\n"
         "KEYBytes in hex. Exit status: 0 whole; 1 -x could not write a file; 2 refused (a file\n"
         "that cannot be opened or is no regular file, existing files kept); the extractor's code\n"
         "for a damaged file: 13 invalid data, 23 checksum error, 38 cut short or no archive, 8 a\n"
         "chunk too large, 160 a damaged chunk.\n";
}

// A lone '-' is a file name here.
bool IsInspectionSwitch(const std::string& param) { return param.size() > 1 && param[0] == '-'; }

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  for (int i = 1; i < argc; ++i) {
    if (args[i] == "--help") {
      std::cout << Usage();
      return 0;
    }
    if (args[i] == "--version") {
      std::cout << "orvex " ORVEX_VERSION_STRING "\n";
      return 0;
    }
  }
  ParsedCommandLine line(args, SameTextAscii, IsInspectionSwitch, InspectionSwitches);
  CommandLineValues v;
  std::string badNumber = EvaluateSwitches(line, v);
  // -l, -t and -x (single letters: -x64 and -xcmv are switches of a build) choose an
  // inspection, the first of them in that order; any other line builds.
  if (!v.List && !v.Test && !v.Extract && argc > 1) return RunLinuxBuild(args, std::cout, std::cerr, STDERR_FILENO);
  std::string unknown = line.FirstUnknownSwitch();
  if (!unknown.empty()) {
    std::cerr << "orvex: unknown switch " << unknown << "\n\n" << Usage();
    return 2;
  }
  if (!badNumber.empty()) {
    std::cerr << badNumber << "\n";
    return 2;
  }
  if (argc == 1 || line.PositionalCount() != (v.List || v.Test ? 1 : 2)) {
    std::cerr << Usage();
    return 2;
  }
  int codePage = v.Inputs.CodePage ? static_cast<int>(v.Inputs.CodePage) : 1252;
  NameConverter names;
  if (!names.Open(codePage)) {
    std::cerr << "orvex: this system cannot convert names from code page " << codePage << "\n";
    return 2;
  }
  InspectStreams io{std::cout, std::cerr};
  std::string file = line.PositionalParam(1);
  if (v.List) return ListSfx(file, names, v.Json, io);
  if (v.Test) return TestSfx(file, names, io);
  return ExtractSfx(file, line.PositionalParam(2), names, v.OverwriteTarget, io);
}
