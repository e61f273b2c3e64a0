#include "ovutils.h"

#include <shellapi.h>

#include <vector>

bool LoadResourceData(const char* type, const char* name, ResourceData& view) {
  view = ResourceData();
  HRSRC info = FindResourceA(nullptr, name, type);
  if (!info) return false;
  HGLOBAL loaded = LoadResource(nullptr, info);
  DWORD size = SizeofResource(nullptr, info);
  if (!loaded || size == 0) return false;
  const void* data = LockResource(loaded);
  if (!data) return false;
  view.data = data;
  view.size = size;
  return true;
}

bool OpenDocument(const std::string& text) {
  if (text.find_first_not_of(' ') == std::string::npos) return false;
  HINSTANCE result = ShellExecuteA(nullptr, "open", text.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::string GetFileVersionText(const std::string& path, DWORD* flags) {
  if (flags) *flags = 0;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::string();
  std::vector<char> block(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedLength = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedLength) || !fixed ||
      fixedLength < sizeof(VS_FIXEDFILEINFO))
    return std::string();
  if (flags) *flags = fixed->dwFileFlags & fixed->dwFileFlagsMask;
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + '.' + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
         '.' + std::to_string(HIWORD(fixed->dwFileVersionLS)) + '.' + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string ShortVersionText(const std::string& version) {
  size_t first = version.find('.');
  if (first == std::string::npos) return version;
  size_t second = version.find('.', first + 1);
  return second == std::string::npos ? version : version.substr(0, second);
}
