// Resource lists as the tests compare them, whoever read them (Windows, pefile or the
// builder's resource editor), and the rule for what a head carries after taking over the
// icons of a program. Portable: the host tests run it with the sanitizers.
#pragma once

#include <stdint.h>

#include <map>
#include <set>
#include <string>
#include <vector>

class ResourceEditor;

struct PeResource {
  std::string type;  // "#14" for a numeric identifier, else the name's text
  std::string name;
  uint16_t language = 0;
  std::string data;
};

// "#" and the decimal identifier: how numeric types and names are written.
std::string ResourceId(unsigned id);

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

// The resources the builder's resource editor holds, in the order of its tree; names
// outside ASCII read as '?'.
std::vector<PeResource> EditorResources(const ResourceEditor& editor);
