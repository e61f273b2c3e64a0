// Reads back, on the host, the SFX files that the Windows tests built, with the builder's
// resource editor and the extractor's archive reader compiled natively: nothing here asks
// Windows. The editor must also make the same head byte for byte from the carried head,
// the source and the manifest.
//
// sfx_readback FOLDER: for each NAME.txt of the folder, NAME.exe is the SFX file,
// head.exe the extractor as carried, NAME.source.exe the icon and version source (when
// present), NAME.manifest the expected manifest (when present), and the text holds
// "language N", the manifest's expected language. Exit status 0 when every sample holds.
#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "OVResourceEditor.h"
#include "archiverun.h"
#include "resourcemap.h"

namespace {

int gFailures = 0;

void Check(bool ok, const std::string& sample, const std::string& what) {
  if (ok) return;
  std::printf("FAIL %s: %s\n", sample.c_str(), what.c_str());
  ++gFailures;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream all;
  all << in.rdbuf();
  bytes = all.str();
  return true;
}

ResourceMap Read(const std::string& path, const std::string& sample, std::vector<PeResource>* list = nullptr) {
  std::string bytes;
  ResourceEditor editor;
  Check(ReadFile(path, bytes), sample, "cannot read " + path);
  Check(editor.Load(bytes), sample, path + ": the resource editor refuses it");
  std::vector<PeResource> resources = EditorResources(editor);
  if (list) *list = resources;
  return ToMap(resources);
}

void CheckSample(const std::string& folder, const std::string& name) {
  int failuresBefore = gFailures;
  std::string base = folder + "/" + name, text, manifest, sfxBytes;
  ReadFile(base + ".txt", text);
  unsigned language = 0;
  Check(std::sscanf(text.c_str(), "language %u", &language) == 1, name, "no language line");

  ResourceMap sfx = Read(base + ".exe", name), head = Read(folder + "/head.exe", name);
  ResourceMap groups = OfType(head, ResourceId(14)), images = OfType(head, ResourceId(3)), versions;
  std::string source = base + ".source.exe", ignored;
  if (ReadFile(source, ignored)) {
    std::vector<PeResource> list;
    versions = OfType(Read(source, name, &list), ResourceId(16));
    // A source without icons leaves the head's own.
    ResourceMap sourceGroups, sourceImages;
    if (ExpectedIconCopy(list, "MAINICON", sourceGroups, sourceImages)) groups = sourceGroups, images = sourceImages;
  }
  Check(OfType(sfx, ResourceId(14)) == groups, name, "icon groups");
  Check(OfType(sfx, ResourceId(3)) == images, name, "icon images");
  std::string ownVersion = SfxVersionInfo(ORVEX_VERSION_STRING);
  if (versions.empty()) versions[Key(ResourceId(16), ResourceId(1), 0)] = ownVersion;
  Check(OfType(sfx, ResourceId(16)) == versions, name, "version information");
  ResourceMap manifests;
  if (ReadFile(base + ".manifest", manifest)) manifests[Key(ResourceId(24), ResourceId(1), language)] = manifest;
  Check(OfType(sfx, ResourceId(24)) == manifests, name, "manifest");

  // The archive follows the image and restores whole, and its terminator ends the file.
  ReadFile(base + ".exe", sfxBytes);
  sfxtest::RunResult archive = sfxtest::RunArchive(sfxBytes);
  Check(archive.code == ArchiveOk, name, "the extractor's reader ends with " + std::to_string(archive.code));
  Check(archive.end == sfxBytes.size(), name, "the terminator does not end the file");
  uint64_t offset = archive.archiveOffset;
  std::string edited, from;
  ReadFile(folder + "/head.exe", edited);
  ReadFile(source, from);
  bool prepared = PrepareHeadImage(edited, from, manifest, ownVersion) && edited.size() == offset;
  // But for the checksum: the whole file's (pefile checks it), not the head's.
  if (prepared) edited.replace(uint8_t(edited[0x3C]) + 88, 4, sfxBytes, uint8_t(sfxBytes[0x3C]) + 88, 4);
  Check(prepared && sfxBytes.compare(0, offset, edited) == 0, name, "the head edited natively differs from orvex.exe's");
  std::printf("%s %s: %zu resources, archive at %llu of %zu bytes\n", gFailures > failuresBefore ? "bad " : "ok  ",
              name.c_str(), sfx.size(), static_cast<unsigned long long>(offset), sfxBytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sfx_readback FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    std::printf("FAIL: no samples in %s\n", folder.c_str());
    return 1;
  }
  int samples = 0;
  while (dirent* entry = readdir(dir)) {
    std::string file = entry->d_name;
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".txt") == 0) {
      CheckSample(folder, file.substr(0, file.size() - 4));
      ++samples;
    }
  }
  closedir(dir);
  Check(samples > 0, folder, "no samples");
  std::printf("%d samples, %d failures\n", samples, gFailures);
  return gFailures ? 1 : 0;
}
