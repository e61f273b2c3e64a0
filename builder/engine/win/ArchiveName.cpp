// Names in the system's ANSI code page, the only one the Windows builder writes.
#include "ArchiveName.h"

#include <windows.h>

bool ToArchiveName(const std::u16string& name, uint32_t, std::string& archiveName) {
  std::wstring wide(name.begin(), name.end());
  // UTF-8 as the ANSI code page carries every name and takes neither flag.
  bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(CP_ACP, flags, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return false;
  archiveName.assign(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.c_str(), -1, &archiveName[0], n, nullptr, utf8 ? nullptr : &usedDefault);
  archiveName.resize(static_cast<size_t>(n - 1));
  if (usedDefault) return false;
  // Back to wide: a lookalike comes back as another character.
  int m = MultiByteToWideChar(CP_ACP, 0, archiveName.c_str(), -1, nullptr, 0);
  std::wstring back(static_cast<size_t>(m > 0 ? m : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, archiveName.c_str(), -1, &back[0], m);
  back.resize(back.size() - 1);
  return back == wide;
}

bool FromArchiveName(const std::string& archiveName, uint32_t, std::u16string& name) {
  name.clear();
  if (archiveName.empty()) return true;
  int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, archiveName.c_str(), -1, nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, archiveName.c_str(), -1, &wide[0], n);
  name.assign(wide.begin(), wide.end() - 1);
  return true;
}
