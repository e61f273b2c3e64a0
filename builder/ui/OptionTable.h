// Every option of the builder once: its field in BuildInputs, its registry value, its
// switches and its controls in the main window. The command-line evaluation, the
// generator, the settings and the main window are all driven by this table.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "BuildSfx.h"

// An option stored as a code (0, 1, 2, ...). Code n is chosen by switch `switches[n]`
// (none for a check box's 0) and shown by control `controls[n]` (a radio button each, or
// one check box at index 1). On the command line the first code whose switch is given
// wins, in the table's order; the code-0 switch only states the default.
struct CodedOption {
  uint8_t BuildInputs::*field;
  const char* registryValue;
  std::vector<const char*> switches;
  std::vector<int> controls;

  bool IsCheckBox() const { return controls.size() == 2 && controls[0] == 0; }
};

// A text option: its field, its registry value and its edit control.
struct TextOption {
  std::string BuildInputs::*field;
  const char* registryValue;
  int control;
};

extern const std::vector<CodedOption> CodedOptions;
extern const std::vector<TextOption> TextOptions;

// Switches of the front end that set no option of the record: -o, -c, -h, -q, -r, -xcmv.
extern const std::vector<const char*> FrontEndSwitches;

// One switch of the generated line and the main-window control that writes it, in the
// order the generator writes them (the table's order).
struct GeneratorSwitch {
  const char* name;
  int control;
};
std::vector<GeneratorSwitch> GeneratorSwitches();
