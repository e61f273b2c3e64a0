// Writes well-formed archives (without head) as the fuzzer's starting points.
#include <fstream>
#include <string>

#include "sfxwriter.h"

using namespace sfxtest;

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string folder = argv[1];
  SfxOptions options = DefaultOptions();
  SfxOptions stored = DefaultOptions();
  stored.Compressed = 0;
  Entry helper = File("xsfxdel~.exe", "MZ helper bytes", EntryKindSelfDelete);
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\r\n";
  Entry copy = File("d\\b", text);
  copy.copyOf = 2;
  std::vector<Entry> strong = {Folder("d"), File("d\\a", text), copy, File("run.exe", "MZ", EntryKindLaunchTarget)};
  std::string directory = StrongDirectory(strong);
  const std::string seeds[] = {
      MakeArchive(options, {File("a.txt", "hello")}),
      MakeArchive(options, {Folder("docs"), File("docs\\readme.txt", text), File("run.exe", "MZ", EntryKindLaunchTarget)}),
      MakeArchive(stored, {Folder("d"), File("d\\x", "stored content"), File("e", "")}),
      MakeArchive(options, {helper, Folder("sub"), File("sub\\b.bin", std::string(5000, '\x7f'))}),
      MakeStrongArchive(options, strong, 4096),
      // Frames of chunks, both kinds in every block, across several blocks.
      MakeStrongArchive(options, strong, 1024, StrongFlagChunks),
      // For the fuzz target's strong forms: 'S' or 'C', 4 entries, blocks of 4096 (or
      // 1024), the directory.
      std::string("S\4\0\0\x10", 5) + char(directory.size()) + char(directory.size() >> 8) + directory + text + "MZ",
      std::string("C\4\0\0\x04", 5) + char(directory.size()) + char(directory.size() >> 8) + directory + text + "MZ",
  };
  int n = 0;
  for (const std::string& seed : seeds) {
    std::ofstream out(folder + "/seed" + std::to_string(n++), std::ios::binary);
    out << seed;
  }
  return 0;
}
