#include "u_settings.h"

#include <vector>

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
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

void WriteInteger(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

StoredSettings LoadSettings() {
  StoredSettings stored;
  RegistryKey key = OpenSettingsKey();
  if (!key) return stored;
  HKEY k = key.Get();
  stored.Source = ReadString(k, "Source");
  stored.Target = ReadString(k, "Target");
  stored.ExecutableFile = ReadString(k, "ExecutableFile");
  stored.CmdParameters = ReadString(k, "CmdParameters");
  stored.CustomFolder = ReadString(k, "CustomFolder");
  stored.OpenFolder = ReadInteger(k, "OpenFolder");
  stored.OneInstance = ReadInteger(k, "OneInstance");
  stored.SilentMode = ReadInteger(k, "SilentMode");
  stored.SelfDeleteMode = ReadInteger(k, "SelfDeleteMode");
  stored.ExtractionMode = ReadInteger(k, "ExtractionMode");
  stored.ExtractionFolder = ReadInteger(k, "ExtractionFolder");
  stored.WorkingDirectory = ReadInteger(k, "WorkingDirectory");
  stored.DeleteMode = ReadInteger(k, "DeleteMode");
  stored.UACAutoElevation = ReadInteger(k, "UACAutoElevation");
  stored.OverwriteMode = ReadInteger(k, "OverwriteMode");
  return stored;
}

void SaveSettings(const BuildInputs& inputs) {
  RegistryKey key = OpenSettingsKey();
  if (!key) return;
  HKEY k = key.Get();
  WriteString(k, "Source", inputs.Source);
  WriteString(k, "Target", inputs.Target);
  WriteInteger(k, "ExtractionMode", inputs.ExtractionMode);
  WriteString(k, "ExecutableFile", inputs.ExecutableFile);
  WriteString(k, "CmdParameters", inputs.CmdParameters);
  WriteInteger(k, "ExtractionFolder", inputs.ExtractionFolder);
  WriteString(k, "CustomFolder", inputs.CustomFolder);
  WriteInteger(k, "OpenFolder", inputs.OpenFolder ? 1 : 0);
  WriteInteger(k, "WorkingDirectory", inputs.WorkingDirectory);
  WriteInteger(k, "DeleteMode", inputs.DeleteMode);
  WriteInteger(k, "OneInstance", inputs.OneInstance ? 1 : 0);
  WriteInteger(k, "SilentMode", inputs.SilentMode ? 1 : 0);
  WriteInteger(k, "SelfDeleteMode", inputs.SelfDeleteMode ? 1 : 0);
  WriteInteger(k, "UACAutoElevation", inputs.UACAutoElevation);
  WriteInteger(k, "OverwriteMode", inputs.OverwriteMode);
}
