#include "OVResourceEditor.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace {

// Offsets in the optional header that differ between PE32 (0x10B) and PE32+ (0x20B).
constexpr uint16_t kMagic32 = 0x10B, kMagic64 = 0x20B;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr unsigned kResourceDirectory = 2, kSecurityDirectory = 4, kRelocationDirectory = 5, kDebugDirectory = 6;
constexpr uint32_t kInitializedData = 0x00000040, kReadable = 0x40000000;

uint16_t U16(const std::string& b, uint64_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
uint32_t U32(const std::string& b, uint64_t at) { return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16; }
void Put16(std::string& b, uint64_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& b, uint64_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
bool Has(const std::string& b, uint64_t at, uint64_t length) { return at <= b.size() && length <= b.size() - at; }
uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }
bool PowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

struct Section {
  uint64_t header;  // file offset of its section header
  uint32_t virtualSize, virtualAddress, rawSize, rawOffset, characteristics;
  // The virtual span the loader maps: the virtual size, or the raw size when it is 0.
  uint32_t Span() const { return virtualSize ? virtualSize : rawSize; }
};

struct Directory {
  uint32_t rva = 0, size = 0;
};

// The headers of a PE image, every field checked to lie inside the image.
struct PeLayout {
  uint64_t fileHeader = 0, optional = 0, directories = 0;
  uint16_t magic = 0;
  uint32_t directoryCount = 0, sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0;
  std::vector<Section> sections;

  bool Parse(const std::string& b) {
    if (!Has(b, 0, 64) || U16(b, 0) != 0x5A4D) return false;
    uint32_t pe = U32(b, 0x3C);
    if (!Has(b, pe, 24) || U32(b, pe) != 0x00004550) return false;
    fileHeader = pe + 4;
    unsigned sectionCount = U16(b, fileHeader + 2);
    unsigned optionalSize = U16(b, fileHeader + 16);
    optional = fileHeader + 20;
    if (!Has(b, optional, optionalSize) || optionalSize < 2) return false;
    magic = U16(b, optional);
    uint64_t countAt;
    if (magic == kMagic32) {
      countAt = 92;
    } else if (magic == kMagic64) {
      countAt = 108;
    } else {
      return false;
    }
    if (optionalSize < countAt + 4) return false;
    directories = optional + countAt + 4;
    directoryCount = std::min<uint32_t>(U32(b, optional + countAt), (optionalSize - countAt - 4) / 8);
    sectionAlignment = U32(b, optional + 32);
    fileAlignment = U32(b, optional + 36);
    sizeOfHeaders = U32(b, optional + 60);
    uint64_t table = optional + optionalSize;
    if (!Has(b, table, uint64_t(sectionCount) * kSectionHeaderSize)) return false;
    for (unsigned i = 0; i < sectionCount; ++i) {
      uint64_t at = table + uint64_t(i) * kSectionHeaderSize;
      sections.push_back({at, U32(b, at + 8), U32(b, at + 12), U32(b, at + 16), U32(b, at + 20), U32(b, at + 36)});
    }
    return true;
  }

  Directory Get(const std::string& b, unsigned index) const {
    if (index >= directoryCount) return Directory();
    return {U32(b, directories + index * 8), U32(b, directories + index * 8 + 4)};
  }

  // The file offset of `length` bytes at `rva`, which must lie in one section's raw data.
  bool Offset(const std::string& b, uint64_t rva, uint64_t length, uint64_t& offset) const {
    for (const Section& s : sections) {
      if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
      uint64_t inside = rva - s.virtualAddress;
      if (length > s.rawSize - inside) return false;
      offset = uint64_t(s.rawOffset) + inside;
      return Has(b, offset, length);
    }
    return false;
  }
};

// What holding a tree may cost: a few times the image it is read from.
uint64_t CostBudget(uint64_t imageSize) { return 4 * imageSize + 65536; }

// Reads the three levels of the resource tree (type, name, language). Every directory
// is read once: a tree whose entries loop or share a directory is refused. Entries may
// still share data and names, and names may overlap: each resource and each name text
// read (once per offset) is counted against the budget, which bounds the work and the
// memory to a few times the image.
class TreeReader {
 public:
  TreeReader(const std::string& image, const PeLayout& layout, std::vector<Resource>& out)
      : b_(image), layout_(layout), out_(out), budget_(CostBudget(image.size())) {}

  bool Read(uint64_t root, uint64_t end) {
    root_ = root;
    end_ = end;
    visited_.assign(end - root, false);
    return Directory(0, 0, Resource());
  }

 private:
  bool Inside(uint64_t relative, uint64_t length) const {
    return relative <= end_ - root_ && length <= end_ - root_ - relative;
  }

  bool Spend(uint64_t cost) {
    cost_ += cost;
    return cost_ <= budget_;
  }

  bool Name(uint32_t field, ResourceName& id) {
    if (!(field & 0x80000000u)) {
      if (field > 0xFFFF) return false;
      id = ResourceName::Number(static_cast<uint16_t>(field));
      return true;
    }
    uint64_t at = field & 0x7FFFFFFFu;
    id.numeric = false;
    id.id = 0;
    auto known = texts_.find(at);
    if (known != texts_.end()) {
      id.text = known->second;
      return true;
    }
    if (!Inside(at, 2)) return false;
    unsigned length = U16(b_, root_ + at);
    if (!Inside(at + 2, uint64_t(length) * 2) || !Spend(sizeof(std::u16string) + 64 + uint64_t(length) * 2))
      return false;
    auto text = std::make_shared<std::u16string>(length, u'\0');
    for (unsigned i = 0; i < length; ++i) (*text)[i] = static_cast<char16_t>(U16(b_, root_ + at + 2 + uint64_t(i) * 2));
    id.text = texts_[at] = std::move(text);
    return true;
  }

  bool Directory(uint64_t relative, int level, Resource key) {
    if (!Inside(relative, 16) || visited_[relative]) return false;
    visited_[relative] = true;
    uint64_t at = root_ + relative;
    uint64_t count = uint64_t(U16(b_, at + 12)) + U16(b_, at + 14);
    if (!Inside(relative + 16, count * 8)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t entry = at + 16 + i * 8;
      uint32_t nameField = U32(b_, entry), target = U32(b_, entry + 4);
      bool subdirectory = (target & 0x80000000u) != 0;
      if (subdirectory != (level < 2)) return false;
      if (level == 0 && !Name(nameField, key.type)) return false;
      if (level == 1 && !Name(nameField, key.name)) return false;
      if (level == 2) {
        if (nameField > 0xFFFF) return false;
        key.language = static_cast<uint16_t>(nameField);
        if (!Data(target, key)) return false;
      } else if (!Directory(target & 0x7FFFFFFFu, level + 1, key)) {
        return false;
      }
    }
    return true;
  }

  bool Data(uint64_t relative, Resource key) {
    if (!Inside(relative, 16)) return false;
    uint64_t at = root_ + relative;
    uint32_t size = U32(b_, at + 4);
    if (!Spend(sizeof(Resource) + size)) return false;
    uint64_t offset = 0;
    if (size != 0 && !layout_.Offset(b_, U32(b_, at), size, offset)) return false;
    key.data = b_.substr(offset, size);
    key.codePage = U32(b_, at + 8);
    out_.push_back(std::move(key));
    return true;
  }

  const std::string& b_;
  const PeLayout& layout_;
  std::vector<Resource>& out_;
  uint64_t root_ = 0, end_ = 0, cost_ = 0;
  const uint64_t budget_;
  std::vector<bool> visited_;
  std::map<uint64_t, std::shared_ptr<const std::u16string>> texts_;  // by offset in the tree
};

// Sorts a tree read from a file into tree order. Equal texts become one shared text
// first, so that names compare by identity from here on, and the sort compares ranks,
// never long texts again and again. False when a key comes twice.
bool SortTree(std::vector<Resource>& resources) {
  std::vector<std::shared_ptr<const std::u16string>> texts;
  for (const Resource& r : resources)
    for (const ResourceName* id : {&r.type, &r.name})
      if (!id->numeric && (texts.empty() || texts.back() != id->text)) texts.push_back(id->text);
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  std::vector<size_t> byContent(texts.size());
  for (size_t i = 0; i < byContent.size(); ++i) byContent[i] = i;
  std::sort(byContent.begin(), byContent.end(), [&](size_t a, size_t b) { return *texts[a] < *texts[b]; });
  // Texts rank before identifiers, in ordinal order; identifiers follow by value.
  std::vector<uint64_t> rank(texts.size());
  std::vector<std::shared_ptr<const std::u16string>> shared(texts.size());
  uint64_t ranks = 0;
  for (size_t i = 0; i < byContent.size(); ++i) {
    size_t t = byContent[i];
    if (i == 0 || *texts[t] != *texts[byContent[i - 1]]) ++ranks;
    rank[t] = ranks;
    shared[t] = i > 0 && rank[byContent[i - 1]] == ranks ? shared[byContent[i - 1]] : texts[t];
  }
  auto keyOf = [&](ResourceName& id) -> uint64_t {
    if (id.numeric) return ranks + 1 + id.id;
    size_t t = std::lower_bound(texts.begin(), texts.end(), id.text) - texts.begin();
    id.text = shared[t];
    return rank[t];
  };
  struct Keyed {
    uint64_t type, name;
    uint16_t language;
    size_t index;
  };
  std::vector<Keyed> keys;
  keys.reserve(resources.size());
  for (size_t i = 0; i < resources.size(); ++i) {
    Resource& r = resources[i];
    uint64_t type = keyOf(r.type);
    keys.push_back({type, keyOf(r.name), r.language, i});
  }
  auto before = [](const Keyed& a, const Keyed& b) {
    if (a.type != b.type) return a.type < b.type;
    if (a.name != b.name) return a.name < b.name;
    return a.language < b.language;
  };
  std::sort(keys.begin(), keys.end(), before);
  for (size_t i = 1; i < keys.size(); ++i)
    if (!before(keys[i - 1], keys[i])) return false;
  std::vector<Resource> sorted;
  sorted.reserve(resources.size());
  for (const Keyed& k : keys) sorted.push_back(std::move(resources[k.index]));
  resources = std::move(sorted);
  return true;
}

bool TreeOrder(const Resource& a, const Resource& b) {
  if (a.type != b.type) return a.type < b.type;
  if (a.name != b.name) return a.name < b.name;
  return a.language < b.language;
}

// The resource section as the loader reads it: directories breadth first, then the data
// entries, the name texts, and the data, each block on an 8-byte boundary.
std::string BuildSection(const std::vector<Resource>& resources, uint32_t sectionRva) {
  struct Group {
    size_t first, count;
  };
  auto groups = [&](size_t first, size_t count, bool byType) {
    std::vector<Group> out;
    for (size_t i = first; i < first + count; ++i) {
      bool same = !out.empty() &&
                  (byType ? resources[i].type == resources[i - 1].type
                          : resources[i].name == resources[i - 1].name);
      if (same) {
        ++out.back().count;
      } else {
        out.push_back({i, 1});
      }
    }
    return out;
  };
  std::vector<Group> types = groups(0, resources.size(), true);
  std::vector<std::vector<Group>> names;
  for (const Group& t : types) names.push_back(groups(t.first, t.count, false));

  uint64_t size = 16 + 8 * types.size();
  std::vector<uint64_t> typeAt, nameAt;
  for (size_t t = 0; t < types.size(); ++t) typeAt.push_back(size), size += 16 + 8 * names[t].size();
  for (size_t t = 0; t < types.size(); ++t)
    for (const Group& n : names[t]) nameAt.push_back(size), size += 16 + 8 * n.count;
  uint64_t dataEntries = size;
  size += 16 * resources.size();
  // Each text once, however many entries it names.
  std::vector<uint64_t> textAt;
  std::map<const std::u16string*, uint64_t> texts;
  auto addText = [&](const ResourceName& id) {
    if (id.numeric) return textAt.push_back(0);
    auto known = texts.emplace(id.text.get(), size);
    if (known.second) size += 2 + 2 * id.text->size();
    textAt.push_back(known.first->second);
  };
  for (size_t t = 0; t < types.size(); ++t) {
    addText(resources[types[t].first].type);
    for (const Group& n : names[t]) addText(resources[n.first].name);
  }
  std::vector<uint64_t> dataAt;
  for (const Resource& r : resources) {
    size = AlignUp(size, 8);
    dataAt.push_back(size);
    size += r.data.size();
  }

  std::string out(size, '\0');
  auto directory = [&](uint64_t at, const std::vector<ResourceName>& ids) {
    uint16_t named = 0;
    for (const ResourceName& id : ids) named += !id.numeric;
    Put16(out, at + 12, named);
    Put16(out, at + 14, static_cast<uint32_t>(ids.size() - named));
  };
  auto entry = [&](uint64_t at, uint32_t nameField, uint64_t target) {
    Put32(out, at, nameField);
    Put32(out, at + 4, static_cast<uint32_t>(target));
  };
  auto nameField = [&](const ResourceName& id, uint64_t text) {
    return id.numeric ? uint32_t(id.id) : static_cast<uint32_t>(0x80000000u | text);
  };
  for (const auto& [text, at] : texts) {
    Put16(out, at, static_cast<uint32_t>(text->size()));
    for (size_t i = 0; i < text->size(); ++i) Put16(out, at + 2 + 2 * i, (*text)[i]);
  }

  std::vector<ResourceName> ids;
  for (const Group& t : types) ids.push_back(resources[t.first].type);
  directory(0, ids);
  size_t nameIndex = 0, textIndex = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    entry(16 + 8 * t, nameField(resources[types[t].first].type, textAt[textIndex++]), 0x80000000u | typeAt[t]);
    ids.clear();
    for (const Group& n : names[t]) ids.push_back(resources[n.first].name);
    directory(typeAt[t], ids);
    for (size_t n = 0; n < names[t].size(); ++n, ++nameIndex) {
      const Group& group = names[t][n];
      entry(typeAt[t] + 16 + 8 * n, nameField(resources[group.first].name, textAt[textIndex++]),
            0x80000000u | nameAt[nameIndex]);
      Put16(out, nameAt[nameIndex] + 14, static_cast<uint32_t>(group.count));
      for (size_t l = 0; l < group.count; ++l) {
        size_t r = group.first + l;
        entry(nameAt[nameIndex] + 16 + 8 * l, resources[r].language, dataEntries + 16 * r);
      }
    }
  }
  for (size_t r = 0; r < resources.size(); ++r) {
    uint64_t at = dataEntries + 16 * r;
    Put32(out, at, static_cast<uint32_t>(sectionRva + dataAt[r]));
    Put32(out, at + 4, static_cast<uint32_t>(resources[r].data.size()));
    Put32(out, at + 8, resources[r].codePage);
    std::copy(resources[r].data.begin(), resources[r].data.end(), out.begin() + dataAt[r]);
  }
  return out;
}

