#include "sfxreader.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

#include <cstring>

#include "testsupport.h"

namespace {

class Cursor {
 public:
  Cursor(const std::string& bytes, size_t position) : bytes_(bytes), position_(position) {}
  bool Take(void* to, size_t length) {
    if (length > bytes_.size() - position_) return false;
    std::memcpy(to, bytes_.data() + position_, length);
    position_ += length;
    return true;
  }
  bool TakeText(std::string& text, size_t length) {
    if (length > bytes_.size() - position_) return false;
    text = bytes_.substr(position_, length);
    position_ += length;
    return true;
  }
  size_t Left() const { return bytes_.size() - position_; }

 private:
  const std::string& bytes_;
  size_t position_;
};

std::string ReadOneEntry(Cursor& in, uint8_t compressed, ReadEntry& entry) {
  if (entry.header.NameLength <= 0 || entry.header.Size < 0) return "bad name length or size";
  if (!in.TakeText(entry.name, static_cast<size_t>(entry.header.NameLength))) return "name runs past the end";
  uint32_t sum = ByteSum(entry.name.data(), entry.name.size());
  uint32_t size = static_cast<uint32_t>(entry.header.Size);
  while (entry.content.size() < size) {
    uint32_t expected = std::min<uint32_t>(size - static_cast<uint32_t>(entry.content.size()), ChunkSize);
    if (!compressed) {
      std::string raw;
      if (!in.TakeText(raw, expected)) return "raw content runs past the end";
      entry.content += raw;
      continue;
    }
    ReadChunk chunk;
    if (!in.Take(&chunk.rawLength, 4) || !in.Take(&chunk.compressedLength, 4)) return "chunk lengths missing";
    if (chunk.rawLength != expected) return "chunk of " + std::to_string(chunk.rawLength) + " raw bytes, expected " +
                                             std::to_string(expected);
    if (chunk.compressedLength > ChunkBufferSize) return "compressed chunk above the buffer size";
    std::string packed;
    if (!in.TakeText(packed, chunk.compressedLength)) return "compressed chunk runs past the end";
    std::string raw(chunk.rawLength + 1, '\0');
    z_stream stream{};
    inflateInit(&stream);
    stream.next_in = reinterpret_cast<Bytef*>(&packed[0]);
    stream.avail_in = chunk.compressedLength;
    stream.next_out = reinterpret_cast<Bytef*>(&raw[0]);
    stream.avail_out = static_cast<uInt>(raw.size());
    int result = inflate(&stream, Z_FINISH);
    bool whole = result == Z_STREAM_END && stream.avail_in == 0 && stream.total_out == chunk.rawLength;
    inflateEnd(&stream);
    if (!whole) return "chunk does not inflate to exactly its raw length";
    raw.resize(chunk.rawLength);
    entry.content += raw;
    entry.chunks.push_back(chunk);
  }
  if (!in.Take(&entry.checksum, 4)) return "checksum missing";
  if (entry.checksum != ByteSum(entry.content.data(), entry.content.size(), sum)) return "checksum mismatch";
  return std::string();
}


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
  archive = SfxArchive();
  archive.offset = FindArchiveOffset(bytes.data(), bytes.size());
  if (archive.offset == 0) return "no archive offset";
  Cursor in(bytes, archive.offset);
  if (!in.Take(&archive.options, sizeof archive.options)) return "options record missing";
  for (;;) {
    ReadEntry entry{};
    if (!in.Take(&entry.header, sizeof entry.header)) return "entry list runs past the end";
    if (IsTerminator(entry.header)) {
      if (entry.header.Kind != 0) return "terminator kind is not 0";
      break;
    }
    std::string error = ReadOneEntry(in, archive.options.Compressed, entry);
    if (!error.empty()) return "entry " + std::to_string(archive.entries.size()) + " (" + entry.name + "): " + error;
    archive.entries.push_back(entry);
  }
  if (in.Left() != 0) return std::to_string(in.Left()) + " bytes after the terminator";
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
