#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "archiverun.h"
#include "sfxwriter.h"

using namespace sfxtest;

namespace {

std::string Pattern(size_t size, uint32_t seed) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    // Half text-like, half noise, so chunks compress but not to nothing.
    text[i] = (i / 4096) % 2 ? static_cast<char>(seed >> 24) : static_cast<char>('a' + (seed >> 28));
  }
  return text;
}

std::string Sfx(const SfxOptions& options, const std::vector<Entry>& entries) {
  return SyntheticHead() + MakeArchive(options, entries);
}

std::string Sfx(const std::vector<Entry>& entries) { return Sfx(DefaultOptions(), entries); }

// Where the strong layout's header lies in Sfx's result.
const size_t StrongAt = 1024 + sizeof(SfxOptions);

template <typename T>
std::string Patched(std::string bytes, size_t at, T value) {
  std::memcpy(&bytes[at], &value, sizeof value);
  return bytes;
}

TEST(ArchiveReader, RestoresEntriesAtAwkwardSizesStoredAndCompressed) {
  std::vector<Entry> entries = {Folder("docs"), File("docs\\empty.txt", ""), File("one", "x"),
                                File("docs\\chunk.bin", Pattern(ChunkSize, 1)),
                                File("chunk+1.bin", Pattern(ChunkSize + 1, 2), EntryKindLaunchTarget)};
  for (uint8_t compressed : {CompressedDeflate, CompressedNone, CompressedStrong}) {
    SfxOptions options = DefaultOptions();
    options.Compressed = compressed;
    RunResult result = RunArchive(Sfx(options, entries));
    ASSERT_EQ(result.code, 0u) << "compressed " << int(compressed);
    EXPECT_EQ(result.totalSize, 2 * int64_t(ChunkSize) + 2);
    ASSERT_EQ(result.entries.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(result.entries[i].name, entries[i].name);
      EXPECT_EQ(result.entries[i].header.Kind, entries[i].kind);
      EXPECT_TRUE(result.entries[i].content == entries[i].content) << entries[i].name;
    }
  }
}

TEST(ArchiveReader, SmallReadsShareOneWindow) {
  std::vector<Entry> entries;
  for (int i = 0; i < 100; ++i) entries.push_back(File("f" + std::to_string(i), "content"));
  RunResult result = RunArchive(Sfx(entries));
  ASSERT_EQ(result.code, 0u);
  // Head walk, options, then a few windows per pass: not four reads per entry.
  EXPECT_LT(result.reads, 40u);
}

TEST(ArchiveReader, RefusesArchivesWithoutTerminatorButNotWithoutContent) {
  EXPECT_EQ(RunArchive(SyntheticHead()).code, ArchiveShort) << "bare head";
  EXPECT_EQ(RunArchive(SyntheticHead() + std::string(410, '\0')).code, ArchiveShort) << "no room after the record";
  for (const auto& entries : {std::vector<Entry>{}, std::vector<Entry>{Folder("a"), File("a\\empty", "")}}) {
    RunResult result = RunArchive(Sfx(entries));
    EXPECT_EQ(result.code, 0u) << entries.size() << " entries, no content bytes";
    EXPECT_TRUE(result.scanned);
    EXPECT_EQ(result.totalSize, 0);
    EXPECT_EQ(result.entries.size(), entries.size());
  }
  Entry helper = File("xsfxdel~.exe", "MZ helper", EntryKindSelfDelete);
  helper.time = 0;
  helper.attributes = 0;
  EXPECT_EQ(RunArchive(Sfx({helper, Folder("a")})).code, 0u) << "the helper's bytes count";
  std::string noTerminator = Sfx({File("a", "abc")});
  noTerminator.resize(noTerminator.size() - 17);
  EXPECT_EQ(RunArchive(noTerminator).code, ArchiveInvalid);
  // A non-zero kind byte does not keep a zero header from ending the list.
  std::string kindedTerminator = Sfx({File("a", "abc")});
  kindedTerminator[kindedTerminator.size() - 17] = 2;
  EXPECT_EQ(RunArchive(kindedTerminator).code, 0u);
}