// The header checksum: the 16-bit sum with end-around carry of the image whose checksum
// field is zero, plus the image length.
uint32_t Checksum(std::string& b, uint64_t checksumAt) {
  Put32(b, checksumAt, 0);
  uint64_t sum = 0;
  for (uint64_t at = 0; at < b.size(); at += 2) {
    sum += static_cast<unsigned char>(b[at]);
    if (at + 1 < b.size()) sum += static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + b.size());
}

// A version information block: length, value length, type, UTF-16 key, value, children,
// each part on a 4-byte boundary of the resource.
struct VersionBlock {
  uint64_t at = 0, end = 0, value = 0, valueLength = 0, children = 0;
  std::u16string key;
};

bool ReadBlock(const std::string& b, uint64_t at, uint64_t limit, VersionBlock& block) {
  if (at > limit || limit - at < 6) return false;
  uint16_t length = U16(b, at);
  if (length < 6 || length > limit - at) return false;
  block.at = at;
  block.end = at + length;
  uint16_t valueLength = U16(b, at + 2), type = U16(b, at + 4);
  block.key.clear();
  uint64_t p = at + 6;
  for (;; p += 2) {
    if (p + 2 > block.end) return false;
    char16_t c = static_cast<char16_t>(U16(b, p));
    if (c == 0) break;
    block.key += c;
  }
  block.value = std::min<uint64_t>(AlignUp(p + 2, 4), block.end);
  block.valueLength = type == 1 ? uint64_t(valueLength) * 2 : valueLength;
  if (block.valueLength > block.end - block.value) return false;
  block.children = std::min<uint64_t>(AlignUp(block.value + block.valueLength, 4), block.end);
  return true;
}

