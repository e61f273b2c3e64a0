// Every option of the builder once: its field in BuildInputs, where the options record
// keeps it, its registry value, its switches and its controls in the main window. The
// options record, the command-line evaluation, the generator, the settings and the main
// window are all driven by this table. The controls are the main window's IDs as plain
// numbers; the engine itself reads only the record column.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "BuildSfx.h"

// The bytes of the options record that keep an option; none (size 0) for an option the
// record does not keep.
struct RecordBytes {
  size_t offset = 0;
  size_t size = 0;
};
constexpr RecordBytes NotInRecord{};

// An option stored as a code (0, 1, 2, ...). Code n is chosen by switch `switches[n]`
// (none for a check box's 0) and shown by control `controls[n]` (a radio button each, or
// one check box at index 1). On the command line the first code whose switch is given
// wins, in the table's order; the code-0 switch only states the default.
struct CodedOption {
  uint8_t BuildInputs::*field;
  RecordBytes record;         // one byte
  const char* registryValue;  // a DWORD
  std::vector<const char*> switches;
  std::vector<int> controls;

  bool IsCheckBox() const { return controls.size() == 2 && controls[0] == 0; }
};

// A text option: its field, its NUL-terminated place in the record, its registry value
// (a string) and its edit control.
struct TextOption {
  std::string BuildInputs::*field;
  RecordBytes record;
  const char* registryValue;
  int control;
};

extern const std::vector<CodedOption> CodedOptions;
extern const std::vector<TextOption> TextOptions;

// One switch of the generated line and the main-window control that writes it, in the
// order the generator writes them (the table's order).
struct GeneratorSwitch {
  const char* name;
  int control;
};
std::vector<GeneratorSwitch> GeneratorSwitches();
