#include "resourcemap.h"

#include <cstdio>

#include "OVResourceEditor.h"

namespace {

// The resources of the given type and name (any language).
std::vector<PeResource> FindResources(const std::vector<PeResource>& all, const std::string& type,
                                      const std::string& name = std::string()) {
  std::vector<PeResource> found;
  for (const PeResource& r : all)
    if (r.type == type && (name.empty() || r.name == name)) found.push_back(r);
  return found;
}

// The image identifiers named by an icon group (6-byte header, 14-byte entries); false
// when the group is shorter than its count says.
bool IconGroupIds(const std::string& group, std::vector<unsigned>& ids) {
  ids.clear();
  if (group.size() < 6) return false;
  auto u16 = [&](size_t at) { return unsigned(static_cast<unsigned char>(group[at])) | unsigned(static_cast<unsigned char>(group[at + 1])) << 8; };
  unsigned count = u16(4);
  if (group.size() < 6 + size_t(count) * 14) return false;
  for (unsigned i = 0; i < count; ++i) ids.push_back(u16(6 + size_t(i) * 14 + 12));
  return true;
}

std::string NameText(const ResourceName& id) {
  if (id.numeric) return ResourceId(id.id);
  std::string text;
  for (char16_t c : *id.text) text += c < 0x80 ? static_cast<char>(c) : '?';
  return text;
}

}  // namespace

std::string ResourceId(unsigned id) { return "#" + std::to_string(id); }

std::string Key(const std::string& type, const std::string& name, unsigned language) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", language & 0xFFFF);
  return type + "/" + name + "/" + text;
}

ResourceMap ToMap(const std::vector<PeResource>& list) {
  ResourceMap map;
  for (const PeResource& r : list) map[Key(r.type, r.name, r.language)] = r.data;
  return map;
}

ResourceMap OfType(const ResourceMap& all, const std::string& type) {
  ResourceMap found;
  for (const auto& entry : all)
    if (entry.first.compare(0, type.size() + 1, type + "/") == 0) found.insert(entry);
  return found;
}

std::string Keys(const ResourceMap& map) {
  std::string keys;
  for (const auto& [key, data] : map) keys += " " + key + "(" + std::to_string(data.size()) + ")";
  return keys;
}

ResourceMap Without(ResourceMap all, const std::set<std::string>& types) {
  for (auto it = all.begin(); it != all.end();)
    it = types.count(it->first.substr(0, it->first.find('/'))) ? all.erase(it) : std::next(it);
  return all;
}

bool ExpectedIconCopy(const std::vector<PeResource>& source, const std::string& groupName, ResourceMap& groups,
                      ResourceMap& images) {
  groups.clear();
  images.clear();
  std::vector<PeResource> all = FindResources(source, ResourceId(14));
  if (all.empty()) return false;
  for (const PeResource& group : FindResources(source, ResourceId(14), all.front().name)) {
    groups[Key(ResourceId(14), groupName, group.language)] = group.data;
    std::vector<unsigned> ids;
    if (!IconGroupIds(group.data, ids)) return false;
    for (unsigned id : ids) {
      std::vector<PeResource> image = FindResources(source, ResourceId(3), ResourceId(id));
      if (image.empty()) return false;
      images[Key(ResourceId(3), ResourceId(id), group.language)] = image.front().data;
    }
  }
  return true;
}

std::vector<PeResource> EditorResources(const ResourceEditor& editor) {
  std::vector<PeResource> list;
  for (const Resource& r : editor.Resources()) list.push_back({NameText(r.type), NameText(r.name), r.language, r.data});
  return list;
}
