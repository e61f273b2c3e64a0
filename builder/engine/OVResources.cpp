#include "OVResources.h"

#include <windows.h>

#include <vector>

#include "ovhandles.h"

namespace {

// Every update begins empty (deleting the existing resources) and the routines carry over
// each resource that stays, because Wine merges the file's existing resources back in at
// commit time, which undoes deletions queued with UpdateResource. An update that is not
// committed is discarded, so every early way out leaves the file as it was.
ResourceUpdate BeginUpdate(const std::string& file) { return ResourceUpdate(BeginUpdateResourceA(file.c_str(), TRUE)); }

// The update keeps its own copy of the data.
bool Write(ResourceUpdate& update, const char* type, const char* name, WORD language, const void* data,
           DWORD size) {
  return UpdateResourceA(update.Get(), type, name, language, const_cast<void*>(data), size) != FALSE;
}

// The target's mapping must be gone before the update is committed: Windows cannot rewrite
// a file that is still mapped.
ModuleHandle OpenDataFile(const std::string& file) {
  return ModuleHandle(LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
}

// A resource name as enumerated: a numeric identifier or a text, kept beyond the
// enumeration callback whose text pointer dies with it.
struct ResourceName {
  bool numeric = true;
  WORD id = 0;
  std::string text;

  const char* Get() const { return numeric ? MAKEINTRESOURCEA(id) : text.c_str(); }
  bool operator==(const ResourceName& other) const {
    return numeric == other.numeric && (numeric ? id == other.id : lstrcmpiA(text.c_str(), other.text.c_str()) == 0);
  }
};

ResourceName CopyName(const char* name) {
  ResourceName copy;
  if (IS_INTRESOURCE(name)) {
    copy.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  } else {
    copy.numeric = false;
    copy.text = name;
  }
  return copy;
}

struct ResourceKey {
  ResourceName type;
  ResourceName name;
  WORD language;
  bool operator==(const ResourceKey& other) const {
    return language == other.language && type == other.type && name == other.name;
  }
};

ResourceKey Key(const char* type, const ResourceName& name, WORD language) {
  return ResourceKey{CopyName(type), name, language};
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR list) {
  reinterpret_cast<std::vector<ResourceName>*>(list)->push_back(CopyName(type));
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
  reinterpret_cast<std::vector<ResourceName>*>(list)->push_back(CopyName(name));
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

// False when the module has no resource of this type (or the listing fails).
bool ListNames(HMODULE module, const char* type, std::vector<ResourceName>& names) {
  names.clear();
  return EnumResourceNamesA(module, type, CollectName, reinterpret_cast<LONG_PTR>(&names)) && !names.empty();
}

bool ListLanguages(HMODULE module, const char* type, const char* name, std::vector<WORD>& languages) {
  languages.clear();
  return EnumResourceLanguagesA(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages)) &&
         !languages.empty();
}

struct ResourceBytes {
  const void* data = nullptr;
  DWORD size = 0;
};

bool ReadResource(HMODULE module, HRSRC info, ResourceBytes& bytes) {
  if (!info) return false;
  HGLOBAL loaded = LoadResource(module, info);
  bytes.size = SizeofResource(module, info);
  bytes.data = loaded ? LockResource(loaded) : nullptr;
  return bytes.data != nullptr;
}

// Writes every resource of `module` into the update except the `dropped` ones. A module
// without any resource has nothing to carry over; any other listing failure must stop the
// update, which would otherwise commit a file stripped of its resources.
bool CarryOver(HMODULE module, const std::vector<ResourceKey>& dropped, ResourceUpdate& update) {
  std::vector<ResourceName> types;
  if (!EnumResourceTypesA(module, CollectType, reinterpret_cast<LONG_PTR>(&types))) {
    DWORD error = GetLastError();
    if (error != ERROR_RESOURCE_DATA_NOT_FOUND && error != ERROR_RESOURCE_TYPE_NOT_FOUND) return false;
    types.clear();
  }
  for (const ResourceName& type : types) {
    std::vector<ResourceName> names;
    if (!ListNames(module, type.Get(), names)) return false;
    for (const ResourceName& name : names) {
      std::vector<WORD> languages;
      if (!ListLanguages(module, type.Get(), name.Get(), languages)) return false;
      for (WORD language : languages) {
        bool drop = false;
        for (const ResourceKey& key : dropped) drop = drop || key == ResourceKey{type, name, language};
        if (drop) continue;
        ResourceBytes bytes;
        if (!ReadResource(module, FindResourceExA(module, type.Get(), name.Get(), language), bytes) ||
            !Write(update, type.Get(), name.Get(), language, bytes.data, bytes.size))
          return false;
      }
    }
  }
  return true;
}

// An icon group: a 6-byte header with the entry count at offset 4, then 14-byte entries
// whose image identifier sits at offset 12.
constexpr DWORD GroupHeaderSize = 6;
constexpr DWORD GroupEntrySize = 14;

// Reads the group `name` in `language` and the identifiers of its images.
bool ReadIconGroup(HMODULE module, const ResourceName& name, WORD language, ResourceBytes& group,
                   std::vector<WORD>& ids) {
  ids.clear();
  if (!ReadResource(module, FindResourceExA(module, RT_GROUP_ICON, name.Get(), language), group) ||
      group.size < GroupHeaderSize)
    return false;
  const BYTE* bytes = static_cast<const BYTE*>(group.data);
  WORD count = static_cast<WORD>(bytes[4] | bytes[5] << 8);
  if (group.size < GroupHeaderSize + DWORD(count) * GroupEntrySize) return false;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = bytes + GroupHeaderSize + i * GroupEntrySize;
    ids.push_back(static_cast<WORD>(entry[12] | entry[13] << 8));
  }
  return true;
}

// The target's icon group `name` with its images, in every language of the group.
bool IconGroupKeys(HMODULE target, const ResourceName& name, std::vector<ResourceKey>& keys) {
  std::vector<WORD> languages;
  if (!ListLanguages(target, RT_GROUP_ICON, name.Get(), languages)) return false;
  for (WORD language : languages) {
    ResourceBytes group;
    std::vector<WORD> ids;
    if (!ReadIconGroup(target, name, language, group, ids)) return false;
    for (WORD id : ids) keys.push_back(Key(RT_ICON, CopyName(MAKEINTRESOURCEA(id)), language));
    keys.push_back(Key(RT_GROUP_ICON, name, language));
  }
  return true;
}

bool CopyIconGroup(HMODULE source, const ResourceName& sourceName, const char* targetName,
                   ResourceUpdate& update) {
  std::vector<WORD> languages;
  if (!ListLanguages(source, RT_GROUP_ICON, sourceName.Get(), languages)) return false;
  for (WORD language : languages) {
    ResourceBytes group;
    std::vector<WORD> ids;
    if (!ReadIconGroup(source, sourceName, language, group, ids)) return false;
    for (WORD id : ids) {
      ResourceBytes image;
      if (!ReadResource(source, FindResourceA(source, MAKEINTRESOURCEA(id), RT_ICON), image) ||
          !Write(update, RT_ICON, MAKEINTRESOURCEA(id), language, image.data, image.size))
        return false;
    }
    if (!Write(update, RT_GROUP_ICON, targetName, language, group.data, group.size)) return false;
  }
  return true;
}

}  // namespace