bool FindChild(const std::string& b, const VersionBlock& parent, const std::u16string& key, VersionBlock& child) {
  for (uint64_t at = parent.children; at < parent.end; at = AlignUp(child.end, 4)) {
    if (!ReadBlock(b, at, parent.end, child)) return false;
    if (child.key == key) return true;
  }
  return false;
}

const ResourceName kGroup = ResourceName::Number(kIconGroupType), kImage = ResourceName::Number(kIconImageType),
                 kVersion = ResourceName::Number(kVersionType);

}  // namespace

ResourceName ResourceName::Number(uint16_t id) {
  ResourceName r;
  r.id = id;
  return r;
}

ResourceName ResourceName::Text(const std::string& bytes) {
  ResourceName r;
  r.numeric = false;
  std::u16string text;
  for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  r.text = std::make_shared<const std::u16string>(std::move(text));
  return r;
}

bool ResourceName::operator==(const ResourceName& other) const {
  if (numeric != other.numeric) return false;
  return numeric ? id == other.id : text == other.text || *text == *other.text;
}

bool ResourceName::operator<(const ResourceName& other) const {
  if (numeric != other.numeric) return !numeric;
  return numeric ? id < other.id : text != other.text && *text < *other.text;
}

bool ResourceEditor::Load(const std::string& image) {
  image_.clear();
  resources_.clear();
  PeLayout layout;
  if (!layout.Parse(image)) return false;
  Directory tree = layout.Get(image, kResourceDirectory);
  if (tree.rva != 0) {
    // The tree's offsets must stay inside the raw data of the section that holds it
    // (the same section that Offset finds, should sections overlap).
    const Section* holder = nullptr;
    for (const Section& s : layout.sections)
      if (!holder && tree.rva >= s.virtualAddress && tree.rva - s.virtualAddress < s.rawSize) holder = &s;
    uint64_t root = 0;
    if (!holder || !layout.Offset(image, tree.rva, 16, root)) return false;
    uint64_t end = std::min<uint64_t>(uint64_t(holder->rawOffset) + holder->rawSize, image.size());
    if (end < root + 16) return false;
    std::vector<Resource> read;
    if (!TreeReader(image, layout, read).Read(root, end) || !SortTree(read)) return false;
    resources_ = std::move(read);
  }
  image_ = image;
  return true;
}

