#include "editorrun.h"

#include <stdint.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "OVResourceEditor.h"

namespace {

void Put(std::string& b, size_t at, uint32_t value, int bytes) {
  if (b.size() < at + bytes) b.resize(at + bytes, '\0');
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(value >> (8 * i));
}

// A directory at `at` with `named` named entries first, then `ids` numbered ones.
size_t PutDirectory(std::string& tree, size_t at, uint32_t named, uint32_t ids) {
  Put(tree, at + 12, named, 2);
  Put(tree, at + 14, ids, 2);
  return at + 16;
}

void PutEntry(std::string& tree, size_t at, uint32_t name, uint32_t target) {
  Put(tree, at, name, 4);
  Put(tree, at + 4, target, 4);
}

constexpr uint32_t kSectionRva = 0x1000, kHeaders = 0x200, kNamed = 0x80000000u;

// The image around a resource section whose tree is `tree`.
std::string ImageWith(const std::string& tree) {
  std::string b(kHeaders, '\0');
  b[0] = 'M', b[1] = 'Z';
  Put(b, 0x3C, 0x40, 4);
  Put(b, 0x40, 0x4550, 4);
  Put(b, 0x44, 0x14C, 2);      // i386
  Put(b, 0x46, 1, 2);          // one section
  Put(b, 0x54, 0xE0, 2);       // optional header
  Put(b, 0x56, 0x102, 2);
  const size_t optional = 0x58, raw = (tree.size() + 0x1FF) & ~size_t(0x1FF);
  Put(b, optional, 0x10B, 2);  // PE32
  Put(b, optional + 28, 0x400000, 4);
  Put(b, optional + 32, 0x1000, 4);
  Put(b, optional + 36, 0x200, 4);
  Put(b, optional + 56, kSectionRva + ((tree.size() + 0xFFF) & ~size_t(0xFFF)), 4);
  Put(b, optional + 60, kHeaders, 4);
  Put(b, optional + 92, 16, 4);
  Put(b, optional + 96 + 16, kSectionRva, 4);
  Put(b, optional + 96 + 20, static_cast<uint32_t>(tree.size()), 4);
  const size_t section = optional + 0xE0;
  b.replace(section, 5, ".rsrc");
  Put(b, section + 8, static_cast<uint32_t>(tree.size()), 4);
  Put(b, section + 12, kSectionRva, 4);
  Put(b, section + 16, static_cast<uint32_t>(raw), 4);
  Put(b, section + 20, kHeaders, 4);
  Put(b, section + 36, 0x40000040, 4);
  return b + tree + std::string(raw - tree.size(), '\0');
}

bool Same(const std::vector<Resource>& a, const std::vector<Resource>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].type != b[i].type || a[i].name != b[i].name || a[i].language != b[i].language ||
        a[i].codePage != b[i].codePage || a[i].data != b[i].data)
      return false;
  return true;
}

std::string Edit(const std::string& bytes, const std::string& head) {
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
}

}  // namespace

std::string RunResourceEditor(const std::string& bytes, const std::string& head) {
  // The editor promises never to throw: whatever it throws is a finding.
  try {
    return Edit(bytes, head);
  } catch (const std::exception& e) {
    return std::string("threw ") + e.what();
  } catch (...) {
    return "threw something that is no std::exception";
  }
}

std::string HostileResourceImage(HostileTree shape, uint32_t entries) {
  std::string tree;
  const uint32_t perName = 65535;
  const uint32_t names = shape == HostileTree::SharedData ? (entries + perName - 1) / perName
                         : shape == HostileTree::OverlappingNames ? entries
                                                                  : 1;
  // Root: one type (numbered 10, or named by the long text), then its name directory.
  size_t root = 0, nameDirectory = 24;
  size_t languages = nameDirectory + 16 + 8 * size_t(names);
  size_t perLanguages = 16 + 8 * size_t(shape == HostileTree::OverlappingNames ? 1 : std::min(entries, perName));
  size_t data = languages + perLanguages * names;
  size_t text = data + 32;
  const uint32_t textField = kNamed | static_cast<uint32_t>(text);
  bool namedType = shape == HostileTree::SharedName;
  PutDirectory(tree, root, namedType, !namedType);
  PutEntry(tree, root + 16, namedType ? textField : 10, kNamed | static_cast<uint32_t>(nameDirectory));
  bool named = shape != HostileTree::SharedData;
  PutDirectory(tree, nameDirectory, named ? names : 0, named ? 0 : names);
  uint32_t left = entries;
  for (uint32_t n = 0; n < names; ++n) {
    size_t at = languages + perLanguages * n;
    uint32_t count = shape == HostileTree::OverlappingNames ? 1 : std::min(left, perName);
    left -= count;
    // The overlapping names start one character apart: each a text of its own.
    uint32_t name = shape == HostileTree::SharedName         ? textField
                    : shape == HostileTree::OverlappingNames ? textField + 2 * n
                                                             : n + 1;
    PutEntry(tree, nameDirectory + 16 + 8 * size_t(n), name, kNamed | static_cast<uint32_t>(at));
    PutDirectory(tree, at, 0, count);
    for (uint32_t l = 0; l < count; ++l) PutEntry(tree, at + 16 + 8 * size_t(l), l, static_cast<uint32_t>(data));
  }
  Put(tree, data, kSectionRva + static_cast<uint32_t>(data) + 16, 4);
  Put(tree, data + 4, shape == HostileTree::SharedData ? 0 : 16, 4);
  Put(tree, data + 16, 0x61746164, 4);  // "data", padded to 16 bytes
  Put(tree, data + 28, 0, 4);
  if (shape == HostileTree::OverlappingNames) {
    // Character i is 0x8000 + i: the text at character n is 0x8000 + n long and begins
    // with a character no other text begins with.
    for (uint32_t i = 0; i < entries + 0x8000 + entries; ++i) Put(tree, text + 2 * size_t(i), 0x8000 + i, 2);
  } else if (shape == HostileTree::SharedName) {
    Put(tree, text, 65535, 2);
    for (uint32_t i = 0; i < 65535; ++i) Put(tree, text + 2 + 2 * size_t(i), 'N', 2);
  }
  return ImageWith(tree);
}