bool ReplaceIcons(const std::string& source, const std::string& target) {
  ResourceUpdate update = BeginUpdate(target);
  if (!update) return false;

  ResourceName targetGroup;
  bool hasTargetGroup = false;
  {
    ModuleHandle head = OpenDataFile(target);
    if (!head) return false;
    std::vector<ResourceName> names;
    std::vector<ResourceKey> dropped;
    hasTargetGroup = ListNames(head.Get(), RT_GROUP_ICON, names);
    if (hasTargetGroup) {
      targetGroup = names.front();
      if (!IconGroupKeys(head.Get(), targetGroup, dropped)) return false;
    }
    if (!CarryOver(head.Get(), dropped, update)) return false;
  }

  ModuleHandle from = OpenDataFile(source);
  if (!from) return false;
  std::vector<ResourceName> names;
  if (!ListNames(from.Get(), RT_GROUP_ICON, names)) return false;
  const ResourceName& sourceGroup = names.front();
  const char* groupName = hasTargetGroup ? targetGroup.Get() : sourceGroup.Get();
  if (!CopyIconGroup(from.Get(), sourceGroup, groupName, update)) return false;
  return update.Commit();
}

bool ReplaceVersionInfo(const std::string& source, const std::string& target) {
  ResourceUpdate update = BeginUpdate(target);
  if (!update) return false;

  {
    ModuleHandle head = OpenDataFile(target);
    if (!head) return false;
    // A head without version information has nothing to drop; that is no failure.
    std::vector<ResourceKey> dropped;
    std::vector<ResourceName> names;
    ListNames(head.Get(), RT_VERSION, names);
    for (const ResourceName& name : names) {
      std::vector<WORD> languages;
      if (!ListLanguages(head.Get(), RT_VERSION, name.Get(), languages)) return false;
      for (WORD language : languages) dropped.push_back(Key(RT_VERSION, name, language));
    }
    if (!CarryOver(head.Get(), dropped, update)) return false;
  }

  ModuleHandle from = OpenDataFile(source);
  if (!from) return false;
  std::vector<ResourceName> names;
  if (!ListNames(from.Get(), RT_VERSION, names)) return false;
  for (const ResourceName& name : names) {
    std::vector<WORD> languages;
    if (!ListLanguages(from.Get(), RT_VERSION, name.Get(), languages)) return false;
    for (WORD language : languages) {
      ResourceBytes info;
      if (!ReadResource(from.Get(), FindResourceExA(from.Get(), RT_VERSION, name.Get(), language), info) ||
          !Write(update, RT_VERSION, name.Get(), language, info.data, info.size))
        return false;
    }
  }
  return update.Commit();
}