namespace {

// The resources of one type, or of one type and name: a run of the sorted list.
std::pair<std::vector<Resource>::const_iterator, std::vector<Resource>::const_iterator> Run(
    const std::vector<Resource>& resources, const ResourceName& type, const ResourceName* name = nullptr) {
  auto before = [&](const Resource& r) { return r.type < type || (name && r.type == type && r.name < *name); };
  auto first = std::partition_point(resources.begin(), resources.end(), before);
  auto end = first;
  while (end != resources.end() && end->type == type && (!name || end->name == *name)) ++end;
  return {first, end};
}

}  // namespace

const Resource* ResourceEditor::FindAnyLanguage(const ResourceName& type, const ResourceName& name) const {
  auto [first, end] = Run(resources_, type, &name);
  return first != end ? &*first : nullptr;
}

std::vector<ResourceName> ResourceEditor::Names(const ResourceName& type) const {
  std::vector<ResourceName> names;
  auto [first, end] = Run(resources_, type);
  for (auto r = first; r != end; ++r)
    if (names.empty() || names.back() != r->name) names.push_back(r->name);
  return names;
}

void ResourceEditor::Set(const ResourceName& type, const ResourceName& name, uint16_t language, const std::string& data) {
  Resource key;
  key.type = type;
  key.name = name;
  key.language = language;
  key.data = data;
  Edit({}, {std::move(key)});
}

