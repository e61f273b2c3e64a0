// The builder's PE resource editor, natively: the head preparation on the built heads
// with Wine's programs and the fixture as sources, read back by pefile (a reader nobody
// here wrote); layouts it must rewrite or refuse; malformed images; the elevation
// manifests; and the fuzz target's regression corpus.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "OVResourceEditor.h"
#include "editorrun.h"
#include "resourcemap.h"

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

const std::string kWine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
const std::string kHighest = "<assembly><level=\"highestAvailable\"/></assembly>";
const std::string kCarried = "<assembly><level=\"requireAdministrator\"/></assembly>";

// The built heads of both Windows presets; the ones missing are named in `missing`.
std::vector<std::string> BuiltHeads(std::string& missing) {
  std::vector<std::string> heads;
  for (const char* preset : {"win64", "win32"}) {
    std::string path = std::string(ORVEX_BUILD_ROOT) + "/" + preset + "/bin/sfxhead.exe";
    if (Exists(path)) {
      heads.push_back(path);
    } else {
      missing += " " + path;
    }
  }
  return heads;
}

struct PeCheck {
  std::vector<PeResource> list;  // in the order of the tree
  ResourceMap resources;
  unsigned translation = 0;  // the first version translation, 0 without one
};

// pefile's reading of `edited`, made from `original`, or of `original` alone when
// `edited` is empty: see pe_check.py. Each check that does not hold fails the test.
PeCheck CheckWithPefile(const std::string& original, const std::string& edited = std::string()) {
  std::string folder = testing::TempDir();
  std::ofstream(folder + "pe_original.exe", std::ios::binary) << original;
  std::ofstream(folder + "pe_edited.exe", std::ios::binary) << edited;
  PeCheck check;
  std::string command = "/usr/bin/python3 " PE_CHECK " " + folder + "pe_original.exe " +
                        (edited.empty() ? std::string() : folder + "pe_edited.exe");
  FILE* out = popen(command.c_str(), "r");
  if (!out) {
    ADD_FAILURE() << "cannot run " << command;
    return check;
  }
  std::string text;
  char buffer[65536];
  while (size_t n = fread(buffer, 1, sizeof buffer, out)) text.append(buffer, n);
  if (pclose(out) != 0) ADD_FAILURE() << "pe_check.py failed: is python3-pefile installed?";
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, 2, "R ") == 0) {
      size_t space = line.find(' ', 2), slash = line.find('/'), last = line.rfind('/', space);
      PeResource r{line.substr(2, slash - 2), line.substr(slash + 1, last - slash - 1),
                   static_cast<uint16_t>(std::stoi(line.substr(last + 1, 4), nullptr, 16)), std::string()};
      for (size_t i = space + 1; i + 1 < line.size(); i += 2)
        r.data += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
      check.list.push_back(r);
      check.resources[line.substr(2, space - 2)] = r.data;
    } else if (line.compare(0, 2, "T ") == 0) {
      if (!check.translation) check.translation = std::stoi(line.substr(2));
    } else {
      ADD_FAILURE() << line;
    }
  }
  return check;
}

ResourceMap EditorMap(const ResourceEditor& editor) { return ToMap(EditorResources(editor)); }

// What the head must carry after taking over the icons and version information of
// `source` (empty for none) and receiving `manifest` in the version information's language.
ResourceMap ExpectedHead(const PeCheck& head, const PeCheck& source, const std::string& manifest, unsigned language) {
  ResourceMap expected = head.resources, groups, images;
  if (ExpectedIconCopy(source.list, "MAINICON", groups, images)) {
    expected = Without(expected, {ResourceId(3), ResourceId(14)});
    expected.insert(groups.begin(), groups.end());
    expected.insert(images.begin(), images.end());
  }
  ResourceMap versions = OfType(source.resources, ResourceId(16));
  if (!versions.empty()) expected = Without(expected, {ResourceId(16)});
  expected.insert(versions.begin(), versions.end());
  if (!manifest.empty()) expected[Key(ResourceId(24), ResourceId(1), language)] = manifest;
  return expected;
}