uint16_t GetVersionLanguage(const std::string& file) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return 0;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data())) return 0;
  void* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &length) || !translation ||
      length < sizeof(WORD))
    return 0;
  return *static_cast<const WORD*>(translation);
}

bool UpdateSingleResource(const std::string& target, const char* type, const char* name, uint32_t size,
                          const void* data) {
  // Read before the update begins: the language comes from the file as it is now.
  WORD language = GetVersionLanguage(target);
  ResourceUpdate update = BeginUpdate(target);
  if (!update) return false;
  {
    ModuleHandle head = OpenDataFile(target);
    if (!head) return false;
    std::vector<ResourceKey> dropped{Key(type, CopyName(name), language)};
    if (!CarryOver(head.Get(), dropped, update)) return false;
  }
  if (!Write(update, type, name, language, data, size)) return false;
  return update.Commit();
}

std::string ElevationManifestText(uint8_t elevation, const ResourceData& uac) {
  if (!uac.data || uac.size == 0) return std::string();
  std::string text(static_cast<const char*>(uac.data), uac.size);
  if (elevation == 2) return text;
  if (elevation != 1) return std::string();
  static const char kRequired[] = "requireAdministrator";
  size_t at = text.find(kRequired);
  // Without the level to replace, the text would ask for more than the user chose.
  if (at == std::string::npos) return std::string();
  return text.replace(at, sizeof kRequired - 1, "highestAvailable");
}

bool WriteElevationManifest(const std::string& target, uint8_t elevation, const ResourceData& uac) {
  if (elevation == 0) return true;
  std::string text = ElevationManifestText(elevation, uac);
  if (text.empty()) return false;
  return UpdateSingleResource(target, RT_MANIFEST, MAKEINTRESOURCEA(1), static_cast<uint32_t>(text.size()),
                              text.data());
}

std::string ResourceSourceFile(bool commandLineMode, bool xcmvPresent, const std::string& xcmvFile,
                               uint8_t extractionMode, const std::string& executableFile) {
  if (commandLineMode && xcmvPresent) return xcmvFile;
  if (extractionMode == 1) return executableFile;
  return std::string();
}

bool IsNtFamily() {
  // GetVersion sets its high bit only on the Windows 9x family.
  return (GetVersion() & 0x80000000u) == 0;
}

bool PrepareHead(const std::string& target, const std::string& source, uint8_t elevation,
                 const ResourceData& uac) {
  if (!IsNtFamily()) return true;
  // Icon and version failures only leave the head's own: the SFX file still works.
  if (!source.empty()) {
    ReplaceIcons(source, target);
    ReplaceVersionInfo(source, target);
  }
  return WriteElevationManifest(target, elevation, uac);
}