TEST(ArchiveReader, TruncationNeverRestoresAnything) {
  std::string whole = Sfx({Folder("d"), File("d\\a.txt", Pattern(300, 3)), File("b.bin", Pattern(70000, 4)),
                           File("c.txt", "last")});
  ASSERT_EQ(RunArchive(whole).code, 0u);
  size_t archive = SyntheticHead().size();
  for (size_t cut = archive; cut < whole.size(); cut += (cut < archive + 1200 ? 1 : 4096)) {
    RunResult result = RunArchive(whole.substr(0, cut));
    EXPECT_FALSE(result.scanned) << "cut at " << cut;
    EXPECT_TRUE(result.entries.empty()) << "cut at " << cut;
    EXPECT_TRUE(result.code == ArchiveShort || result.code == ArchiveInvalid) << "cut at " << cut << ": " << result.code;
  }
  // The strong layout in blocks smaller than its files, so cuts fall between frames too,
  // and between and inside the chunks of both kinds.
  for (uint8_t flags : {uint8_t{0}, StrongFlagChunks}) {
    std::string strong = SyntheticHead() + MakeStrongArchive(DefaultOptions(), {File("b", Pattern(70000, 4)), File("c", "z")},
                                                             16384, flags);
    ASSERT_EQ(RunArchive(strong).code, 0u) << "flags " << int(flags);
    for (size_t cut = archive; cut < strong.size(); cut += 7) {
      RunResult result = RunArchive(strong.substr(0, cut));
      EXPECT_TRUE(!result.scanned && (result.code == ArchiveShort || result.code == ArchiveInvalid))
          << "flags " << int(flags) << " cut " << cut;
    }
  }
  // Inside a header or a chunk frame the read fails (38); inside content the scan runs
  // off the end and finds no terminator (13).
  size_t firstHeader = archive + 410;
  EXPECT_EQ(RunArchive(whole.substr(0, firstHeader + 5)).code, ArchiveShort);
  size_t aFrame = firstHeader + 17 + 1 + 4 + 17 + 7;
  EXPECT_EQ(RunArchive(whole.substr(0, aFrame + 3)).code, ArchiveShort);
  EXPECT_EQ(RunArchive(whole.substr(0, aFrame + 8 + 10)).code, ArchiveInvalid);
}

TEST(ArchiveReader, DamagedChunks) {
  std::string good = Sfx({File("a.txt", Pattern(5000, 5))});
  size_t frame = SyntheticHead().size() + 410 + 17 + 5;
  uint32_t packed = 0;
  std::memcpy(&packed, &good[frame + 4], 4);

  std::string flipped = good;
  flipped[frame + 8 + packed / 2] ^= 0x55;
  RunResult result = RunArchive(flipped);
  EXPECT_TRUE(result.code == ArchiveInflate || result.code == ArchiveChecksum) << result.code;
  EXPECT_TRUE(result.scanned) << "a damaged stream is found when inflating";

  std::string badSum = good;
  badSum[badSum.size() - 17 - 1] ^= 1;
  EXPECT_EQ(RunArchive(badSum).code, ArchiveChecksum);

  std::string huge = good;
  uint32_t tooLong = ChunkBufferSize + 1;
  std::memcpy(&huge[frame + 4], &tooLong, 4);
  result = RunArchive(huge);
  EXPECT_EQ(result.code, ArchiveTooLarge);
  EXPECT_FALSE(result.scanned) << "refused before anything is written";

  // Frames that disagree with the entry's size would make the two passes disagree.
  for (uint32_t raw : {0u, 4999u + 2, ChunkSize + 1}) {
    std::string bad = good;
    std::memcpy(&bad[frame], &raw, 4);
    EXPECT_EQ(RunArchive(bad).code, ArchiveInvalid) << raw;
  }
  // A stream that yields more bytes than its frame and entry promise.
  std::string t = Sfx({File("s", "abcd")});
  size_t header = SyntheticHead().size() + 410;
  uint32_t three = 3;
  std::memcpy(&t[header + 5], &three, 4);           // Size
  std::memcpy(&t[header + 17 + 1], &three, 4);      // raw length of the chunk
  EXPECT_EQ(RunArchive(t).code, ArchiveInflate);
}

