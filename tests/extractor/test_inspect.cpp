// orvex -l, -t and -x on SFX files written by the test writer: what they show, the codes
// of damaged files (the extractor's own, checked against its reader), and extraction that
// never writes outside its folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "archiverun.h"
#include "scratch.h"
#include "sfxinspect.h"
#include "sfxwriter.h"

using namespace sfxtest;

namespace {

bool Exists(const std::string& path) {
  struct stat about;
  return lstat(path.c_str(), &about) == 0;
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Call(int (*action)(const std::string&, const NameConverter&, InspectStreams), const std::string& file,
         int codePage = 1252) {
  NameConverter names;
  EXPECT_TRUE(names.Open(codePage));
  std::ostringstream out, err;
  int status = action(file, names, {out, err});
  return {status, out.str(), err.str()};
}

int List(const std::string& file, const NameConverter& names, InspectStreams io) {
  return ListSfx(file, names, false, io);
}
int ListJson(const std::string& file, const NameConverter& names, InspectStreams io) {
  return ListSfx(file, names, true, io);
}

Outcome Extract(const std::string& file, const std::string& folder, bool overwrite = false) {
  NameConverter names;
  EXPECT_TRUE(names.Open(1252));
  std::ostringstream out, err;
  int status = ExtractSfx(file, folder, names, overwrite, {out, err});
  return {status, out.str(), err.str()};
}

std::string Big() {
  std::string text;
  for (size_t i = 0; text.size() <= ChunkSize; ++i) text += std::to_string(i * 7919) + (i % 9 ? "," : "\n");
  return text.substr(0, ChunkSize + 1);
}

void ListTestAndExtract(uint8_t layout) {
  ScratchFolder scratch("inspect");
  SfxOptions base = DefaultOptions();
  base.Compressed = layout;
  SfxOptions options = DefaultOptions("00AB12CD34");
  options.Compressed = layout;
  options.ExtractionMode = 1;
  options.ExtractionFolder = 5;
  strcpy(options.CustomFolder, "%TEMP%\\Caf\xE9\\");
  strcpy(options.CmdParameters, "/quiet \"x\"");
  options.DeleteMode = 2;
  Entry readOnly = File("docs\\ro.txt", "locked");
  readOnly.attributes = 0x21;
  readOnly.time = 0x5A8C6C00 + 1;  // 13:32:02
  const std::string big = Big();
  Entry copy = File("docs\\copy.txt", "caf\xE9");
  copy.copyOf = 3;  // of docs\café.txt in the strong layout, whose names are UTF-8
  std::vector<Entry> entries = {File("xsfxdel~.exe", "MZ helper", EntryKindSelfDelete),
                                sfxtest::Folder("docs"),
                                File(layout == CompressedStrong ? "docs\\caf\xC3\xA9.txt" : "docs\\caf\xE9.txt", "caf\xE9"),
                                copy,
                                readOnly,
                                File("empty", ""),
                                sfxtest::Folder("bin"),
                                File("bin\\run.exe", "MZ run", EntryKindLaunchTarget),
                                File("big.bin", big)};
  std::string sfx = WriteFile(scratch / "in.exe", SyntheticHead() + MakeArchive(options, entries));

  Outcome list = Call(List, sfx);
  EXPECT_EQ(list.status, 0) << list.err;
  for (const char* line : {"extractionFolder: a custom folder %TEMP%\\Café\\\n",
                           "mode: launch bin/run.exe /quiet \"x\" in the extraction folder\n", "overwrite: ask\n",
                           "delete: never\n", "instanceId: 00AB12CD34\n",
                           "helper             9  2025-04-12 13:32:00  ---A-  xsfxdel~.exe\n",
                           "folder             0  2025-04-12 13:32:00  ----D  docs\n",
                           "file               6  2025-04-12 13:32:02  R--A-  docs/ro.txt\n",
                           "launch             6  2025-04-12 13:32:00  ---A-  bin/run.exe\n",
                           "file         9437185  2025-04-12 13:32:00  ---A-  big.bin\n", "9 entries, 9437214 bytes\n",
                           layout == CompressedStrong
                               ? "layout: strong (LZMA), blocks of 1048576 bytes, dictionary of 65536 bytes\n"
                               : "layout: deflate\n",
                           layout == CompressedStrong ? "  docs/copy.txt (stored once, with docs/caf\xC3\xA9.txt)\n"
                                                      : "  docs/copy.txt\n"})
    EXPECT_NE(list.out.find(line), std::string::npos) << line << "\nin:\n" << list.out;

  // Python's own reader takes the machine-readable form whole.
  std::string json = WriteFile(scratch / "list.json", Call(ListJson, sfx).out);
  std::string check = "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); e=d[\"entries\"]; "
                      "sys.exit(0 if len(e)==9 and e[2][\"name\"]==\"docs/caf\\u00e9.txt\" and "
                      "d[\"options\"][\"launchTarget\"]==\"bin/run.exe\" and e[8][\"size\"]==9437185 else 1)' " +
                      json;
  EXPECT_EQ(system(check.c_str()), 0) << ReadFile(json);

  // An empty text is an empty string, with no stored bytes to add.
  std::string plain = WriteFile(scratch / "plain.exe", SyntheticHead() + MakeArchive(base, {File("a", "")}));
  EXPECT_NE(Call(ListJson, plain).out.find("\"customFolder\": \"\", \"mode\""), std::string::npos);

  Outcome test = Call(TestSfx, sfx);
  EXPECT_EQ(test.status, 0);
  EXPECT_NE(test.out.find("9 entries, all whole"), std::string::npos) << test.out;

  std::string out = scratch / "out";
  Outcome extract = Extract(sfx, out);
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(ReadFile(out + "/docs/caf\xC3\xA9.txt"), "caf\xE9");
  EXPECT_EQ(ReadFile(out + "/bin/run.exe"), "MZ run");
  EXPECT_TRUE(ReadFile(out + "/big.bin") == big);
  EXPECT_TRUE(Exists(out + "/empty"));
  EXPECT_FALSE(Exists(out + "/xsfxdel~.exe")) << "the helper is the extractor's own";
  struct stat about;
  ASSERT_EQ(stat((out + "/docs/ro.txt").c_str(), &about), 0);
  EXPECT_EQ(about.st_mode & 0222, 0u) << "read-only";
  struct tm local {};
  local.tm_year = 125, local.tm_mon = 3, local.tm_mday = 12, local.tm_hour = 13, local.tm_min = 32,
  local.tm_sec = 2, local.tm_isdst = -1;
  EXPECT_EQ(about.st_mtime, mktime(&local));
  ASSERT_EQ(stat((out + "/bin/run.exe").c_str(), &about), 0);
  EXPECT_NE(about.st_mode & 0200, 0u);

  // Signed after building: the certificate table behind the terminator is no part of the
  // archive. A list of any length is shown entry by entry.
  EXPECT_EQ(Call(TestSfx, WriteFile(scratch / "signed.exe", ReadFile(sfx) + std::string(1032, '\x30'))).status, 0);
  std::vector<Entry> many;
  for (int i = 0; i < 100000; ++i) many.push_back(File("f" + std::to_string(i), ""));
  Outcome listed = Call(List, WriteFile(scratch / "many.exe", SyntheticHead() + MakeArchive(base, many)));
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out.find("f99999\n100000 entries, 0 bytes\n"), std::string::npos);

  // Met again: existing files are kept unless -o replaces them; a copy of a kept file
  // still comes from the archive.
  WriteFile(out + "/empty", "mine");
  WriteFile(out + "/docs/caf\xC3\xA9.txt", "mine");
  unlink((out + "/docs/copy.txt").c_str());
  extract = Extract(sfx, out);
  EXPECT_EQ(extract.status, 2);
  EXPECT_NE(extract.err.find("empty: exists, kept (-o replaces it)"), std::string::npos) << extract.err;
  EXPECT_EQ(ReadFile(out + "/empty"), "mine");
  EXPECT_EQ(ReadFile(out + "/docs/copy.txt"), "caf\xE9");
  EXPECT_EQ(Extract(sfx, out, true).status, 0);
  EXPECT_EQ(ReadFile(out + "/empty"), "");
}

TEST(Inspect, ListTestAndExtractShowTheTreeAsStored) {
  for (uint8_t layout : {CompressedDeflate, CompressedStrong}) {
    SCOPED_TRACE(int(layout));
    ListTestAndExtract(layout);
  }
}

// The file at `name` (parts split by backslashes) below `root`, opened folder by folder, as
// a path past PATH_MAX cannot be opened whole.
std::string ReadBelow(const std::string& root, const std::string& name) {
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (size_t start = 0, end = 0; end != std::string::npos && fd >= 0; start = end + 1) {
    end = name.find('\\', start);
    int next = openat(fd, name.substr(start, end - start).c_str(), O_RDONLY | O_NOFOLLOW);
    close(fd);
    fd = next;
  }
  std::string content(1 << 16, '\0');
  ssize_t got = fd < 0 ? -1 : read(fd, &content[0], content.size());
  if (fd >= 0) close(fd);
  return got < 0 ? "(unreadable)" : content.substr(0, static_cast<size_t>(got));
}

// A strong archive's names and texts, in any script, are shown and restored in UTF-8, and
// -x makes paths of any length below its folder (here past PATH_MAX), folder by folder.
TEST(Inspect, UnicodeNamesAndTextsRoundTrip) {
  ScratchFolder scratch("inspect");
  SfxOptions options = DefaultOptions();
  options.ExtractionMode = 1;
  options.ExtractionFolder = 5;
  std::vector<Entry> entries = UnicodeTree("MZ launch");
  std::string deeper;
  for (int i = 0; i < 20; ++i) entries.push_back(sfxtest::Folder(deeper += (i ? "\\" : "") + std::string(249, 'x')));
  entries.push_back(File(deeper + "\\far.txt", "far"));
  const std::string folder = "%TEMP%\\\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0\\", parameters = "/n \xF0\x9F\x98\x80";
  std::string sfx = WriteFile(scratch / "u.exe", SyntheticHead() + MakeStrongArchive(options, entries, folder, parameters));
  Outcome list = Call(List, sfx);
  EXPECT_EQ(list.status, 0) << list.err;
  auto shown = [](std::string name) { return std::replace(name.begin(), name.end(), '\\', '/'), name; };
  std::vector<std::string> lines = {"extractionFolder: a custom folder " + folder + "\n",
                                    "mode: launch " + shown(entries[6].name) + " " + parameters + " in the extraction folder\n"};
  for (const Entry& e : entries) lines.push_back("  " + shown(e.name) + "\n");
  for (const std::string& line : lines) EXPECT_NE(list.out.find(line), std::string::npos) << line;
  std::string json = WriteFile(scratch / "u.json", Call(ListJson, sfx).out);
  std::string check = "python3 -c 'import json,sys; o=json.load(open(sys.argv[1]))[\"options\"]; "
                      "sys.exit(0 if o[\"customFolder\"]==sys.argv[2] and o[\"parameters\"]==sys.argv[3] else 1)' " +
                      json + " '" + folder + "' '" + parameters + "'";
  EXPECT_EQ(system(check.c_str()), 0) << ReadFile(json);

  std::string out = scratch / "out";
  Outcome extract = Extract(sfx, out);
  EXPECT_EQ(extract.status, 0) << extract.err;
  for (const Entry& e : entries) {
    if (!(e.attributes & AttributeDirectory)) EXPECT_EQ(ReadBelow(out, e.name), e.content) << shown(e.name);
  }
}

// An entry past 4 GiB of zeros, a few hundred kilobytes in the file, listed and checked whole.
TEST(Inspect, EntriesPastFourGigabytes) {
  ScratchFolder scratch("inspect");
  const std::string zeros(StrongMaxBlockSize, '\0'), frame = Frame(zeros);
  std::string frames, directory = StrongDirectory({File("zeros", "")});
  uLong crc = 0;
  for (int i = 0; i < 65; ++i) frames += frame, crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), StrongMaxBlockSize);
  const uint64_t size = 65ull * StrongMaxBlockSize;
  memcpy(&directory[9], &size, 8);
  memcpy(&directory[17], &crc, 4);
  std::string sfx = WriteFile(scratch / "big.exe", SyntheticHead() + StrongArchive(DefaultOptions(), directory, 1, size,
                                                                                    StrongMaxBlockSize, frames));
  EXPECT_NE(Call(List, sfx).out.find("  4362076160  2025-04-12 13:32:00  ---A-  zeros\n1 entries, 4362076160 bytes\n"),
            std::string::npos);
  EXPECT_EQ(Call(TestSfx, sfx).status, 0);
}

