#include "OVResources.h"

#include <algorithm>
#include <cstdint>
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

}  // namespace

std::string ResourceSourceFile(bool commandLineMode, bool xcmvPresent, const std::string& xcmvFile,
                               uint8_t extractionMode, const std::string& executableFile) {
  if (commandLineMode && xcmvPresent) return xcmvFile;
  if (extractionMode == 1) return executableFile;
  return std::string();
}

bool PrepareHeadBytes(std::string& head, const std::string& source, uint8_t elevation, const ByteSpan& uac) {
  // Every head declares its level: without one, Windows virtualizes a 32-bit program's
  // writes, and elevates one named like a setup program.
  std::string manifest;
  if (uac.data) manifest = ElevationManifest(elevation, std::string(static_cast<const char*>(uac.data), uac.size));
  if (manifest.empty()) return false;
  static const std::string ownVersion = SfxVersionInfo(ORVEX_VERSION_STRING);
  auto prepare = [&](const std::string& from) {
    return NoThrow(false, [&] {
      std::string edited = head;
      if (!PrepareHeadImage(edited, from, manifest, ownVersion)) return false;
      head.swap(edited);
      return true;
    });
  };
  // A source that cannot be read, or costs more memory than there is, only leaves the
  // head its own icon and version information: the manifest never depends on it.
  if (!source.empty() && prepare(NoThrow(std::string(), [&] { return ResourceImage(source); }))) return true;
  return prepare(std::string());
}
