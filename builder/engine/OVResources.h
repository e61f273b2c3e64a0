// Resource updates of a written SFX head: the icon and version information of the launch
// target and the elevation manifest. Every routine commits its one update only on full
// success and otherwise leaves the target byte-identical; none of them throws.
#pragma once

#include <stdint.h>

#include <string>

bool ReplaceIcons(const std::string& source, const std::string& target);
bool ReplaceVersionInfo(const std::string& source, const std::string& target);
bool UpdateSingleResource(const std::string& target, const char* type, const char* name, uint32_t size,
                          const void* data);
// The language of the file's first version translation; 0 when there is none.
uint16_t GetVersionLanguage(const std::string& file);
