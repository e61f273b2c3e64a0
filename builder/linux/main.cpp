// orvex for Linux: builds SFX files with the Windows builder's command line, and looks
// inside SFX files without running them.
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <iostream>
#include <string>
#include <vector>

#include "LinuxBuild.h"
#include "sfxinspect.h"

namespace {

const char Usage[] =
    "orvex " ORVEX_VERSION ": builds SFX files, and looks inside them without running them\n"
    "\n"
    "  orvex [switches] SOURCE TARGET [EXECUTABLE] [CUSTFOLDER] [CMDLINEPRM]\n"
    "      builds TARGET from the folder SOURCE, with the switches of orvex.exe (its usage\n"
    "      text, builder/resources/cmdline.txt): -me -mf -ft -fd -fp -fc -fs -fm -op -oo -os\n"
    "      -i -s -d -e -we -ws -wc -di -dr -dn -un -uh -ua -xcmv, and -o to replace an\n"
    "      existing TARGET, -c for no final line, -r for a reproducible build (so does\n"
    "      SOURCE_DATE_EPOCH); -h and -q are taken and change nothing. Added here:\n"
    "      -x64     the x86-64 extractor instead of the 32-bit one\n"
    "      -cpNNNN  the code page of the names, the custom folder and the parameters in the\n"
    "               SFX file (1252 unless given, such as -cp1251 or -cp932)\n"
    "      Switches begin with '-'; a parameter that begins with '/' is a path.\n"
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

bool SameSwitch(const std::string& arg, const char* name) { return strcasecmp(arg.c_str(), name) == 0; }

bool IsInspectAction(const std::string& arg) {
  return SameSwitch(arg, "-l") || SameSwitch(arg, "-t") || SameSwitch(arg, "-x");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  // -l, -t and -x (single letters: -x64 and -xcmv are switches of a build) choose an
  // inspection; any other line builds.
  bool inspect = false;
  for (int i = 1; i < argc; ++i)
    inspect = inspect || IsInspectAction(args[i]) || args[i] == "--help" || args[i] == "--version";
  if (!inspect && argc > 1) return RunLinuxBuild(args, std::cout, std::cerr, STDERR_FILENO);

  std::vector<std::string> positional;
  char action = 0;
  bool json = false, overwrite = false;
  int codePage = 1252;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help") {
      std::cout << Usage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "orvex " ORVEX_VERSION "\n";
      return 0;
    }
    if (arg == "--json") {
      json = true;
    } else if (IsInspectAction(arg)) {
      action = static_cast<char>(arg[1] | 0x20);
    } else if (SameSwitch(arg, "-o")) {
      overwrite = true;
    } else if (arg.size() > 3 && strncasecmp(arg.c_str(), "-cp", 3) == 0 &&
               arg.find_first_not_of("0123456789", 3) == std::string::npos) {
      codePage = atoi(arg.c_str() + 3);
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "orvex: unknown switch " << arg << "\n\n" << Usage;
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  size_t wanted = action == 'x' ? 2 : 1;
  if (!action || positional.size() != wanted) {
    std::cerr << Usage;
    return 2;
  }
  NameConverter names;
  if (!names.Open(codePage)) {
    std::cerr << "orvex: this system cannot convert names from code page " << codePage << "\n";
    return 2;
  }
  InspectStreams io{std::cout, std::cerr};
  switch (action) {
    case 'l':
      return ListSfx(positional[0], names, json, io);
    case 't':
      return TestSfx(positional[0], names, io);
    default:
      return ExtractSfx(positional[0], positional[1], names, overwrite, io);
  }
}
