#include "resourcecheck.h"

#include <gtest/gtest.h>

#include "testsupport.h"
#include "u_shared.h"

using namespace testing_support;

namespace {

std::string NameText(const char* name) { return IS_INTRESOURCE(name) ? ResourceId(LOWORD(name)) : name; }

struct WinEnum {
  HMODULE module;
  ResourceMap* map;
  std::string type, name;
};

BOOL CALLBACK OnLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param) {
  auto* e = reinterpret_cast<WinEnum*>(param);
  HRSRC info = FindResourceExA(module, type, name, language);
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  (*e->map)[Key(e->type, e->name, language)] = data ? std::string(data, SizeofResource(module, info)) : "?";
  return TRUE;
}

BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
  auto* e = reinterpret_cast<WinEnum*>(param);
  e->name = NameText(name);
  EnumResourceLanguagesA(module, type, name, OnLanguage, param);
  return TRUE;
}

BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR param) {
  auto* e = reinterpret_cast<WinEnum*>(param);
  e->type = NameText(type);
  EnumResourceNamesA(module, type, OnName, param);
  return TRUE;
}

}  // namespace

const std::string kIcon = ResourceId(3), kGroup = ResourceId(14), kVersion = ResourceId(16),
                  kManifest = ResourceId(24);
const std::string kCarriedManifest = ManifestText("requireAdministrator");
const std::string kHighestManifest = ManifestText("highestAvailable");

// The resources as Windows reads them.
ResourceMap WindowsResources(const std::string& file) {
  ResourceMap map;
  HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_TRUE(module) << file;
  if (!module) return map;
  WinEnum e{module, &map, {}, {}};
  EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&e));
  FreeLibrary(module);
  return map;
}

// The resources as the tests' PE reader reads them, checked against Windows' view.
ResourceMap Resources(const std::string& file) {
  std::vector<PeResource> list;
  std::string why;
  EXPECT_TRUE(ReadPeResources(ReadFileBytes(file), list, &why)) << file << ": " << why;
  ResourceMap map = ToMap(list);
  EXPECT_TRUE(map == WindowsResources(file)) << "the PE reader and Windows disagree on " << file;
  return map;
}

// The first icon group's name in the order of the resource tree, which is the order
// Windows lists them in: named groups sorted, then numbered ones ascending.
std::string FirstGroupName(const std::string& file) {
  std::vector<PeResource> list;
  ReadPeResources(ReadFileBytes(file), list);
  std::vector<PeResource> groups = FindResources(list, kGroup);
  return groups.empty() ? std::string() : groups.front().name;
}

void ExpectIconsCopied(const std::string& sourceFile, const ResourceMap& target, const std::string& groupName) {
  std::vector<PeResource> source;
  ASSERT_TRUE(ReadPeResources(ReadFileBytes(sourceFile), source));
  Resources(sourceFile);  // Windows must read the source as the reader does
  ResourceMap expectedGroups, expectedImages;
  ASSERT_TRUE(ExpectedIconCopy(source, groupName, expectedGroups, expectedImages)) << sourceFile;
  EXPECT_TRUE(OfType(target, kGroup) == expectedGroups) << "icon groups differ from the source's first group:\n"
                                                   << Keys(OfType(target, kGroup)) << "\n" << Keys(expectedGroups);
  EXPECT_TRUE(OfType(target, kIcon) == expectedImages) << "icon images differ from the source's:\n"
                                                  << Keys(OfType(target, kIcon)) << "\n" << Keys(expectedImages);
}

static std::string Join(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += (text.empty() ? "" : "\r\n") + std::string(line);
  return text;
}

std::string ManifestText(const char* level) {
  return Join({"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
               "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">",
               "    <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">", "        <security>",
               "            <requestedPrivileges>",
               (std::string("                <requestedExecutionLevel level=\"") + level +
                "\" uiAccess=\"false\"/>").c_str(),
               "            </requestedPrivileges>", "        </security>", "   </trustInfo>", "</assembly>"});
}

// A program of the Wine prefix: regedit.exe lies in the Windows folder, the others in
// the system folder.
std::string SystemProgram(const char* name) {
  char folder[MAX_PATH];
  GetSystemDirectoryA(folder, MAX_PATH);
  std::string path = std::string(folder) + "\\" + name;
  if (FileExists(path)) return path;
  GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\" + name;
}

// The archive is appended where the head's last section ends: after any update that must
// still be the end of the file.
void ExpectImageEndsTheFile(const std::string& file) {
  std::string bytes = ReadFileBytes(file);
  EXPECT_EQ(FindArchiveOffset(bytes.data(), bytes.size()), bytes.size()) << file;
}

