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
  line.resize(line.size() < 14 ? 15 : line.size() + 1, ' ');
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

std::string Usage() {
  std::string help =
      "orvex " ORVEX_VERSION ": builds SFX files, and looks inside them without running them\n"
      "\n"
      "  orvex [switches] SOURCE TARGET [EXECUTABLE] [CUSTFOLDER] [CMDLINEPRM]\n"
      "      builds TARGET from the folder SOURCE, with the switches of orvex.exe (its usage\n"
      "      text, builder/resources/cmdline.txt) and two of its own, -x64 and -cpNNNN.\n"
      "      Switches begin with '-'; a parameter that begins with '/' is a path.\n";
  for (const CodedOption& option : CodedOptions)
    for (size_t code = 0; code < option.codes.size(); ++code)
      if (option.codes[code].name) AppendSwitch(help, option.codes[code].name, option.SwitchWords(code));
  for (const FlagSwitch& flag : LinuxBuildSwitches.flags) AppendSwitch(help, flag.name, flag.meaning);
  for (const NumberSwitch& number : LinuxBuildSwitches.numbers)
    AppendSwitch(help, std::string(number.name) + number.placeholder, number.meaning);
  return help +
         "  orvex -l [--json] [-cpNNNN] FILE    lists the options and the entries (--json: for programs)\n"
         "  orvex -t [-cpNNNN] FILE             reads and checks every entry, writes nothing\n"
         "  orvex -x [-o] [-cpNNNN] FILE DIR    extracts below DIR; -o replaces existing files\n"
         "  orvex --help | --version\n"
         "\n"
         "Building: messages go to standard error, the written file to standard output as\n"
         "\"TARGET SIZE bytes\". Exit status: 0 written; 1 an unexpected error stopped the build\n"
         "(a target it had begun is removed); 2 refused inputs (nothing written). Ctrl-C, SIGTERM\n"
         "and SIGHUP stop a build and remove the target it had begun; orvex then ends by the signal.\n"
         "\n"
         "Inspecting: nothing is ever run, and nothing is written outside DIR. Control\n"
         "characters and bytes without a character in the code page are shown as \\xHH; in\n"
         "--json such a byte is U+FFFD and the text's stored bytes follow as KEYBytes in hex.\n"
         "Exit status: 0 whole; 1 -x could not write a file; 2 refused (a file that cannot be\n"
         "opened or is no regular file, existing files kept); the extractor's code for a damaged\n"
         "file: 13 invalid data, 23 checksum error, 38 cut short or no archive, 8 a chunk too\n"
         "large, 160 a damaged chunk.\n";
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
      std::cout << "orvex " ORVEX_VERSION "\n";
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
