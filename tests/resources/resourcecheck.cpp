#include "resourcecheck.h"

#include <gtest/gtest.h>

#include "OVResourceEditor.h"
#include "testsupport.h"

using namespace testing_support;

namespace {

std::string NameText(const char* name) { return IS_INTRESOURCE(name) ? ResourceId(LOWORD(name)) : name; }

struct WinEnum {
  HMODULE module;
  std::vector<PeResource>* list;
  std::string type, name;
};

BOOL CALLBACK OnLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param) {
  auto* e = reinterpret_cast<WinEnum*>(param);
  HRSRC info = FindResourceExA(module, type, name, language);
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  e->list->push_back({e->type, e->name, language, data ? std::string(data, SizeofResource(module, info)) : "?"});
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

// The resources as Windows reads them, in the order it lists them: the order of the tree.
std::vector<PeResource> WindowsResources(const std::string& file) {
  std::vector<PeResource> list;
  HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_TRUE(module) << file;
  if (!module) return list;
  WinEnum e{module, &list, {}, {}};
  EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&e));
  FreeLibrary(module);
  return list;
}

}  // namespace

const std::string kIcon = ResourceId(3), kGroup = ResourceId(14), kVersion = ResourceId(16),
                  kManifest = ResourceId(24);
const std::string kCarriedManifest = ManifestText("requireAdministrator");
const std::string kHighestManifest = ManifestText("highestAvailable");
const std::string kInvokerManifest = ManifestText("asInvoker");

// The resources as Windows reads them, checked against the resource editor's reading.
ResourceMap Resources(const std::string& file) {
  ResourceMap map = ToMap(WindowsResources(file));
  ResourceEditor editor;
  EXPECT_TRUE(editor.Load(ReadFileBytes(file))) << file;
  EXPECT_TRUE(ToMap(EditorResources(editor)) == map) << "the resource editor and Windows disagree on " << file;
  return map;
}

void ExpectIconsCopied(const std::string& sourceFile, const ResourceMap& target, const std::string& groupName) {
  Resources(sourceFile);  // the editor must read the source as Windows does
  ResourceMap expectedGroups, expectedImages;
  ASSERT_TRUE(ExpectedIconCopy(WindowsResources(sourceFile), groupName, expectedGroups, expectedImages)) << sourceFile;
  EXPECT_TRUE(OfType(target, kGroup) == expectedGroups) << "icon groups differ from the source's first group:\n"
                                                   << Keys(OfType(target, kGroup)) << "\n" << Keys(expectedGroups);
  EXPECT_TRUE(OfType(target, kIcon) == expectedImages) << "icon images differ from the source's:\n"
                                                  << Keys(OfType(target, kIcon)) << "\n" << Keys(expectedImages);
}

// The builder's carried manifest (pefile reads its content back) at `level`.
std::string ManifestText(const char* level) {
  HMODULE builder = LoadLibraryExA((BinDir() + "orvex.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = FindResourceA(builder, "UAC", "XML");
  std::string text(static_cast<const char*>(LockResource(LoadResource(builder, found))), SizeofResource(builder, found));
  FreeLibrary(builder);
  return text.replace(text.find("requireAdministrator"), 20, level);
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

