// Small file and text utilities of the builder.
#pragma once

#include <windows.h>

#include <string>

// A read-only view of a resource of the program's own module; valid until the program ends.
struct ResourceData {
  const void* data = nullptr;
  DWORD size = 0;
};

// Finds, loads and locks the named resource of the program's own module. False, with a
// null view, when it is missing, cannot be loaded or locked, or is empty.
bool LoadResourceData(const char* type, const char* name, ResourceData& view);

// Asks the shell to open the text; false without action when it is blank.
bool OpenDocument(const std::string& text);

// "a.b.c.d" from the file's fixed version information and its flags masked by the flag
// mask; an empty text and 0 when the file has none.
std::string GetFileVersionText(const std::string& path, DWORD* flags = nullptr);

// The text before its second "."; the whole text when it has fewer than two.
std::string ShortVersionText(const std::string& version);