// Damage only the strong layout can carry; where the scan can see it, nothing is begun.
TEST(ArchiveReader, DamagedStrongArchives) {
  const SfxOptions options = DefaultOptions();
  auto strong = [&](std::vector<Entry> entries) { return SyntheticHead() + MakeStrongArchive(options, entries); };
  auto copy = [](Entry e, uint32_t of) { return e.copyOf = of, e; };
  auto copies = [&](uint32_t first, uint32_t folder, uint32_t last, const std::string& content = "same") {
    return strong({copy(File("a", "same"), first), copy(Folder("d"), folder), copy(File("d\\b", content), last)});
  };
  // One file of `size` bytes whose CRC is that of `content`, and frames made by hand.
  auto handMade = [&](uint64_t size, uint32_t blockSize, const std::string& frames, const std::string& content = "abcdefgh",
                      uint8_t flags = 0) {
    std::string directory = Patched(StrongDirectory({File("a", content)}), 9, size);
    return SyntheticHead() + StrongArchive(options, directory, 1, size, blockSize, frames, flags);
  };
  // "abcdefgh" in one block of chunks: a four-byte length, then each chunk's raw and stored
  // lengths and its stored bytes.
  auto le32 = [](uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); };
  auto chunk = [&](uint32_t raw, const std::string& stored) { return le32(raw) + le32(uint32_t(stored.size())) + stored; };
  auto chunks = [&](const std::string& frame) {
    return handMade(8, 8, le32(uint32_t(frame.size())) + frame, "abcdefgh", StrongFlagChunks);
  };
  const std::string good = strong({File("a", Pattern(5000, 5)), File("b", "bravo")});
  // An LZMA stream starts with a zero byte.
  uint32_t directoryPacked;
  std::memcpy(&directoryPacked, &good[StrongAt + 32], 4);
  const struct { const char* what; std::string bytes; uint32_t code; bool scanned; } rows[] = {
      {"another magic", Patched(good, StrongAt, 'X'), ArchiveInvalid, false},
      {"a later version", Patched<uint8_t>(good, StrongAt + 4, StrongVersion + 1), ArchiveInvalid, false},
      {"an unknown flag", Patched<uint8_t>(good, StrongAt + 5, StrongKnownFlags + 1), ArchiveInvalid, false},
      {"a block beyond the limit", Patched(good, StrongAt + 12, StrongMaxBlockSize + 1), ArchiveTooLarge, false},
      {"a dictionary beyond the limit", Patched(good, StrongAt + 7, StrongMaxDictionarySize + 1), ArchiveTooLarge, false},
      {"a directory beyond the limit", Patched(good, StrongAt + 28, StrongMaxDirectorySize + 1), ArchiveTooLarge, false},
      {"a directory that does not decode", Patched(good, StrongAt + 40, '\x01'), ArchiveInflate, false},
      {"a directory of another length", Patched(good, StrongAt + 28, uint32_t(2 * 27 + 2 + 1)), ArchiveInvalid, false},
      {"a directory CRC mismatch", Patched(good, StrongAt + 36, 0u), ArchiveChecksum, false},
      {"an entry the directory does not hold", Patched(good, StrongAt + 16, 3u), ArchiveInvalid, false},
      {"content the files do not add up to", Patched<uint64_t>(good, StrongAt + 20, 5006), ArchiveInvalid, false},
      {"a copy", copies(0, 0, 1), 0, true},
      {"a copy that points forward", copies(3, 0, 0), ArchiveInvalid, false},
      {"a copy of itself", copies(0, 0, 3), ArchiveInvalid, false},
      {"a copy of a folder", copies(0, 0, 2), ArchiveInvalid, false},
      {"a folder that is a copy", copies(0, 1, 0), ArchiveInvalid, false},
      {"a copy of a copy", strong({File("a", "x"), copy(File("b", "x"), 1), copy(File("c", "x"), 2)}), ArchiveInvalid, false},
      {"a copy of another size", copies(0, 0, 1, "same!"), ArchiveInvalid, false},
      {"a copy of another CRC", copies(0, 0, 1, "samE"), ArchiveInvalid, false},
      {"a claimed size of petabytes", handMade(1ull << 50, 1 << 20, Frame("abcdefgh")), ArchiveShort, false},
      {"a block count that overflows", handMade(~0ull - 5, 1, Frame("abcdefgh")), ArchiveInvalid, false},
      {"a frame beyond the limit", handMade(8, 8, Patched(Frame("abcdefgh"), 0, uint32_t(StrongMaxPacked(8) + 1))),
       ArchiveTooLarge, false},
      {"a block that does not decode", Patched(good, StrongAt + 44 + directoryPacked, '\x01'), ArchiveInflate, true},
      {"a frame of no bytes", handMade(8, 8, std::string(4, '\0')), ArchiveInflate, true},
      {"a block that decodes short", handMade(8, 8, Frame("abcdefg")), ArchiveInflate, true},
      {"a block that goes on", handMade(8, 8, Frame("abcdefghi")), ArchiveInflate, true},
      {"a CRC mismatch", handMade(8, 8, Frame("abcdefgh"), "abcdefgX"), ArchiveChecksum, true},
      {"chunks as they are", chunks(chunk(3, "abc") + chunk(5, "defgh")), 0, true},
      {"a chunk past its block", chunks(chunk(9, "abcdefghi")), ArchiveInflate, true},
      {"a chunk of no bytes", chunks(chunk(0, "") + chunk(8, "abcdefgh")), ArchiveInflate, true},
      {"a chunk stored longer than it is", chunks(chunk(3, "abcd") + chunk(5, "efgh")), ArchiveInflate, true},
      {"a chunk past its frame", chunks(le32(8) + le32(8) + "abcd"), ArchiveInflate, true},
      {"chunks that end short", chunks(chunk(4, "abcd")), ArchiveInflate, true},
      {"chunks that go on", chunks(chunk(8, "abcdefgh") + "x"), ArchiveInflate, true},
      {"a chunk that does not decode", chunks(chunk(8, std::string("\x01\x02\x03", 3))), ArchiveInflate, true},
  };
  for (const auto& row : rows) {
    RunResult result = RunArchive(row.bytes);
    EXPECT_EQ(result.code, row.code) << row.what;
    EXPECT_EQ(result.scanned, row.scanned) << row.what;
    EXPECT_TRUE(row.scanned || result.entries.empty()) << row.what;
  }
}

