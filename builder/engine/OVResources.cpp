#include "OVResources.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>

#include "OVResourceEditor.h"

namespace {

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

bool LoadFile(const std::string& path, std::string& bytes, ResourceEditor& editor) {
  return ReadWholeFile(path, bytes) && editor.Load(bytes);
}

// Loads the target, applies `edit` and writes the result once; false leaves the file
// as it was.
template <typename Edit>
bool EditFile(const std::string& target, Edit edit) {
  std::string before, after;
  ResourceEditor head;
  if (!LoadFile(target, before, head) || !edit(head) || !head.Write(after)) return false;
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
    std::string bytes;
    ResourceEditor from;
    if (!LoadFile(source, bytes, from)) return false;
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
    std::string bytes;
    ResourceEditor editor;
    return LoadFile(file, bytes, editor) ? VersionLanguage(editor) : uint16_t(0);
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
  return NoThrow(manifest.empty(), [&] {
    std::string from, edited = head;
    // An unreadable source only leaves the head's own icon and no version information.
    if (!source.empty() && !ReadWholeFile(source, from)) from.clear();
    if (!PrepareHeadImage(edited, from, manifest)) return false;
    head.swap(edited);
    return true;
  });
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
