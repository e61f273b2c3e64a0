// A reader of the resource tree of a PE file, written from the file format alone so that
// the tests can check what the Windows resource calls wrote without asking Windows
// itself. Portable: the host tests run it with the sanitizers.
#pragma once

#include <stdint.h>

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