// A copy is made from its original's content in the archive: kept in memory within the
// budget, decoded again past it, and the stream then goes on from the block it was in.
TEST(ArchiveReader, CopiesComeOutAsTheirOriginals) {
  std::string big(StrongCacheBudget + 1, 'b');
  for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
  Entry copyOfBig = File("c1", big), copyOfSmall = File("c2", "small"), again = File("c3", big);
  copyOfBig.copyOf = again.copyOf = 1;
  copyOfSmall.copyOf = 2;
  std::vector<Entry> entries = {File("big", big), File("small", "small"), File("p", Pattern(2 << 20, 6)), copyOfBig,
                                copyOfSmall, File("q", Pattern(1 << 20, 7)), again};
  RunResult result = RunArchive(SyntheticHead() + MakeStrongArchive(DefaultOptions(), entries));
  ASSERT_EQ(result.code, 0u);
  ASSERT_EQ(result.entries.size(), entries.size());
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_TRUE(result.entries[i].content == entries[i].content) << i;
}

TEST(ArchiveReader, RefusesUnsafeNamesBeforeWritingAnything) {
  const char* unsafe[] = {"\\abs.txt", "/abs.txt", "C:\\x.txt", "c:x.txt", "\\\\server\\share\\x", "..\\up.txt",
                          "d\\..\\..\\up.txt", "d/../up", "..", ".", "d\\.\\b", "d\\\\b", "d\\", "a.txt:stream",
                          "CON", "nul.txt", "d\\Com1", "LPT9.log", "aux .txt", "conin$", "d\\prn", "...",
                          ". .", "tab\there", "COM\xB9", "a*.txt", "what?", "say\"hi\"", "a<b", "a>b",
                          "pipe|d\\f", "d\\pi|pe", "x.", "x ", "d\\x.txt.", "d.\\x", "d \\x"};
  for (const char* name : unsafe) {
    RunResult result = RunArchive(Sfx({File("fine.txt", "ok"), Folder("d"), File(name, "evil")}));
    EXPECT_EQ(result.code, ArchiveInvalid) << name;
    EXPECT_TRUE(result.entries.empty()) << name;
  }
  EXPECT_EQ(RunArchive(Sfx({File(std::string("a\0b", 3), "x")})).code, ArchiveInvalid);
  const char* safe[] = {"a.txt", "console.txt", "COM10", "a..b", ".hidden", "d\\..y", "nul2.txt", "d\\f", " x"};
  for (const char* name : safe) EXPECT_EQ(RunArchive(Sfx({Folder("d"), File(name, "fine")})).code, 0u) << name;

  // The strong layout's names are UTF-8, checked as the UTF-16 that Windows creates: each
  // name above, and what only UTF-8 and Unicode can spell.
  auto with = [](std::vector<Entry> entries, const Entry& last) { return entries.push_back(last), entries; };
  auto repeated = [](const std::string& text, size_t count) { std::string out; while (count--) out += text; return out; };
  std::vector<Entry> deep;  // 160 folders, each 250 characters deeper
  for (std::string path; deep.size() < 160;) deep.push_back(Folder(path += (path.empty() ? "" : "\\") + std::string(249, 'd')));
  const struct { const char* what; std::vector<Entry> entries; std::string folder = {}, parameters = {}; } strongRows[] = {
      {"an overlong slash", {File("a\xC0\xAF" "b", "x")}},
      {"an overlong three-byte form", {File("a\xE0\x80\xAF", "x")}},
      {"an encoded surrogate", {File("\xED\xA0\x80", "x")}},
      {"a code point past U+10FFFF", {File("\xF4\x90\x80\x80", "x")}},
      {"a five-byte form", {File("\xF8\x88\x80\x80\x80", "x")}},
      {"a stray continuation byte", {File("a\x80", "x")}},
      {"a cut sequence", {File("a\xE2\x82", "x")}},
      {"a NUL inside", {File(std::string("a\0b", 3), "x")}},
      {"a name of 10,000 bytes", {File(std::string(10000, 'n'), "x")}},
      {"a part of 256 units", {Folder("d"), File("d\\" + repeated("\xC3\xA9", 256), "x")}},
      {"a path of 40,000 characters", with(deep, File("x", "x"))},
      {"a full-width device name", {File("\xEF\xBC\xA3\xEF\xBC\xAF\xEF\xBC\xAE", "x")}},  // ＣＯＮ
      {"COM and a full-width digit", {Folder("d"), File("d\\COM\xEF\xBC\x91", "x")}},
      {"COM and a superscript digit", {File("COM\xC2\xB9", "x")}},
      {"the same name twice", {File("a", "x"), File("a", "y")}},
      {"Greek names that differ in case", {File("\xCE\xB1\xCE\xB2", "x"), File("\xCE\x91\xCE\x92", "y")}},
      {"Cyrillic folders that differ in case", {Folder("\xD0\x96"), Folder("\xD0\xB6")}},
      {"Armenian names that differ in case", {File("\xD5\xA1.txt", "x"), File("\xD4\xB1.txt", "y")}},
      {"a file and a folder that differ in case", {Folder("d"), File("d\\\xD1\x8F", "x"), Folder("d\\\xD0\xAF")}},
      {"a custom folder with a bar", {File("a", "x")}, "C:\\a|b", ""},
      {"a custom folder that names a device", {File("a", "x")}, "%TEMP%\\nul", ""},
      {"parameters with an encoded surrogate", {File("a", "x")}, "", "/x \xED\xB0\x80"},
      {"parameters beyond the longest text", {File("a", "x")}, "", std::string(StrongMaxTextLength + 1, 'p')},
  };
  for (const auto& row : strongRows) {
    RunResult result =
        RunArchive(SyntheticHead() + MakeStrongArchive(DefaultOptions(), row.entries, row.folder, row.parameters));
    EXPECT_EQ(result.code, ArchiveInvalid) << row.what;
    EXPECT_TRUE(!result.scanned && result.entries.empty()) << row.what;
  }
  for (const char* name : unsafe) {
    RunResult result = RunArchive(SyntheticHead() + MakeStrongArchive(DefaultOptions(), {Folder("d"), File(name, "x")}));
    EXPECT_TRUE(result.code == ArchiveInvalid && result.entries.empty()) << name;
  }
  // Names that differ only in normalisation (precomposed, then decomposed) are two names
  // to Windows; texts outside every code page are carried as they are.
  const std::string folder = "%USERPROFILE%\\\xE6\x97\xA5\xE6\x9C\xAC\\", parameters = "/n \xF0\x9F\x98\x80 \"\xD0\x96\"";
  const std::vector<Entry> accepted = with(with(with(UnicodeTree("MZ"), File("\xC3\xA9", "nfc")), File("e\xCC\x81", "nfd")),
                                           File(repeated("\xE6\x97\xA5", 255), "255 units of 765 bytes"));
  RunResult result = RunArchive(SyntheticHead() + MakeStrongArchive(DefaultOptions(), accepted, folder, parameters));
  EXPECT_EQ(result.code, 0u);
  EXPECT_EQ(result.entries.size(), accepted.size());
  EXPECT_TRUE(gArchiveTexts.carried && gArchiveTexts.customFolder == folder && gArchiveTexts.parameters == parameters);
}

