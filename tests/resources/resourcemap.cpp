#include "peresources.h"

#include <cstdio>

namespace {

class Image {
 public:
  explicit Image(const std::string& bytes) : bytes_(bytes) {}

  bool Has(uint64_t offset, uint64_t length) const { return offset <= bytes_.size() && length <= bytes_.size() - offset; }
  uint16_t U16(uint64_t offset) const {
    return static_cast<uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
  }
  uint32_t U32(uint64_t offset) const {
    return static_cast<uint32_t>(U16(offset)) | static_cast<uint32_t>(U16(offset + 2)) << 16;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  unsigned Byte(uint64_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
  const std::string& bytes_;
};

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class Reader {
 public:
  Reader(const std::string& bytes, std::vector<PeResource>& out) : image_(bytes), out_(out) {}

  bool Read() {
    if (!image_.Has(0, 64) || image_.U16(0) != 0x5A4D) return Fail("no MZ header");
    uint32_t pe = image_.U32(0x3C);
    if (!image_.Has(pe, 24) || image_.U32(pe) != 0x00004550) return Fail("no PE signature");
    unsigned sectionCount = image_.U16(pe + 6);
    unsigned optionalSize = image_.U16(pe + 20);
    uint64_t optional = pe + 24;
    if (!image_.Has(optional, optionalSize) || optionalSize < 2) return Fail("optional header cut short");
    unsigned magic = image_.U16(optional);
    uint64_t countAt, directories;
    if (magic == 0x10B) {
      countAt = 92, directories = 96;
    } else if (magic == 0x20B) {
      countAt = 108, directories = 112;
    } else {
      return Fail("unknown optional header magic");
    }
    if (optionalSize < countAt + 4) return Fail("optional header cut short");
    uint32_t directoryCount = image_.U32(optional + countAt);
    uint64_t sectionTable = optional + optionalSize;
    if (!image_.Has(sectionTable, uint64_t(sectionCount) * 40)) return Fail("section table cut short");
    for (unsigned i = 0; i < sectionCount; ++i) {
      uint64_t at = sectionTable + uint64_t(i) * 40;
      sections_.push_back({image_.U32(at + 12), image_.U32(at + 8), image_.U32(at + 20), image_.U32(at + 16)});
    }
    if (directoryCount < 3 || optionalSize < directories + 3 * 8) return true;
    uint32_t rva = image_.U32(optional + directories + 2 * 8);
    if (rva == 0) return true;
    if (!Offset(rva, 16, root_)) return Fail("resource directory outside the sections");
    return Directory(0, 0, PeResource());
  }

  std::string why;

 private:
  bool Fail(const char* reason) {
    why = reason;
    return false;
  }

  // The file offset of `length` bytes at `rva`, which must lie in one section's raw data.
  bool Offset(uint64_t rva, uint64_t length, uint64_t& offset) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
      uint64_t inside = rva - s.virtualAddress;
      if (length > s.rawSize - inside) return false;
      offset = s.rawOffset + inside;
      return image_.Has(offset, length);
    }
    return false;
  }

  bool Name(uint32_t field, std::string& name) {
    if (!(field & 0x80000000u)) {
      name = ResourceId(field & 0xFFFF);
      return true;
    }
    uint64_t at = root_ + (field & 0x7FFFFFFFu);
    if (!image_.Has(at, 2)) return Fail("resource name outside the file");
    unsigned length = image_.U16(at);
    if (!image_.Has(at + 2, uint64_t(length) * 2)) return Fail("resource name cut short");
    name.clear();
    for (unsigned i = 0; i < length; ++i) {
      unsigned c = image_.U16(at + 2 + uint64_t(i) * 2);
      name += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return true;
  }

  // Level 0 holds types, 1 names, 2 languages; a language entry points at a data entry.
  bool Directory(uint64_t relative, int level, PeResource key) {
    uint64_t at = root_ + relative;
    if (!image_.Has(at, 16)) return Fail("resource directory outside the file");
    unsigned count = image_.U16(at + 12) + image_.U16(at + 14);
    if (!image_.Has(at + 16, uint64_t(count) * 8)) return Fail("resource directory cut short");
    for (unsigned i = 0; i < count; ++i) {
      uint64_t entry = at + 16 + uint64_t(i) * 8;
      uint32_t nameField = image_.U32(entry), target = image_.U32(entry + 4);
      bool subdirectory = (target & 0x80000000u) != 0;
      if (subdirectory != (level < 2)) return Fail("resource tree has the wrong depth");
      if (level == 0 && !Name(nameField, key.type)) return false;
      if (level == 1 && !Name(nameField, key.name)) return false;
      if (level == 2) {
        if (nameField & 0x80000000u) return Fail("named language");
        key.language = static_cast<uint16_t>(nameField);
        if (!Data(target, key)) return false;
      } else if (!Directory(target & 0x7FFFFFFFu, level + 1, key)) {
        return false;
      }
    }
    return true;
  }

  bool Data(uint64_t relative, PeResource key) {
    uint64_t at = root_ + relative;
    if (!image_.Has(at, 16)) return Fail("resource data entry outside the file");
    uint32_t size = image_.U32(at + 4);
    uint64_t offset = 0;
    if (size != 0 && !Offset(image_.U32(at), size, offset)) return Fail("resource data outside the sections");
    key.data = image_.Bytes().substr(size ? offset : 0, size);
    out_.push_back(key);
    return true;
  }

  Image image_;
  std::vector<PeResource>& out_;
  std::vector<Section> sections_;
  uint64_t root_ = 0;
};

}  // namespace

bool ReadPeResources(const std::string& image, std::vector<PeResource>& resources, std::string* why) {
  resources.clear();
  Reader reader(image, resources);
  bool ok = reader.Read();
  if (!ok) resources.clear();
  if (why) *why = reader.why;
  return ok;
}

std::string ResourceId(unsigned id) { return "#" + std::to_string(id); }

std::vector<PeResource> FindResources(const std::vector<PeResource>& all, const std::string& type,
                                      const std::string& name) {
  std::vector<PeResource> found;
  for (const PeResource& r : all)
    if (r.type == type && (name.empty() || r.name == name)) found.push_back(r);
  return found;
}

bool IconGroupIds(const std::string& group, std::vector<unsigned>& ids) {
  ids.clear();
  if (group.size() < 6) return false;
  auto u16 = [&](size_t at) { return unsigned(static_cast<unsigned char>(group[at])) | unsigned(static_cast<unsigned char>(group[at + 1])) << 8; };
  unsigned count = u16(4);
  if (group.size() < 6 + size_t(count) * 14) return false;
  for (unsigned i = 0; i < count; ++i) ids.push_back(u16(6 + size_t(i) * 14 + 12));
  return true;
}

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
