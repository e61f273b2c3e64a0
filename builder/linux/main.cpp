// orvex for Linux: looks inside SFX files without running them.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "sfxinspect.h"

namespace {

const char Usage[] =
    "orvex " ORVEX_VERSION ": looks inside SFX files without running them\n"
    "\n"
    "  orvex -l [--json] [-cpNNNN] FILE    lists the options and the entries (--json: for programs)\n"
    "  orvex -t [-cpNNNN] FILE             reads and checks every entry, writes nothing\n"
    "  orvex -x [-o] [-cpNNNN] FILE DIR    extracts below DIR; -o replaces existing files\n"
    "  orvex --help | --version\n"
    "\n"
    "-cpNNNN names the ANSI code page of the entry names (1252 unless given, such as -cp1251\n"
    "or -cp932). Nothing is ever run, and nothing is written outside DIR.\n"
    "Exit status: 0 whole; 2 refused (a file that cannot be opened, existing files kept);\n"
    "the extractor's code for a damaged file: 13 invalid data, 23 checksum error, 38 cut\n"
    "short or no archive, 8 a chunk too large, 160 a damaged chunk.\n";

bool SameSwitch(const std::string& arg, const char* name) { return strcasecmp(arg.c_str(), name) == 0; }

}  // namespace

int main(int argc, char** argv) {
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
    } else if (SameSwitch(arg, "-l") || SameSwitch(arg, "-t") || SameSwitch(arg, "-x")) {
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