TEST(ArchiveReader, RefusesHeadersThatDisagreeWithTheFormat) {
  Entry folderWithContent = Folder("d");
  folderWithContent.content = "x";
  Entry longName = File(std::string(MaxEntryNameLength + 1, 'n'), "x");
  Entry launchFolder = Folder("d");
  launchFolder.kind = EntryKindLaunchTarget;
  Entry foreignHelper = File("evil.exe", "MZ", EntryKindSelfDelete);
  Entry unknownKind = File("k", "x", 3);
  for (const Entry& e : {folderWithContent, longName, launchFolder, foreignHelper, unknownKind})
    EXPECT_EQ(RunArchive(Sfx({File("a", "ok"), e})).code, ArchiveInvalid) << e.name.substr(0, 20);
  EXPECT_EQ(RunArchive(Sfx({File("XSFXDEL~.EXE", "MZ", EntryKindSelfDelete)})).code, 0u);

  // An entry's folder is the last folder entry or one of its parents, exactly as named.
  const std::vector<Entry> orphans[] = {{File("a\\f", "x")}, {File("a", "a file"), File("a\\f", "x")},
                                        {Folder("a"), File("a\\b\\f", "x")}, {Folder("A"), File("a\\f", "x")},
                                        {Folder("ab"), File("a\\f", "x")}, {Folder("a"), Folder("b"), File("a\\f", "x")}};
  for (const std::vector<Entry>& entries : orphans) EXPECT_EQ(RunArchive(Sfx(entries)).code, ArchiveInvalid);
  EXPECT_EQ(RunArchive(Sfx({Folder("a"), Folder("a\\b"), File("a\\b\\f", "x"), File("a\\g", "y"), File("h", "z")})).code, 0u);

  std::string negative = Sfx({File("a", "ok")});
  int32_t minus = -5;
  std::memcpy(&negative[SyntheticHead().size() + 410 + 5], &minus, 4);
  EXPECT_EQ(RunArchive(negative).code, ArchiveInvalid);
}

