// A reader of the resource tree of a PE file, written from the file format alone so that
// the tests can check what the Windows resource calls wrote without asking Windows
// itself. Portable: the host tests run it with the sanitizers.
#pragma once

#include <stdint.h>

#include <map>
#include <set>
#include <string>
#include <vector>

struct PeResource {
  std::string type;  // "#14" for a numeric identifier, else the name's text
  std::string name;
  uint16_t language = 0;
  std::string data;
};

// Every resource of the image, in the order of the resource tree. False, with the reason
// in `why`, when the image or its resource tree is malformed; true with an empty list when
// the image has no resources.
bool ReadPeResources(const std::string& image, std::vector<PeResource>& resources, std::string* why = nullptr);

// "#" and the decimal identifier: how numeric types and names are written.
std::string ResourceId(unsigned id);

// The resources of the given type and name (any language).
std::vector<PeResource> FindResources(const std::vector<PeResource>& all, const std::string& type,
                                      const std::string& name = std::string());

// The image identifiers named by an icon group (6-byte header, 14-byte entries); false
// when the group is shorter than its count says.
bool IconGroupIds(const std::string& group, std::vector<unsigned>& ids);

// A resource list keyed "type/name/LLLL" (language in 4 hex digits, e.g. "#14/MAINICON/0407").
using ResourceMap = std::map<std::string, std::string>;
std::string Key(const std::string& type, const std::string& name, unsigned language);
ResourceMap ToMap(const std::vector<PeResource>& list);
ResourceMap OfType(const ResourceMap& all, const std::string& type);
ResourceMap Without(ResourceMap all, const std::set<std::string>& types);
// The keys and data sizes, for failure messages.
std::string Keys(const ResourceMap& map);

// What a file must carry after taking over the first icon group of `source` under
// `groupName`: that group in each of its languages, and the images it names (looked up
// in any language) in the group's language. False when the source has no icon group or
// a group is cut short or names a missing image.
bool ExpectedIconCopy(const std::vector<PeResource>& source, const std::string& groupName, ResourceMap& groups,
                      ResourceMap& images);