TEST(ResourceEditor, HeadPreparationReadBackByPefile) {
  std::string missing;
  std::vector<std::string> heads = BuiltHeads(missing);
  const std::vector<std::string> sources = {"", FIXTURE_FULL, kWine + "regedit.exe", kWine + "notepad.exe",
                                            kWine + "taskmgr.exe"};
  const std::string manifests[] = {kHighest, kCarried, ""};
  std::vector<PeCheck> sourceReads;
  for (const std::string& file : sources)
    sourceReads.push_back(file.empty() ? PeCheck() : CheckWithPefile(FileBytes(file)));
  int cases = 0;
  for (const std::string& headFile : heads) {
    const std::string head = FileBytes(headFile);
    std::string same = head;
    EXPECT_TRUE(PrepareHeadImage(same, "", "") && same == head) << "nothing to take over leaves the head as carried";
    const PeCheck headRead = CheckWithPefile(head);
    for (size_t i = 0; i < sources.size(); ++i) {
      const std::string& sourceFile = sources[i];
      SCOPED_TRACE(headFile + " with " + (sourceFile.empty() ? "no source" : sourceFile));
      const std::string source = sourceFile.empty() ? std::string() : FileBytes(sourceFile);
      ASSERT_EQ(source.empty(), sourceFile.empty()) << "missing " << sourceFile;
      ResourceEditor read;
      if (!source.empty()) {
        ASSERT_TRUE(read.Load(source));
        EXPECT_TRUE(EditorMap(read) == sourceReads[i].resources) << "the editor reads the source as pefile does";
      }
      const std::string& manifest = manifests[cases++ % 3];
      std::string edited = head;
      ASSERT_TRUE(PrepareHeadImage(edited, source, manifest));
      PeCheck check = CheckWithPefile(head, edited);
      ResourceMap expected = ExpectedHead(headRead, sourceReads[i], manifest, check.translation);
      EXPECT_TRUE(check.resources == expected) << Keys(check.resources) << "\nexpected\n" << Keys(expected);
      EXPECT_TRUE(read.Load(edited) && EditorMap(read) == expected) << "the editor reads its head as pefile does";
    }
  }
  if (!missing.empty()) GTEST_SKIP() << "head not built (run cmake --build --preset win64/win32):" << missing;
}

// Fields of the PE headers, for damaging and rearranging a head.
struct Pe {
  std::string b;
  uint32_t U32(uint64_t at) const {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
  }
  void Put32(uint64_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  }
  void Put16(uint64_t at, uint32_t v) { b[at] = static_cast<char>(v), b[at + 1] = static_cast<char>(v >> 8); }
  uint64_t FileHeader() const { return U32(0x3C) + 4; }
  uint64_t Optional() const { return FileHeader() + 20; }
  uint64_t Directory(int index) const {
    bool pe32 = uint8_t(b[Optional()]) == 0x0B && uint8_t(b[Optional() + 1]) == 0x01;
    return Optional() + (pe32 ? 96 : 112) + 8 * index;
  }
  unsigned SectionCount() const { return uint8_t(b[FileHeader() + 2]) | uint8_t(b[FileHeader() + 3]) << 8; }
  uint64_t Section(unsigned i) const {
    return Optional() + (uint8_t(b[FileHeader() + 16]) | uint8_t(b[FileHeader() + 17]) << 8) + 40 * i;
  }
  uint64_t SectionAt(uint32_t rva) const {
    for (unsigned i = 0; i < SectionCount(); ++i)
      if (U32(Section(i) + 12) == rva) return Section(i);
    return 0;
  }
  // The file offset of the resource tree and of the first data entry in it.
  uint64_t Root() const { return U32(SectionAt(U32(Directory(2))) + 20); }
  uint64_t FirstDataEntry() const {
    uint64_t names = Root() + (U32(Root() + 20) & 0x7FFFFFFF);
    uint64_t languages = Root() + (U32(names + 20) & 0x7FFFFFFF);
    return Root() + U32(languages + 20);
  }
  uint64_t RawEnd() const {
    uint64_t end = 0;
    for (unsigned i = 0; i < SectionCount(); ++i) end = std::max<uint64_t>(end, U32(Section(i) + 20) + U32(Section(i) + 16));
    return end;
  }
};