// The Shift-JIS rule: lead bytes 0x81..0x9F and 0xE0..0xFC take the next byte with them.
const char* NextShiftJis(const char* p) {
  unsigned char c = static_cast<unsigned char>(*p);
  bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  return lead && p[1] ? p + 2 : p + 1;
}

TEST(EntryNames, DoubleByteTrailBytesNeverSplit) {
  const std::string table = "\x95\x5C";             // one character whose trail byte is 0x5C
  const std::string dotted = "\x95\x5C..\\x.txt";   // a name ending in dots, then a file
  EXPECT_FALSE(IsSafeEntryName(table.data(), table.size())) << "split byte by byte: an empty part";
  gNextNameChar = NextShiftJis;
  EXPECT_TRUE(IsSafeEntryName(table.data(), table.size()));
  EXPECT_FALSE(IsSafeEntryName(dotted.data(), dotted.size())) << "Windows drops the trailing dots";
  EXPECT_TRUE(IsSafeEntryName((table + "\\" + table).data(), 5));
  std::string up = table + "\\..\\x";
  EXPECT_FALSE(IsSafeEntryName(up.data(), up.size()));
  std::string lone = "a\\\x95";  // a lead byte without its trail byte
  EXPECT_TRUE(IsSafeEntryName(lone.data(), lone.size()));
  std::string colon = "\x95:x";  // never hidden behind a lead byte
  EXPECT_FALSE(IsSafeEntryName(colon.data(), colon.size()));
  std::string trailBar = "\x95|";  // 0x7C as a trail byte is half of a character, not a bar
  EXPECT_TRUE(IsSafeEntryName(trailBar.data(), trailBar.size()));
  EXPECT_FALSE(IsSafeEntryName("a|", 2));
  RunResult result = RunArchive(Sfx({Folder(table), File(table + "\\" + table, "x")}));
  gNextNameChar = [](const char* p) { return p + 1; };
  EXPECT_EQ(result.code, 0u);
}