void ResourceEditor::Edit(std::vector<Resource> deleted, std::vector<Resource> added) {
  std::sort(deleted.begin(), deleted.end(), TreeOrder);
  std::stable_sort(added.begin(), added.end(), TreeOrder);
  // Of resources set twice the last one given stays, as with Set.
  size_t kept = 0;
  for (size_t i = 0; i < added.size(); ++i) {
    if (i + 1 < added.size() && !TreeOrder(added[i], added[i + 1])) continue;
    if (kept != i) added[kept] = std::move(added[i]);
    ++kept;
  }
  added.resize(kept);
  // Each step finds its place by a binary search from the last one, so a long edit of a
  // long list never compares name after name.
  std::vector<Resource> out;
  out.reserve(resources_.size() + added.size());
  auto at = resources_.begin();
  for (const Resource& key : deleted) {
    auto next = std::lower_bound(at, resources_.end(), key, TreeOrder);
    std::move(at, next, std::back_inserter(out));
    at = next;
    if (at != resources_.end() && !TreeOrder(key, *at)) ++at;
  }
  std::move(at, resources_.end(), std::back_inserter(out));
  resources_.clear();
  at = out.begin();
  for (Resource& r : added) {
    auto next = std::lower_bound(at, out.end(), r, TreeOrder);
    std::move(at, next, std::back_inserter(resources_));
    at = next;
    if (at != out.end() && !TreeOrder(r, *at)) {
      at->data = std::move(r.data);  // the code page stays
      resources_.push_back(std::move(*at++));
    } else {
      r.codePage = 0;
      resources_.push_back(std::move(r));
    }
  }
  std::move(at, out.end(), std::back_inserter(resources_));
}