// -t gives the code the extractor ends with, on every input of the fuzz corpus, on every
// cut of a small file and on each kind of damage; -l and -x refuse what the scan refuses.
TEST(Inspect, DamagedFilesEndWithTheExtractorsCodes) {
  ScratchFolder scratch("inspect");
  std::vector<std::string> inputs;
  std::ifstream index(ORVEX_CORPUS_DIR "/index.txt");
  for (std::string name; std::getline(index, name);)
    if (!name.empty()) inputs.push_back(SyntheticHead() + ReadFile(ORVEX_CORPUS_DIR "/" + name));
  ASSERT_GT(inputs.size(), 10u);
  std::string whole = SyntheticHead() + MakeArchive(DefaultOptions(), {sfxtest::Folder("d"), File("d\\a", "alpha")});
  for (size_t cut = 0; cut < whole.size(); ++cut) inputs.push_back(whole.substr(0, cut));
  std::string checksum = whole;
  checksum[checksum.size() - 17 - 1] ^= 1;
  inputs.push_back(checksum);
  std::string strong = SyntheticHead() + MakeStrongArchive(DefaultOptions(), {sfxtest::Folder("d"), File("d\\a", "alpha")});
  for (size_t cut = SyntheticHead().size(); cut < strong.size(); ++cut) inputs.push_back(strong.substr(0, cut));
  std::string later = strong;
  later[SyntheticHead().size() + sizeof(SfxOptions) + 4] = StrongVersion + 1;
  inputs.push_back(later);
  inputs.push_back("not an SFX file at all");
  // Refused by both alike: a folder no folder entry names, names Windows would change.
  for (const Entry& e : {File("orphan\\a", "alpha"), File("dot.", "x"), File("blank ", "x")})
    inputs.push_back(SyntheticHead() + MakeArchive(DefaultOptions(), {e}));
  std::string path = scratch / "damaged.exe";
  for (const std::string& bytes : inputs) {
    WriteFile(path, bytes);
    RunResult reader = RunArchive(bytes);
    Outcome test = Call(TestSfx, path);
    ASSERT_EQ(static_cast<uint32_t>(test.status), reader.code) << test.out << test.err;
    Outcome list = Call(List, path);
    if (!reader.scanned) {
      EXPECT_EQ(static_cast<uint32_t>(list.status), reader.code);
      EXPECT_EQ(list.out, "") << "no options for a file the scan refuses";
      EXPECT_EQ(list.err.find('\n'), list.err.size() - 1) << "the error once: " << list.err;
    }
    std::string out = scratch / "out";
    Outcome extract = Extract(path, out);
    // A well-read list can still ask for what a file system refuses (a file and a folder
    // of one name): that ends with 1.
    EXPECT_TRUE(static_cast<uint32_t>(extract.status) == reader.code || (reader.scanned && extract.status == 1))
        << extract.status << " " << reader.code << ": " << extract.err;
    if (!reader.scanned) {
      EXPECT_FALSE(Exists(out + "/d")) << "nothing is written before the whole list is read";
    }
    EXPECT_FALSE(Exists(out + "/orphan") || Exists(out + "/dot.") || Exists(out + "/blank "));
    system(("rm -rf '" + out + "'").c_str());
  }

  Outcome versioned = Call(List, WriteFile(path, later));
  EXPECT_NE(versioned.err.find(": the strong layout of version 2, which this orvex does not read (it reads version 1) (13)"),
            std::string::npos) << versioned.err;

  // A fifo or a device as FILE is refused at once: a writer that would let a waiting
  // open go on comes only after the inspections should have ended.
  std::string fifo = scratch / "fifo.exe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> done{false}, waited{false};
  std::thread writer([&] {
    for (int fd; usleep(200000), !done;)
      if ((fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0) waited = true, close(fd);
  });
  const Outcome refused[] = {Call(List, fifo), Call(TestSfx, fifo), Extract(fifo, scratch / "fifo"), Call(List, "/dev/zero")};
  done = true;
  writer.join();
  EXPECT_FALSE(waited) << "an open waited for a writer";
  for (const Outcome& o : refused) EXPECT_TRUE(o.status == 2 && o.err.find(": not a file\n") != std::string::npos) << o.err;

  // Each damaged entry is named, and the pass goes on to the next.
  std::vector<Entry> three = {File("a", "alpha"), File("b", "bravo"), File("c", "c")};
  std::string two = SyntheticHead() + MakeArchive(DefaultOptions(), three);
  size_t a = SyntheticHead().size() + sizeof(SfxOptions) + EncodeEntry(three[0], true).size();
  size_t b = a + EncodeEntry(three[1], true).size();
  two[a - 1] ^= 1;  // the last byte of each checksum
  two[b - 1] ^= 1;
  Outcome test = Call(TestSfx, WriteFile(path, two));
  EXPECT_EQ(test.status, int(ArchiveChecksum));
  EXPECT_NE(test.out.find("damaged: a: checksum error (23)\ndamaged: b: checksum error (23)\n"), std::string::npos)
      << test.out;
  EXPECT_NE(test.out.find("2 of 3 entries damaged"), std::string::npos);
  std::string out = scratch / "partial";
  EXPECT_EQ(Extract(path, out).status, int(ArchiveChecksum));
  EXPECT_EQ(system(("test -z \"$(ls -A '" + out + "')\"").c_str()), 0) << "no part of a damaged file stays";
}

// A hostile file's texts reach the terminal with every control character, every character
// that reorders text and every byte without a character as \xHH, and the JSON as valid
// UTF-8 that keeps every byte. Code page 65001 is the UTF-8 the Linux builder writes.
TEST(Inspect, StoredTextsReachNoTerminalRawAndTheJsonWhole) {
  ScratchFolder scratch("inspect");
  // The stored bytes of a text in hexadecimal are given only when a byte has no character.
  const struct { int codePage; std::string stored, shown, json, bytes; } rows[] = {
      {1252, "\x1B]0;owned\x07\x1B[2Jverified", "\\x1B]0;owned\\x07\\x1B[2Jverified", "\\u001b]0;owned\\u0007\\u001b[2Jverified", ""},
      {1252, "caf\xE9\x7F\x81", "caf\xC3\xA9\\x7F\\x81", "caf\xC3\xA9\\u007f\\ufffd", "636166E97F81"},
      {65001, "\xC2\x9B" "2J\xE2\x80\xAEgpj.exe", "\\xC2\\x9B2J\\xE2\\x80\\xAEgpj.exe", "\\u009b2J\\u202egpj.exe", ""},
      {65001, "caf\xC3\xA9 \xFF", "caf\xC3\xA9 \\xFF", "caf\xC3\xA9 \\ufffd", "636166C3A920FF"},
  };
  for (const auto& row : rows) {
    SfxOptions options = DefaultOptions();
    options.ExtractionMode = 1;
    options.ExtractionFolder = 5;
    strcpy(options.CustomFolder, row.stored.c_str());
    strcpy(options.CmdParameters, row.stored.c_str());
    bool named = row.stored[0] != '\x1B';  // names hold no control character
    std::vector<Entry> entries = {File("run.exe", "MZ", EntryKindLaunchTarget), sfxtest::Folder("d")};
    if (named) entries.push_back(File("d\\" + row.stored, "x"));
    std::string sfx = WriteFile(scratch / "t.exe", SyntheticHead() + MakeArchive(options, entries));
    Outcome list = Call(List, sfx, row.codePage);
    for (const std::string& line : {"extractionFolder: a custom folder " + row.shown + "\n",
                                    "mode: launch run.exe " + row.shown + " in the extraction folder\n",
                                    named ? "  d/" + row.shown + "\n" : "\n"})
      EXPECT_NE(list.out.find(line), std::string::npos) << line << list.out << list.err;
    // Nothing a terminal acts on: C0 and C1 controls, DEL, a bidirectional override.
    for (const char* raw : {"\x1B", "\x07", "\x7F", "\xC2\x9B", "\xE2\x80\xAE"})
      EXPECT_EQ(list.out.find(raw), std::string::npos) << list.out;

    std::string json = WriteFile(scratch / "t.json", Call(ListJson, sfx, row.codePage).out);
    std::string member = "\"customFolder\": \"" + row.json +
                         (row.bytes.empty() ? "\"" : "\", \"customFolderBytes\": \"" + row.bytes + "\"");
    EXPECT_NE(ReadFile(json).find(member), std::string::npos) << member << "\n" << ReadFile(json);
    std::string strict = "python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding=\"utf-8\", errors=\"strict\"))' ";
    EXPECT_EQ(system((strict + json).c_str()), 0) << ReadFile(json);
  }
}

TEST(Inspect, ExtractNeverWritesThroughALink) {
  ScratchFolder scratch("inspect");
  std::string outside = scratch / "outside";
  mkdir(outside.c_str(), 0777);
  WriteFile(outside + "/f.txt", "the user's");
  const std::vector<std::vector<Entry>> archives = {
      {sfxtest::Folder("sub"), File("sub\\f.txt", "evil")},
      {sfxtest::Folder("sub"), sfxtest::Folder("sub\\deeper"), File("sub\\deeper\\f.txt", "evil")},
  };
  for (size_t i = 0; i < archives.size(); ++i) {
    std::string out = scratch / ("out" + std::to_string(i));
    mkdir(out.c_str(), 0777);
    ASSERT_EQ(symlink(outside.c_str(), (out + "/sub").c_str()), 0);
    std::string sfx = WriteFile(scratch / "link.exe", SyntheticHead() + MakeArchive(DefaultOptions(), archives[i]));
    Outcome extract = Extract(sfx, out, true);
    EXPECT_NE(extract.status, 0) << i;
    EXPECT_NE(extract.err.find("a link or a file stands where a folder goes"), std::string::npos) << extract.err;
    EXPECT_EQ(ReadFile(outside + "/f.txt"), "the user's") << i;
    EXPECT_FALSE(Exists(outside + "/deeper")) << i;
  }
  // A link in a file's place is replaced itself; what it points to stays.
  std::string out = scratch / "filelink";
  mkdir(out.c_str(), 0777);
  ASSERT_EQ(symlink((outside + "/f.txt").c_str(), (out + "/f.txt").c_str()), 0);
  std::string sfx = WriteFile(scratch / "file.exe", SyntheticHead() + MakeArchive(DefaultOptions(), {File("f.txt", "new")}));
  EXPECT_EQ(Extract(sfx, out, true).status, 0);
  EXPECT_EQ(ReadFile(outside + "/f.txt"), "the user's");
  EXPECT_EQ(ReadFile(out + "/f.txt"), "new");
}

}  // namespace
