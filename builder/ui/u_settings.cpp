#include "u_settings.h"

#include <vector>

namespace {

// Opened with the rights to read and to write, and created when missing, whichever way
// it is used.
class SettingsKeyHandle {
 public:
  SettingsKeyHandle() {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~SettingsKeyHandle() {
    if (key_) RegCloseKey(key_);
  }
  SettingsKeyHandle(const SettingsKeyHandle&) = delete;
  SettingsKeyHandle& operator=(const SettingsKeyHandle&) = delete;

  std::optional<std::string> ReadString(const char* name) const {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
      return std::nullopt;
    // The stored size may or may not count the terminator; the text ends at the first NUL.
    return std::string(data.data());
  }

  std::optional<DWORD> ReadInteger(const char* name) const {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
      return std::nullopt;
    return value;
  }

  void WriteString(const char* name, const std::string& text) const {
    RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
  }

  void WriteInteger(const char* name, DWORD value) const {
    RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }

  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

StoredSettings LoadSettings() {
  StoredSettings stored;
  SettingsKeyHandle key;
  if (!key) return stored;
  stored.Source = key.ReadString("Source");
  stored.Target = key.ReadString("Target");
  stored.ExecutableFile = key.ReadString("ExecutableFile");
  stored.CmdParameters = key.ReadString("CmdParameters");
  stored.CustomFolder = key.ReadString("CustomFolder");
  stored.OpenFolder = key.ReadInteger("OpenFolder");
  stored.OneInstance = key.ReadInteger("OneInstance");
  stored.SilentMode = key.ReadInteger("SilentMode");
  stored.SelfDeleteMode = key.ReadInteger("SelfDeleteMode");
  stored.ExtractionMode = key.ReadInteger("ExtractionMode");
  stored.ExtractionFolder = key.ReadInteger("ExtractionFolder");
  stored.WorkingDirectory = key.ReadInteger("WorkingDirectory");
  stored.DeleteMode = key.ReadInteger("DeleteMode");
  stored.UACAutoElevation = key.ReadInteger("UACAutoElevation");
  stored.OverwriteMode = key.ReadInteger("OverwriteMode");
  return stored;
}

void SaveSettings(const BuildInputs& inputs) {
  SettingsKeyHandle key;
  if (!key) return;
  key.WriteString("Source", inputs.Source);
  key.WriteString("Target", inputs.Target);
  key.WriteInteger("ExtractionMode", inputs.ExtractionMode);
  key.WriteString("ExecutableFile", inputs.ExecutableFile);
  key.WriteString("CmdParameters", inputs.CmdParameters);
  key.WriteInteger("ExtractionFolder", inputs.ExtractionFolder);
  key.WriteString("CustomFolder", inputs.CustomFolder);
  key.WriteInteger("OpenFolder", inputs.OpenFolder ? 1 : 0);
  key.WriteInteger("WorkingDirectory", inputs.WorkingDirectory);
  key.WriteInteger("DeleteMode", inputs.DeleteMode);
  key.WriteInteger("OneInstance", inputs.OneInstance ? 1 : 0);
  key.WriteInteger("SilentMode", inputs.SilentMode ? 1 : 0);
  key.WriteInteger("SelfDeleteMode", inputs.SelfDeleteMode ? 1 : 0);
  key.WriteInteger("UACAutoElevation", inputs.UACAutoElevation);
  key.WriteInteger("OverwriteMode", inputs.OverwriteMode);
}