bool ResourceEditor::Write(std::string& result) const {
  const std::string& in = image_;
  PeLayout layout;
  if (!layout.Parse(in) || layout.directoryCount <= kResourceDirectory) return false;
  const uint32_t fa = layout.fileAlignment, sa = layout.sectionAlignment;
  if (!PowerOfTwo(fa) || !PowerOfTwo(sa) || fa > sa || layout.sections.empty()) return false;
  // The headers are copied as they are: they must lie in the file, even when no section
  // has raw data to show where they end.
  if (layout.sizeOfHeaders > in.size()) return false;

  // The sections must follow each other in address and in file order without overlap;
  // only then can the ones after the resource section move as a block.
  std::vector<Section> sections = layout.sections;
  uint64_t rawEnd = layout.sizeOfHeaders, firstRaw = 0xFFFFFFFFu;
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    if (s.virtualAddress % sa || s.virtualAddress < AlignUp(layout.sizeOfHeaders, sa)) return false;
    if (i > 0 && s.virtualAddress < AlignUp(uint64_t(sections[i - 1].virtualAddress) + sections[i - 1].Span(), sa))
      return false;
    if (s.rawSize == 0) continue;
    if (s.rawOffset < rawEnd || uint64_t(s.rawOffset) + s.rawSize > in.size()) return false;
    firstRaw = std::min<uint64_t>(firstRaw, s.rawOffset);
    rawEnd = uint64_t(s.rawOffset) + s.rawSize;
  }

  // After the sections only a certificate table (dropped) and the COFF symbol table
  // (which moves with the sections before it) may follow.
  Directory certificate = layout.Get(in, kSecurityDirectory);
  uint64_t tailEnd = in.size();
  if (certificate.rva != 0) {
    if (certificate.rva < rawEnd || uint64_t(certificate.rva) + certificate.size != in.size()) return false;
    tailEnd = certificate.rva;
  }
  uint32_t symbols = U32(in, layout.fileHeader + 8);
  if (tailEnd > rawEnd && (symbols < rawEnd || symbols >= tailEnd)) return false;

  // The tree is rebuilt in the section it starts; an image without one gets a new last
  // section, whose header must fit into unused header space.
  Directory tree = layout.Get(in, kResourceDirectory);
  size_t index = sections.size();
  if (tree.rva != 0) {
    for (size_t i = 0; i < sections.size(); ++i)
      if (sections[i].virtualAddress == tree.rva && sections[i].rawSize != 0) index = i;
    if (index == sections.size()) return false;
  }
  const bool added = index == sections.size();
  if (added) {
    uint64_t header = sections.back().header + kSectionHeaderSize;
    if (header + kSectionHeaderSize > std::min<uint64_t>(firstRaw, layout.sizeOfHeaders) ||
        in.find_first_not_of('\0', header) < header + kSectionHeaderSize)
      return false;
    const Section& last = sections.back();
    sections.push_back({header, 0, static_cast<uint32_t>(AlignUp(uint64_t(last.virtualAddress) + last.Span(), sa)), 0,
                        static_cast<uint32_t>(AlignUp(rawEnd, fa)), kInitializedData | kReadable});
  }
  Section& resource = sections[index];
  const bool lastSection = index + 1 == sections.size();

  std::string section = BuildSection(resources_, resource.virtualAddress);
  const uint64_t newRaw = AlignUp(section.size(), fa);
  const uint64_t newSpan = AlignUp(std::max<uint64_t>(section.size(), 1), sa);
  const uint64_t oldRawEnd = added ? rawEnd : uint64_t(resource.rawOffset) + resource.rawSize;
  const uint64_t oldEnd = lastSection ? AlignUp(uint64_t(resource.virtualAddress) + resource.Span(), sa)
                                      : sections[index + 1].virtualAddress;
  const int64_t fileShift = int64_t(resource.rawOffset + newRaw) - int64_t(oldRawEnd);
  // The loader wants the sections back to back: the section keeps its room when the new
  // tree fits, else the later sections move.
  uint64_t virtualSize = section.size();
  int64_t addressShift = 0;
  if (!lastSection) {
    uint64_t room = oldEnd - resource.virtualAddress;
    if (newSpan <= room) {
      if (newSpan < room) virtualSize = room;
    } else {
      addressShift = int64_t(newSpan - room);
    }
  }
  if (uint64_t(resource.virtualAddress) + newSpan > 0xFFFFFFFFu || rawEnd + newRaw > 0xFFFFFFFFu) return false;

  // What the rewrite overwrites (the old section) or moves (everything after it) must not
  // be found by anything that keeps its old address: a directory, the entry point, a
  // relocated page. Base relocations may move: only their directory entry points at them.
  // A new section takes the addresses past the image, where nothing may point either.
  auto overwritten = [&](uint64_t rva) { return rva >= resource.virtualAddress && (added || rva < oldEnd); };
  auto moved = [&](uint64_t rva) { return addressShift != 0 && rva >= oldEnd; };
  for (unsigned d = 0; d < layout.directoryCount; ++d) {
    Directory dir = layout.Get(in, d);
    if (d == kResourceDirectory || d == kSecurityDirectory || dir.rva == 0) continue;
    if (overwritten(dir.rva) || (d != kRelocationDirectory && moved(dir.rva))) return false;
  }
  if (overwritten(U32(in, layout.optional + 16)) || moved(U32(in, layout.optional + 16))) return false;
  Directory relocations = layout.Get(in, kRelocationDirectory);
  if (relocations.rva != 0) {
    uint64_t at = 0;
    if (!layout.Offset(in, relocations.rva, relocations.size, at)) return false;
    for (uint64_t p = at; p + 8 <= at + relocations.size;) {
      uint32_t page = U32(in, p), blockSize = U32(in, p + 4);
      if (blockSize < 8 || overwritten(page) || moved(page)) return false;
      p += blockSize;
    }
  }
  // Debug data is also found by its file offset, which must not change.
  Directory debug = layout.Get(in, kDebugDirectory);
  if (debug.rva != 0 && fileShift != 0) {
    uint64_t at = 0;
    if (!layout.Offset(in, debug.rva, debug.size, at)) return false;
    for (uint64_t p = at; p + 28 <= at + debug.size; p += 28)
      if (U32(in, p + 24) >= resource.rawOffset) return false;
  }

  std::string out = in.substr(0, added ? rawEnd : resource.rawOffset);
  out.resize(resource.rawOffset, '\0');
  out += section;
  out.resize(resource.rawOffset + newRaw, '\0');
  out.append(in, oldRawEnd, tailEnd - oldRawEnd);

  resource.virtualSize = static_cast<uint32_t>(virtualSize);
  resource.rawSize = static_cast<uint32_t>(newRaw);
  for (size_t i = index + 1; i < sections.size(); ++i) {
    if (sections[i].rawSize) sections[i].rawOffset = static_cast<uint32_t>(sections[i].rawOffset + fileShift);
    sections[i].virtualAddress = static_cast<uint32_t>(sections[i].virtualAddress + addressShift);
  }
  for (const Section& s : sections) {
    Put32(out, s.header + 8, s.virtualSize);
    Put32(out, s.header + 12, s.virtualAddress);
    Put32(out, s.header + 16, s.rawSize);
    Put32(out, s.header + 20, s.rawOffset);
    Put32(out, s.header + 36, s.characteristics);
  }
  if (added) {
    std::copy_n(".rsrc\0\0\0", 8, out.begin() + resource.header);
    Put16(out, layout.fileHeader + 2, static_cast<uint32_t>(sections.size()));
  }
  if (tailEnd > rawEnd) Put32(out, layout.fileHeader + 8, static_cast<uint32_t>(symbols + fileShift));
  if (resource.characteristics & kInitializedData) {
    uint32_t oldRaw = added ? 0 : layout.sections[index].rawSize;
    Put32(out, layout.optional + 8, static_cast<uint32_t>(U32(in, layout.optional + 8) - oldRaw + newRaw));
  }
  const Section& last = sections.back();
  Put32(out, layout.optional + 56, static_cast<uint32_t>(AlignUp(uint64_t(last.virtualAddress) + last.Span(), sa)));
  uint64_t directory = layout.directories + kResourceDirectory * 8;
  Put32(out, directory, resource.virtualAddress);
  Put32(out, directory + 4, static_cast<uint32_t>(section.size()));
  // A signature over the old bytes would not hold: drop it with its table.
  directory = layout.directories + kSecurityDirectory * 8;
  if (certificate.rva != 0) Put32(out, directory, 0), Put32(out, directory + 4, 0);
  directory = layout.directories + kRelocationDirectory * 8;
  if (moved(relocations.rva)) Put32(out, directory, static_cast<uint32_t>(relocations.rva + addressShift));
  Put32(out, layout.optional + 64, Checksum(out, layout.optional + 64));
  result = std::move(out);
  return true;
}

