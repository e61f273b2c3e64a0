#include "editorrun.h"

#include <exception>
#include <vector>

#include "OVResourceEditor.h"

namespace {

void Put(std::string& b, size_t at, uint32_t value, int bytes) {
  if (b.size() < at + bytes) b.resize(at + bytes, '\0');
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(value >> (8 * i));
}

constexpr uint32_t kSectionRva = 0x1000, kHeaders = 0x200, kNamed = 0x80000000u;

// A PE32 image whose one section holds `tree` as its resources.
std::string ImageWith(const std::string& tree) {
  const uint32_t size = static_cast<uint32_t>(tree.size()), raw = (size + 0x1FF) & ~0x1FFu;
  const uint32_t optional = 0x58, section = optional + 0xE0;
  const uint32_t fields[][3] = {{0, 0x5A4D, 2}, {0x3C, 0x40, 4}, {0x40, 0x4550, 4}, {0x46, 1, 2}, {0x54, 0xE0, 2},
                                {optional, 0x10B, 2}, {optional + 32, 0x1000, 4}, {optional + 36, 0x200, 4},
                                {optional + 60, kHeaders, 4}, {optional + 92, 16, 4}, {optional + 112, kSectionRva, 4},
                                {optional + 116, size, 4}, {section + 8, size, 4}, {section + 12, kSectionRva, 4},
                                {section + 16, raw, 4}, {section + 20, kHeaders, 4}};
  std::string b(kHeaders, '\0');
  for (const auto& f : fields) Put(b, f[0], f[1], static_cast<int>(f[2]));
  return b + tree + std::string(raw - size, '\0');
}

bool Same(const std::vector<Resource>& a, const std::vector<Resource>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].type != b[i].type || a[i].name != b[i].name || a[i].language != b[i].language ||
        a[i].codePage != b[i].codePage || a[i].data != b[i].data)
      return false;
  return true;
}

}  // namespace

// The editor promises never to throw: whatever it throws is a finding.
std::string RunResourceEditor(const std::string& bytes, const std::string& head) try {
  const std::string manifest = "<assembly/>";
  ResourceEditor editor;
  if (editor.Load(bytes)) {
    std::vector<uint16_t> ids;
    for (const Resource& r : editor.Resources())
      if (r.type == ResourceName::Number(kIconGroupType)) IconGroupImages(r.data, ids);
    editor.Set(ResourceName::Number(kManifestType), ResourceName::Number(1), VersionLanguage(editor), manifest);
    std::string written;
    if (editor.Write(written)) {
      ResourceEditor again;
      if (!again.Load(written)) return "a written image does not load";
      if (!Same(again.Resources(), editor.Resources())) return "a written image reads back other resources";
      std::string twice;
      if (!again.Write(twice) || twice != written) return "writing the written image again changes it";
    }
  }
  // As a source, into the given head and into itself.
  std::string edited = head;
  if (!head.empty() && !PrepareHeadImage(edited, bytes, manifest)) return "the head refused the manifest";
  edited = bytes;
  PrepareHeadImage(edited, bytes, manifest);
  return std::string();
} catch (const std::exception& e) {
  return std::string("threw ") + e.what();
} catch (...) {
  return "threw something that is no std::exception";
}

std::string HostileResourceImage(HostileTree shape, unsigned entries) {
  // A type, its directory of names, each name's directory of languages, all sharing one
  // data entry, then the texts.
  const bool shared = shape == HostileTree::SharedName;
  const uint32_t names = shared ? 1 : entries, languages = shared ? entries : 1;
  const uint32_t nameDirectory = 24, first = nameDirectory + 16 + 8 * names, perName = 16 + 8 * languages;
  const uint32_t data = first + perName * names, text = data + 32;
  std::string tree;
  Put(tree, shared ? 12 : 14, 1, 2);
  Put(tree, 16, shared ? kNamed | text : 10, 4);
  Put(tree, 20, kNamed | nameDirectory, 4);
  Put(tree, nameDirectory + 12, names, 2);
  for (uint32_t n = 0; n < names; ++n) {
    // The overlapping names start one character apart: each a text of its own.
    Put(tree, nameDirectory + 16 + 8 * n, kNamed | (text + (shared ? 0 : 2 * n)), 4);
    Put(tree, nameDirectory + 20 + 8 * n, kNamed | (first + perName * n), 4);
    Put(tree, first + perName * n + 14, languages, 2);
    for (uint32_t l = 0; l < languages; ++l) {
      Put(tree, first + perName * n + 16 + 8 * l, l, 4);
      Put(tree, first + perName * n + 20 + 8 * l, data, 4);
    }
  }
  Put(tree, data, kSectionRva + data + 16, 4);
  Put(tree, data + 4, 16, 4);
  Put(tree, data + 31, 0, 1);
  // The shared text is 65,535 characters long. Overlapping, character i is 0x8000 + i:
  // the text at character n is 0x8000 + n long and begins as no other text does.
  if (shared) Put(tree, text, 65535, 2);
  for (uint32_t i = 0; i < (shared ? 65535 : 0x8000 + 2 * entries); ++i)
    Put(tree, text + 2 * (i + shared), shared ? 'N' : 0x8000 + i, 2);
  return ImageWith(tree);
}