// Stored entries whose content reads as zero bytes, so a file of any size costs nothing.
struct VirtualFile {
  std::vector<std::pair<std::string, uint64_t>> parts;  // bytes, then that many zero bytes
  uint64_t size = 0;

  void Add(const std::string& bytes, uint64_t zeros = 0) {
    parts.push_back({bytes, zeros});
    size += bytes.size() + zeros;
  }
  void AddEntry(const std::string& name, uint64_t size) {
    EntryHeader h{};
    h.NameLength = static_cast<int32_t>(name.size());
    h.Size = static_cast<int32_t>(size);
    h.Time = 1;
    h.Attributes = 0x20;
    Add(std::string(reinterpret_cast<const char*>(&h), sizeof h) + name, size);
    uint32_t sum = ByteSum(name.data(), name.size());
    Add(std::string(reinterpret_cast<const char*>(&sum), 4));
  }
};

bool ReadVirtual(void* context, uint64_t position, void* buffer, uint32_t length) {
  const VirtualFile* f = static_cast<const VirtualFile*>(context);
  char* out = static_cast<char*>(buffer);
  for (uint32_t i = 0; i < length; ++i, ++position) {
    uint64_t at = position;
    bool found = false;
    for (const auto& [bytes, zeros] : f->parts) {
      if (at < bytes.size()) {
        out[i] = bytes[at];
        found = true;
        break;
      }
      at -= bytes.size();
      if (at < zeros) {
        out[i] = 0;
        found = true;
        break;
      }
      at -= zeros;
    }
    if (!found) return false;
  }
  return true;
}

TEST(ArchiveReader, ReadsFilesUpToAndBeyondTwoGigabytes) {
  SfxOptions options = DefaultOptions();
  options.Compressed = 0;
  // The builder's largest SFX file is one byte short of 2 GiB; the reader's positions go
  // further, so nothing the builder writes is ever cut off.
  for (uint64_t wanted : {0x7FFFFFFFull, 0xC0000000ull}) {
    VirtualFile f;
    f.Add(SyntheticHead() + std::string(reinterpret_cast<const char*>(&options), sizeof options));
    const uint64_t tail = 2 * (17 + 3 + 4) + 17;
    uint64_t content = wanted - f.size - tail;
    uint64_t first = content > 0x7FFF0000ull ? 0x7FFF0000ull : content / 2;
    f.AddEntry("one", first);
    f.AddEntry("two", content - first);
    f.Add(std::string(17, '\0'));
    ASSERT_EQ(f.size, wanted);
    ArchiveFile file{ReadVirtual, &f, f.size};
    uint64_t offset = 0;
    ASSERT_EQ(LocateArchive(file, offset), 0u);
    int64_t total = 0;
    EXPECT_EQ(ScanEntries(file, offset, options, total, nullptr), 0u) << wanted;
    EXPECT_EQ(static_cast<uint64_t>(total), content) << wanted;
  }
}

// Every damaged input the fuzzer found stays a test: none may crash or break a promise,
// and each ends with one of the extractor's codes.
TEST(ArchiveReader, RegressionCorpus) {
  std::ifstream list(ORVEX_CORPUS_DIR "/index.txt");
  ASSERT_TRUE(list.good()) << "corpus index missing";
  std::string name;
  int count = 0;
  while (std::getline(list, name)) {
    if (name.empty()) continue;
    std::ifstream in(ORVEX_CORPUS_DIR "/" + name, std::ios::binary);
    ASSERT_TRUE(in.good()) << name;
    std::stringstream bytes;
    bytes << in.rdbuf();
    RunResult result = RunArchive(SyntheticHead() + bytes.str());
    const uint32_t codes[] = {0, ArchiveTooLarge, ArchiveInvalid, ArchiveChecksum, ArchiveShort, ArchiveInflate};
    EXPECT_NE(std::find(std::begin(codes), std::end(codes), result.code), std::end(codes)) << name;
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