bool IconGroupImages(const std::string& group, std::vector<uint16_t>& ids) {
  ids.clear();
  if (group.size() < 6) return false;
  unsigned count = U16(group, 4);
  if (group.size() < 6 + uint64_t(count) * 14) return false;
  for (unsigned i = 0; i < count; ++i) ids.push_back(U16(group, 6 + uint64_t(i) * 14 + 12));
  return true;
}

uint16_t VersionLanguage(const ResourceEditor& file) {
  const Resource* info = file.FindAnyLanguage(kVersion, ResourceName::Number(1));
  if (!info) return 0;
  const std::string& b = info->data;
  VersionBlock root, var, translation;
  if (!ReadBlock(b, 0, b.size(), root) || root.key != u"VS_VERSION_INFO" ||
      !FindChild(b, root, u"VarFileInfo", var) || !FindChild(b, var, u"Translation", translation) ||
      translation.valueLength < 2)
    return 0;
  return U16(b, translation.value);
}

bool CopyIconGroup(const ResourceEditor& source, ResourceEditor& target) {
  auto [sourceGroup, sourceEnd] = Run(source.Resources(), kGroup);
  if (sourceGroup == sourceEnd) return false;
  sourceEnd = Run(source.Resources(), kGroup, &sourceGroup->name).second;
  auto [targetGroup, targetEnd] = Run(target.Resources(), kGroup);
  if (targetGroup != targetEnd) targetEnd = Run(target.Resources(), kGroup, &targetGroup->name).second;
  std::vector<uint16_t> ids;
  std::vector<Resource> deleted, added;
  auto key = [](const ResourceName& type, const ResourceName& name, uint16_t language, const std::string& data) {
    Resource r;
    r.type = type;
    r.name = name;
    r.language = language;
    r.data = data;
    return r;
  };
  for (auto group = targetGroup; group != targetEnd; ++group) {
    if (!IconGroupImages(group->data, ids)) return false;
    for (uint16_t id : ids) deleted.push_back(key(kImage, ResourceName::Number(id), group->language, ""));
    deleted.push_back(key(kGroup, group->name, group->language, ""));
  }
  // A group names its images in every language again: a source whose groups name large
  // images many times over would cost many times its size, and is refused.
  uint64_t copied = 0;
  const ResourceName& name = targetGroup != targetEnd ? targetGroup->name : sourceGroup->name;
  for (auto group = sourceGroup; group != sourceEnd; ++group) {
    if (!IconGroupImages(group->data, ids)) return false;
    for (uint16_t id : ids) {
      const Resource* image = source.FindAnyLanguage(kImage, ResourceName::Number(id));
      if (!image) return false;
      copied += sizeof(Resource) + image->data.size();
      if (copied > CostBudget(source.ImageSize())) return false;
      added.push_back(key(kImage, image->name, group->language, image->data));
    }
    added.push_back(key(kGroup, name, group->language, group->data));
  }
  target.Edit(std::move(deleted), std::move(added));
  return true;
}

bool CopyVersionInfo(const ResourceEditor& source, ResourceEditor& target) {
  auto [first, end] = Run(source.Resources(), kVersion);
  if (first == end) return false;
  auto [old, oldEnd] = Run(target.Resources(), kVersion);
  target.Edit(std::vector<Resource>(old, oldEnd), std::vector<Resource>(first, end));
  return true;
}

bool ResourceImageHeaders(std::string& headers, uint64_t fileSize, uint64_t& offset, uint64_t& length) {
  PeLayout layout;
  if (!layout.Parse(headers) || layout.sections.empty()) return false;
  uint32_t tree = layout.Get(headers, kResourceDirectory).rva;
  headers.resize(layout.sections.back().header + kSectionHeaderSize);
  bool found = false;
  // The first section whose raw data holds the tree, as the loader and the editor take it.
  for (const Section& s : layout.sections) {
    uint32_t raw = 0, at = 0;
    if (!found && tree != 0 && tree >= s.virtualAddress && tree - s.virtualAddress < s.rawSize) {
      found = true;
      offset = s.rawOffset;
      length = s.rawOffset < fileSize ? std::min<uint64_t>(s.rawSize, fileSize - s.rawOffset) : 0;
      raw = static_cast<uint32_t>(length);
      at = static_cast<uint32_t>(headers.size());
    }
    Put32(headers, s.header + 16, raw);
    Put32(headers, s.header + 20, at);
  }
  return found && length != 0;
}

