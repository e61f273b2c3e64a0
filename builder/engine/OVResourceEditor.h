// The resources of a PE32 or PE32+ image held in memory: read from any PE file, and
// written back by rebuilding the resource section, without the Windows resource-update
// calls, so that every platform writes the same head bytes. Nothing read is trusted: a
// malformed image is refused, never read or written out of bounds.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

// A resource type or name: a 16-bit identifier, or a UTF-16 text compared exactly (the
// loader's binary search is ordinal). A text is shared by every resource it names, so a
// long name costs its length once however many entries carry it.
struct ResourceName {
  bool numeric = true;
  uint16_t id = 0;
  std::shared_ptr<const std::u16string> text;  // set when not numeric

  static ResourceName Number(uint16_t id);
  // Each byte becomes one UTF-16 unit: meant for the ASCII names of the builder.
  static ResourceName Text(const std::string& bytes);
  bool operator==(const ResourceName& other) const;
  bool operator!=(const ResourceName& other) const { return !(*this == other); }
  // The order of the resource tree: texts (ordinal) before identifiers (ascending).
  bool operator<(const ResourceName& other) const;
};

struct Resource {
  ResourceName type, name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::string data;
};

constexpr uint16_t kIconImageType = 3;
constexpr uint16_t kIconGroupType = 14;
constexpr uint16_t kVersionType = 16;
constexpr uint16_t kManifestType = 24;

class ResourceEditor {
 public:
  // False, with an empty resource list, when `image` is not a PE image, its resource
  // tree is malformed, or holding the tree would cost more than a few times the image
  // (entries that share data or overlapping names can claim far more than the file
  // holds). An image without resources loads with an empty list.
  bool Load(const std::string& image);
  size_t ImageSize() const { return image_.size(); }

  // In tree order: type, then name, then language ascending.
  const std::vector<Resource>& Resources() const { return resources_; }
  // The first language of the name in tree order.
  const Resource* FindAnyLanguage(const ResourceName& type, const ResourceName& name) const;
  std::vector<ResourceName> Names(const ResourceName& type) const;

  // Adds the resource or replaces its data (keeping its code page).
  void Set(const ResourceName& type, const ResourceName& name, uint16_t language, const std::string& data);
  // Deletes the resources `deleted` names (their data unused), then sets each of `added`
  // in its order, with one sort and one pass instead of a pass per resource.
  void Edit(std::vector<Resource> deleted, std::vector<Resource> added);

  // The loaded image with the current resources in a rebuilt resource section. The
  // sections after it move along when they hold nothing but base relocations; a
  // certificate table is dropped (the signature would no longer hold). False, with
  // `image` untouched, when the layout cannot be rewritten safely.
  bool Write(std::string& image) const;

 private:
  std::string image_;
  std::vector<Resource> resources_;
};

// The image identifiers an icon group names (a 6-byte header with the count at offset 4,
// then 14-byte entries with the identifier at offset 12); false when it is cut short.
bool IconGroupImages(const std::string& group, std::vector<uint16_t>& ids);

// The language of the first translation in the version information (name 1, first
// language); 0 when there is none or it is malformed.
uint16_t VersionLanguage(const ResourceEditor& file);

// The head edits of a build, each all or nothing. CopyIconGroup replaces the target's
// first icon group (with its images, in every language) by the source's first group and
// its images, under the target group's name (the source's when the target has none).
// CopyVersionInfo replaces all version information. False leaves `target` unchanged.
bool CopyIconGroup(const ResourceEditor& source, ResourceEditor& target);
bool CopyVersionInfo(const ResourceEditor& source, ResourceEditor& target);

// Shrinks `headers`, the first bytes of a program of `fileSize` bytes, to its headers and
// section table, with the section that holds the resource tree pointed just past them and
// every other section left without raw data: once that section's raw data (`length` bytes
// at `offset` of the program) is appended, the result reads as the program's resource
// tree, whatever else the program holds. False for no PE image or one without a tree.
bool ResourceImageHeaders(std::string& headers, uint64_t fileSize, uint64_t& offset, uint64_t& length);

// The manifest text for an elevation choice, made from the carried manifest: 0 runs with
// the rights of its caller, 1 asks for the highest available rights, 2 keeps the carried
// text (administrator rights). Empty for an unknown choice, and when the carried text
// lacks the level to replace.
std::string ElevationManifest(uint8_t elevation, const std::string& carried);

// The version information of an SFX file made by Orvex `version` ("1.2.3"): a
// self-extracting archive, language neutral.
std::string SfxVersionInfo(const std::string& version);

// The whole head preparation in memory: icons and version information of `source` (when
// not empty; failures keep the head's own), `ownVersion` (when not empty) as version
// information when the source gave none, and then `manifest` (type 24, name 1, when not
// empty) in the language of the head's version information; without any of them the
// head stays byte-identical. Gives false, leaving `head` unchanged, only when the
// manifest could not be written.
bool PrepareHeadImage(std::string& head, const std::string& source, const std::string& manifest,
                      const std::string& ownVersion = std::string());
