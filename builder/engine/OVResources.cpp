#include "OVResources.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>

#include "OVResourceEditor.h"
#include "ovfile.h"

namespace {

// What a build reads at most of the file whose icon and version information the head takes
// over. A real program's headers and section table fill a few kilobytes; a resource
// section larger than the limit holds far more than icons and version information (a
// payload), and its file leaves the head its own icon, as one without resources does.
constexpr uint64_t HeadersLimit = 1 << 20;
constexpr uint64_t ResourceSectionLimit = 64 << 20;

// What the resource editor reads of a program, and no more: its headers and section
// table, then the raw data of the section that holds the resource tree. Empty for anything
// else: a pipe, a device, a file that is no PE image or exceeds the limits. Whatever the
// file's size, the cost is bounded, and nothing waits.
std::string ResourceImage(const std::string& path) {
  try {
    OvFile file(path, OvFile::ReadOnly);
    uint64_t size = std::min<uint64_t>(file.Size(), 0xFFFFFFFFu);
    std::string image(static_cast<size_t>(std::min(size, HeadersLimit)), '\0');
    if (!image.empty()) file.ReadExact(&image[0], static_cast<uint32_t>(image.size()));
    uint64_t offset = 0, length = 0;
    if (!ResourceImageHeaders(image, size, offset, length) || length > ResourceSectionLimit) return std::string();
    size_t end = image.size();
    image.resize(end + length);
    file.Seek(offset);
    file.ReadExact(&image[end], static_cast<uint32_t>(length));
    return image;
  } catch (const EBuildError&) {
    return std::string();
  }
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  char buffer[65536];
  size_t read;
  while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, read);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// The one write of an edit. A file that cannot be opened for writing (another program
// holds it) is not truncated; should a write fail half-way, the old bytes are put back,
// so a routine that gives false leaves the file as it was.
bool WriteWholeFile(const std::string& path, const std::string& bytes, const std::string& before) {
  auto write = [&](const std::string& content) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && ok;
  };
  if (write(bytes)) return true;
  write(before);
  return false;
}

// Loads the target, applies `edit` and writes the result once; false leaves the file
// as it was.
template <typename Edit>
bool EditFile(const std::string& target, Edit edit) {
  std::string before, after;
  ResourceEditor head;
  if (!ReadWholeFile(target, before) || !head.Load(before) || !edit(head) || !head.Write(after)) return false;
  return WriteWholeFile(target, after, before);
}

// A file too large for memory fails the routine like any other fault: the routines never
// throw.
template <typename Body>
auto NoThrow(decltype(std::declval<Body>()()) failed, Body body) -> decltype(body()) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return failed;
  }
}

// Copies what `copy` takes from the resources of `source` into those of `target`.
bool CopyResources(const std::string& source, const std::string& target,
                   bool (*copy)(const ResourceEditor& from, ResourceEditor& to)) {
  return NoThrow(false, [&] {
    ResourceEditor from;
    if (!from.Load(ResourceImage(source))) return false;
    return EditFile(target, [&](ResourceEditor& head) { return copy(from, head); });
  });
}

}  // namespace

bool ReplaceIcons(const std::string& source, const std::string& target) {
  return CopyResources(source, target, CopyIconGroup);
}

bool ReplaceVersionInfo(const std::string& source, const std::string& target) {
  return CopyResources(source, target, CopyVersionInfo);
}

uint16_t GetVersionLanguage(const std::string& file) {
  return NoThrow(uint16_t(0), [&] {
    ResourceEditor editor;
    return editor.Load(ResourceImage(file)) ? VersionLanguage(editor) : uint16_t(0);
  });
}

std::string ElevationManifestText(uint8_t elevation, const ByteSpan& uac) {
  if (!uac.data) return std::string();
  return ElevationManifest(elevation, std::string(static_cast<const char*>(uac.data), uac.size));
}

bool WriteElevationManifest(const std::string& target, uint8_t elevation, const ByteSpan& uac) {
  if (elevation == 0) return true;
  std::string text = ElevationManifestText(elevation, uac);
  if (text.empty()) return false;
  return NoThrow(false, [&] {
    return EditFile(target, [&](ResourceEditor& head) {
      head.Set(ResourceName::Number(kManifestType), ResourceName::Number(1), VersionLanguage(head), text);
      return true;
    });
  });
}

std::string ResourceSourceFile(bool commandLineMode, bool xcmvPresent, const std::string& xcmvFile,
                               uint8_t extractionMode, const std::string& executableFile) {
  if (commandLineMode && xcmvPresent) return xcmvFile;
  if (extractionMode == 1) return executableFile;
  return std::string();
}

bool PrepareHeadBytes(std::string& head, const std::string& source, uint8_t elevation, const ByteSpan& uac) {
  std::string manifest;
  if (elevation != 0) {
    manifest = ElevationManifestText(elevation, uac);
    if (manifest.empty()) return false;
  }
  auto prepare = [&](const std::string& from) {
    return NoThrow(manifest.empty(), [&] {
      std::string edited = head;
      if (!PrepareHeadImage(edited, from, manifest)) return false;
      head.swap(edited);
      return true;
    });
  };
  // A source that cannot be read, or costs more memory than there is, only leaves the
  // head its own icon and no version information: the manifest never depends on it.
  if (!source.empty() && prepare(NoThrow(std::string(), [&] { return ResourceImage(source); }))) return true;
  return prepare(std::string());
}

bool PrepareHead(const std::string& target, const std::string& source, uint8_t elevation, const ByteSpan& uac) {
  return NoThrow(elevation == 0, [&] {
    std::string before;
    if (!ReadWholeFile(target, before)) return elevation == 0;
    std::string head = before;
    if (!PrepareHeadBytes(head, source, elevation, uac)) return false;
    return head == before || WriteWholeFile(target, head, before) || elevation == 0;
  });
}
