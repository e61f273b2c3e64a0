#include "sfxcheck.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "testsupport.h"

namespace {

// Both builders walk each folder in NTFS's order: by UTF-16 code units, case ignored.
bool ListedBefore(const std::string& a, const std::string& b) {
  auto wide = [](const std::string& text) {
    std::wstring result(text.size(), L'\0');
    result.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0],
                            static_cast<int>(result.size()))));
    return result;
  };
  std::wstring x = wide(a), y = wide(b);
  return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE) ==
         CSTR_LESS_THAN;
}

void Walk(const std::string& folder, const std::string& prefix, std::vector<SourceItem>& items) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + prefix + "*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<WIN32_FIND_DATAA> listed;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") listed.push_back(found);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(listed.begin(), listed.end(), [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
    return ListedBefore(a.cFileName, b.cFileName);
  });
  for (const WIN32_FIND_DATAA& found : listed) {
    std::string name = found.cFileName;
    SourceItem item{prefix + name, found.dwFileAttributes, DosTimeOf(found.ftLastWriteTime), std::string()};
    bool isFolder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (!isFolder) item.content = testing_support::ReadFileBytes(folder + item.name);
    items.push_back(item);
    if (isFolder) Walk(folder, prefix + name + "\\", items);
  }
}

}  // namespace

uint32_t DosTimeOf(const FILETIME& written) {
  FILETIME local;
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&written, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return static_cast<uint32_t>(date) << 16 | time;
}

std::string ReadSfx(const std::string& bytes, SfxArchive& archive) {
  archive = sfxtest::RunArchive(bytes);
  if (archive.code != ArchiveOk)
    return "the extractor's reader ends with " + std::to_string(archive.code) + (archive.scanned ? "" : " in its scan");
  // Chunks of 9 MiB and the terminator are the default layout's.
  if (archive.options.Compressed == CompressedStrong) return std::string();
  for (const ReadEntry& entry : archive.entries)
    for (size_t i = 0; i + 1 < entry.chunks.size(); ++i)
      if (entry.chunks[i].rawLength != ChunkSize)
        return entry.name + ": chunk " + std::to_string(i) + " of " + std::to_string(entry.chunks[i].rawLength) +
               " raw bytes before the last";
  if (archive.end != bytes.size()) return std::to_string(bytes.size() - archive.end) + " bytes after the terminator";
  if (bytes.compare(archive.end - sizeof(EntryHeader), sizeof(EntryHeader), std::string(sizeof(EntryHeader), '\0')))
    return "terminator not all zero";
  return std::string();
}

std::vector<SourceItem> WalkSource(const std::string& folder) {
  std::vector<SourceItem> items;
  Walk(folder, std::string(), items);
  return items;
}

void ExpectEntriesMatch(const std::vector<ReadEntry>& entries, const std::vector<SourceItem>& items,
                        const std::string& launchName) {
  ASSERT_EQ(entries.size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const ReadEntry& e = entries[i];
    const SourceItem& s = items[i];
    SCOPED_TRACE(s.name);
    EXPECT_EQ(e.name, s.name) << "entry " << i;
    EXPECT_EQ(e.header.Kind, !launchName.empty() && s.name == launchName ? 1 : 0);
    EXPECT_EQ(e.header.Attributes, s.attributes);
    EXPECT_EQ(e.header.Time, s.time);
    EXPECT_EQ(static_cast<size_t>(e.header.Size), s.content.size());
    EXPECT_TRUE(e.content == s.content);
    EXPECT_EQ(e.chunks.size(), (s.content.size() + ChunkSize - 1) / ChunkSize);
  }
}