const ResourceName kManifest = ResourceName::Number(kManifestType), kOne = ResourceName::Number(1);

// Layouts the writer must rewrite (read back by pefile, the resources as set) or refuse
// (the image untouched).
TEST(ResourceEditor, LayoutsRewrittenOrRefused) {
  std::string missing;
  std::vector<std::string> heads = BuiltHeads(missing);
  struct Case {
    const char* what;
    std::function<void(Pe&)> damage;
    size_t added;  // bytes of a new resource
    bool written;
  };
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 24);
  const Case cases[] = {
      {"a small edit keeps the section's room", [](Pe&) {}, 10, true},
      {"a large one moves the relocations after it", [](Pe&) {}, big.size(), true},
      {"an image without a tree gets a new last section", [](Pe& pe) { pe.Put32(pe.Directory(2), 0); }, 10, true},
      {"a certificate table is dropped",
       [](Pe& pe) {
         pe.Put32(pe.Directory(4), static_cast<uint32_t>(pe.b.size()));
         pe.Put32(pe.Directory(4) + 4, 16);
         pe.b += std::string(16, 'c');
       },
       10, true},
      {"a symbol table moves with the sections",
       [](Pe& pe) {
         pe.Put32(pe.FileHeader() + 8, static_cast<uint32_t>(pe.b.size()));
         pe.b += "symbols and their strings";
       },
       big.size(), true},
      {"data after the sections", [](Pe& pe) { pe.b += "appended"; }, 10, false},
      {"a certificate table that is not last",
       [](Pe& pe) {
         pe.Put32(pe.Directory(4), static_cast<uint32_t>(pe.b.size()));
         pe.Put32(pe.Directory(4) + 4, 16);
         pe.b += std::string(20, 'c');
       },
       10, false},
      {"overlapping sections", [](Pe& pe) { pe.Put32(pe.Section(1) + 12, pe.U32(pe.Section(0) + 12)); }, 10, false},
      {"the entry point inside the resources",
       [](Pe& pe) { pe.Put32(pe.Optional() + 16, pe.U32(pe.Directory(2)) + 8); }, 10, false},
      // Directory 7 is reserved: no reader looks at what it points to.
      {"a directory in a section that would have to move",
       [](Pe& pe) { pe.Put32(pe.Directory(7), pe.U32(pe.Directory(5))), pe.Put32(pe.Directory(7) + 4, 8); },
       big.size(), false},
      {"a directory in a section that stays where it is",
       [](Pe& pe) { pe.Put32(pe.Directory(7), pe.U32(pe.Directory(5))), pe.Put32(pe.Directory(7) + 4, 8); }, 10,
       true},
      {"a directory inside the resource section",
       [](Pe& pe) { pe.Put32(pe.Directory(7), pe.U32(pe.Directory(2)) + 16), pe.Put32(pe.Directory(7) + 4, 8); },
       10, false},
      {"no room for another section header",
       [](Pe& pe) {
         pe.Put32(pe.Directory(2), 0);
         pe.b[pe.Section(pe.SectionCount()) + 39] = 1;
       },
       10, false},
  };
  for (const std::string& headFile : heads) {
    for (const Case& c : cases) {
      SCOPED_TRACE(headFile + ": " + c.what);
      Pe pe{FileBytes(headFile)};
      c.damage(pe);
      ResourceEditor editor;
      ASSERT_TRUE(editor.Load(pe.b));
      editor.Set(kManifest, kOne, 0, big.substr(0, c.added));
      std::string written = "untouched";
      ASSERT_EQ(editor.Write(written), c.written);
      if (!c.written) {
        EXPECT_EQ(written, "untouched");
        continue;
      }
      PeCheck check = CheckWithPefile(pe.b, written);
      EXPECT_TRUE(check.resources == EditorMap(editor));
    }
    // Deleting every resource shrinks the section to an empty tree.
    ResourceEditor editor;
    ASSERT_TRUE(editor.Load(FileBytes(headFile)));
    editor.Edit(editor.Resources(), {});
    std::string written;
    ASSERT_TRUE(editor.Write(written));
    PeCheck check = CheckWithPefile(FileBytes(headFile), written);
    EXPECT_TRUE(check.resources.empty());
  }
  if (!missing.empty()) GTEST_SKIP() << "head not built (run cmake --build --preset win64/win32):" << missing;
}