std::string ElevationManifest(uint8_t elevation, const std::string& carried) {
  if (carried.empty() || elevation > 2) return std::string();
  if (elevation == 2) return carried;
  static const char kRequired[] = "requireAdministrator";
  size_t at = carried.find(kRequired);
  // Without the level to replace, the text would ask for more than the user chose.
  if (at == std::string::npos) return std::string();
  return std::string(carried).replace(at, sizeof kRequired - 1, elevation == 1 ? "highestAvailable" : "asInvoker");
}

namespace {

// A version information block: its header, its UTF-16 key, its value and its children,
// each started on a 4-byte boundary; the length leaves out the padding after the end.
std::string VersionBlockBytes(const std::u16string& key, const std::string& value, uint16_t type,
                              const std::vector<std::string>& children) {
  std::string b(6, '\0');
  for (char16_t c : key + u'\0') b += static_cast<char>(c & 0xFF), b += static_cast<char>(c >> 8);
  b.resize(AlignUp(b.size(), 4));
  b += value;
  for (const std::string& child : children) b.resize(AlignUp(b.size(), 4)), b += child;
  Put16(b, 0, static_cast<uint32_t>(b.size()));
  Put16(b, 2, static_cast<uint32_t>(type == 1 ? value.size() / 2 : value.size()));
  Put16(b, 4, type);
  return b;
}

std::string Utf16Bytes(const std::string& ascii) {
  std::string b;
  for (char c : ascii + '\0') b += c, b += '\0';
  return b;
}

}  // namespace

std::string SfxVersionInfo(const std::string& version) {
  uint32_t parts[4] = {};
  size_t at = 0;
  for (uint32_t& part : parts) {
    for (; at < version.size() && version[at] >= '0' && version[at] <= '9'; ++at)
      part = part * 10 + static_cast<uint32_t>(version[at] - '0');
    if (at < version.size() && version[at] == '.') ++at;
  }
  std::string fixed(52, '\0');
  uint32_t words[] = {0xFEEF04BD, 0x10000, parts[0] << 16 | (parts[1] & 0xFFFF), parts[2] << 16 | (parts[3] & 0xFFFF)};
  for (size_t i = 0; i < 4; ++i) Put32(fixed, 4 * i, words[i]);
  Put32(fixed, 16, words[2]);  // the product version is the file version
  Put32(fixed, 20, words[3]);
  Put32(fixed, 24, 0x3F);     // flags mask
  Put32(fixed, 32, 0x40004);  // Windows NT, 32-bit
  Put32(fixed, 36, 1);        // an application
  std::vector<std::string> strings;
  const std::pair<const char16_t*, std::string> values[] = {{u"FileDescription", "Self-extracting archive"},
                                                            {u"FileVersion", version},
                                                            {u"ProductName", "Orvex"},
                                                            {u"ProductVersion", version},
                                                            {u"Comments", "Made with Orvex " + version}};
  for (const auto& [key, value] : values) strings.push_back(VersionBlockBytes(key, Utf16Bytes(value), 1, {}));
  // Language neutral, Unicode: the manifest keeps language 0, as without any version.
  std::string translation("\0\0\xB0\x04", 4);
  return VersionBlockBytes(u"VS_VERSION_INFO", fixed, 0,
                           {VersionBlockBytes(u"StringFileInfo", "", 1, {VersionBlockBytes(u"000004B0", "", 1, strings)}),
                            VersionBlockBytes(u"VarFileInfo", "", 1, {VersionBlockBytes(u"Translation", translation, 0, {})})});
}

bool PrepareHeadImage(std::string& head, const std::string& source, const std::string& manifest,
                      const std::string& ownVersion) {
  ResourceEditor editor;
  if (!editor.Load(head)) return manifest.empty();
  ResourceEditor from;
  bool changed = false, versioned = false;
  if (!source.empty() && from.Load(source)) {
    changed = CopyIconGroup(from, editor);
    versioned = CopyVersionInfo(from, editor);
  }
  if (!versioned && !ownVersion.empty())
    editor.Set(kVersion, ResourceName::Number(1), 0, ownVersion), versioned = true;
  changed = changed || versioned;
  if (!manifest.empty()) {
    editor.Set(ResourceName::Number(kManifestType), ResourceName::Number(1), VersionLanguage(editor), manifest);
    changed = true;
  }
  // Nothing to take over: the head stays the extractor as carried, byte for byte.
  if (!changed) return true;
  std::string written;
  if (!editor.Write(written)) return manifest.empty();
  head = std::move(written);
  return true;
}
