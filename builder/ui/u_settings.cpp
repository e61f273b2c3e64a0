#include "u_settings.h"

#include <vector>

#include "OptionTable.h"
#include "ovhandles.h"

namespace {

// Opened with the rights to read and to write, and created when missing, whichever way
// it is used; null when that fails.
RegistryKey OpenSettingsKey() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    key = nullptr;
  return RegistryKey(key);
}

std::optional<std::string> ReadString(HKEY key, const char* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::vector<char> data(size + 1, '\0');
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  // The stored size may or may not count the terminator; the text ends at the first NUL.
  return std::string(data.data());
}

std::optional<DWORD> ReadInteger(HKEY key, const char* name) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return std::nullopt;
  return value;
}

void WriteString(HKEY key, const char* name, const std::string& text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
}

void WriteInteger(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

StoredSettings LoadSettings() {
  StoredSettings stored;
  stored.Texts.resize(TextOptions.size());
  stored.Codes.resize(CodedOptions.size());
  RegistryKey key = OpenSettingsKey();
  if (!key) return stored;
  for (size_t i = 0; i < TextOptions.size(); ++i) stored.Texts[i] = ReadString(key.Get(), TextOptions[i].registryValue);
  for (size_t i = 0; i < CodedOptions.size(); ++i)
    stored.Codes[i] = ReadInteger(key.Get(), CodedOptions[i].registryValue);
  return stored;
}

void SaveSettings(const BuildInputs& inputs) {
  RegistryKey key = OpenSettingsKey();
  if (!key) return;
  for (const TextOption& option : TextOptions) WriteString(key.Get(), option.registryValue, inputs.*option.field);
  for (const CodedOption& option : CodedOptions) WriteInteger(key.Get(), option.registryValue, inputs.*option.field);
}