// Damaged images: each is refused whole, and the sanitizers catch any read outside it.
TEST(ResourceEditor, MalformedImagesAreRefused) {
  const Pe fixture{FileBytes(FIXTURE_FULL)};
  ASSERT_FALSE(fixture.b.empty());
  ResourceEditor editor;
  ASSERT_TRUE(editor.Load(fixture.b));
  ASSERT_GE(fixture.U32(fixture.Root() + 12) >> 16, 3u) << "three types, numbered";
  const std::pair<const char*, std::function<void(Pe&)>> cases[] = {
      {"cut inside the DOS header", [](Pe& pe) { pe.b.resize(63); }},
      {"PE header past the end", [](Pe& pe) { pe.Put32(0x3C, static_cast<uint32_t>(pe.b.size() - 2)); }},
      {"section table past the end", [](Pe& pe) { pe.Put16(pe.FileHeader() + 2, 0xFFFF); }},
      {"optional header past the end", [](Pe& pe) { pe.Put16(pe.FileHeader() + 16, 0xFFFF); }},
      {"unknown optional header", [](Pe& pe) { pe.Put16(pe.Optional(), 0x0999); }},
      {"a tree that loops to its root", [](Pe& pe) { pe.Put32(pe.Root() + 20, 0x80000000u); }},
      {"two types sharing a directory", [](Pe& pe) { pe.Put32(pe.Root() + 28, pe.U32(pe.Root() + 20)); }},
      {"a directory outside the section", [](Pe& pe) { pe.Put32(pe.Root() + 20, 0xFFFFFFF0u); }},
      {"entry counts near 2^16", [](Pe& pe) { pe.Put16(pe.Root() + 14, 0xFFFF); }},
      {"a name outside the section", [](Pe& pe) { pe.Put32(pe.Root() + 16, 0xFFFFFFF0u); }},
      {"a data entry where a directory belongs", [](Pe& pe) { pe.Put32(pe.Root() + 20, pe.U32(pe.Root() + 20) & 0xFFFF); }},
      {"a size near 2^32", [](Pe& pe) { pe.Put32(pe.FirstDataEntry() + 4, 0xFFFFFFF0u); }},
      {"data outside the sections", [](Pe& pe) { pe.Put32(pe.FirstDataEntry(), 0xFFFFFFF0u); }},
  };
  for (const auto& [what, damage] : cases) {
    Pe pe = fixture;
    damage(pe);
    EXPECT_FALSE(editor.Load(pe.b)) << what;
    EXPECT_TRUE(editor.Resources().empty()) << what;
  }
  // Trees that claim far more than the file holds: a name shared by 4,000 entries costs
  // its length once; 4,000 overlapping names would cost more than a few times the file.
  for (HostileTree shape : {HostileTree::SharedName, HostileTree::OverlappingNames}) {
    const std::string image = HostileResourceImage(shape, 4000);
    const bool shared = shape == HostileTree::SharedName;
    auto start = std::chrono::steady_clock::now();
    ResourceEditor hostile;
    std::string written;
    EXPECT_EQ(hostile.Load(image), shared);
    EXPECT_EQ(hostile.Write(written), shared);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0) << shared;
    EXPECT_LT(written.size(), 2 * image.size()) << "each text written once";
    EXPECT_EQ(RunResourceEditor(image, fixture.b), "") << shared;
  }

  // Resources that read well but lie about their contents: the head stays as it was.
  ASSERT_TRUE(editor.Load(fixture.b));
  const ResourceName group = ResourceName::Number(kIconGroupType), appicon = ResourceName::Text("APPICON");
  const Resource* icons = editor.FindAnyLanguage(group, appicon);
  const Resource* version = editor.FindAnyLanguage(ResourceName::Number(kVersionType), kOne);
  ASSERT_TRUE(icons && version && icons->language == 0x0407);
  ResourceEditor head;
  std::string missing;
  std::vector<std::string> heads = BuiltHeads(missing);
  ASSERT_TRUE(head.Load(heads.empty() ? fixture.b : FileBytes(heads.front())));
  const std::string count = icons->data.substr(0, 4) + "\xC8";  // 200 entries
  const std::pair<const char*, std::string> groups[] = {
      {"more entries than the group holds", count + icons->data.substr(5)},
      {"an image that is missing", icons->data.substr(0, 18) + "\xE7\x03" + icons->data.substr(20)},
      {"cut inside the header", icons->data.substr(0, 5)},
  };
  for (const auto& [what, data] : groups) {
    ResourceEditor source = editor, target = head;
    source.Set(group, appicon, 0x0407, data);
    EXPECT_FALSE(CopyIconGroup(source, target)) << what;
    EXPECT_TRUE(EditorMap(target) == EditorMap(head)) << what;
  }
  ResourceEditor bare = head;
  std::vector<Resource> iconGroups;
  for (const Resource& r : head.Resources())
    if (r.type == group) iconGroups.push_back(r);
  bare.Edit(iconGroups, {});
  EXPECT_FALSE(CopyIconGroup(bare, head)) << "a source without icons";
  ResourceEditor named = bare;
  EXPECT_TRUE(CopyIconGroup(editor, named) && named.Names(group) == std::vector<ResourceName>{appicon})
      << "a head without icons takes the source group's name";
  EXPECT_FALSE(CopyVersionInfo(head, bare)) << "a source without version information";

  EXPECT_EQ(VersionLanguage(editor), 0x0407);
  const std::string& info = version->data;
  auto length = [](size_t n) { return std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8)}; };
  const std::pair<const char*, std::string> versions[] = {
      {"a length past its end", length(info.size() + 64) + info.substr(2)},
      {"cut inside its key", info.substr(0, 20)},
      {"a value longer than the block", info.substr(0, 2) + "\xFF\xFF" + info.substr(4)},
  };
  for (const auto& [what, data] : versions) {
    ResourceEditor damaged = editor;
    Resource english{ResourceName::Number(kVersionType), kOne, 0x0409}, german = english;
    german.language = 0x0407;
    german.data = data;
    damaged.Edit({english}, {german});
    EXPECT_EQ(VersionLanguage(damaged), 0) << what;
  }
}

