// The options of the last build attempt made from the window, kept per user in the
// registry under HKEY_CURRENT_USER\Software\Halvorn\Orvex.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "BuildSfx.h"

constexpr const char* SettingsKey = "Software\\Halvorn\\Orvex";

// What the registry holds, in the order of TextOptions and CodedOptions. A value is empty
// when it is missing or stored with a type that does not fit (strings accept the
// expandable type, without expanding it).
struct StoredSettings {
  std::vector<std::optional<std::string>> Texts;
  std::vector<std::optional<DWORD>> Codes;
};

// Reads the values, creating the key when it does not exist. Registry failures are
// never reported: whatever cannot be read stays empty.
StoredSettings LoadSettings();

// Writes every value of the (normalised) inputs; a failed write is skipped.
void SaveSettings(const BuildInputs& inputs);