// The manifest of each elevation choice, made from the carried one: never one that asks
// for more than was chosen.
TEST(ResourceEditor, ElevationManifests) {
  const std::pair<uint8_t, std::string> cases[] = {
      {0, "<assembly><level=\"asInvoker\"/></assembly>"}, {1, kHighest}, {2, kCarried}, {3, ""}};
  for (const auto& [elevation, text] : cases) EXPECT_EQ(ElevationManifest(elevation, kCarried), text) << int(elevation);
  for (uint8_t lowered : {0, 1}) EXPECT_EQ(ElevationManifest(lowered, kHighest), "") << "nothing to lower: refuse";
}

// The fuzz target's findings and the inputs that reached new code, replayed.
TEST(ResourceEditor, RegressionCorpus) {
  std::ifstream list(ORVEX_RESOURCE_CORPUS "/index.txt");
  ASSERT_TRUE(list.good()) << "corpus index missing";
  const std::string head = FileBytes(FIXTURE_FULL);
  std::string name;
  int count = 0;
  while (std::getline(list, name)) {
    if (name.empty()) continue;
    std::string bytes = FileBytes(ORVEX_RESOURCE_CORPUS "/" + name);
    ASSERT_TRUE(Exists(ORVEX_RESOURCE_CORPUS "/" + name)) << name;
    EXPECT_EQ(RunResourceEditor(bytes, head), "") << name;
    ++count;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
