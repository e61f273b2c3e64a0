// Every option of the builder once: its field in BuildInputs, where the options record
// keeps it, its registry value and its switches. The options record, the command-line
// evaluation, the generator, the settings and the main window are all driven by this
// table; the engine itself reads only the record column, and the window keeps its own
// controls for each row.
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
// (none for the 0 of an option that is on or off). On the command line the first code
// whose switch is given wins, in the table's order; the code-0 switch only states the
// default.
struct CodedOption {
  uint8_t BuildInputs::*field;
  RecordBytes record;         // one byte
  const char* registryValue;  // a DWORD
  std::vector<const char*> switches;

  // Off or on: a check box in the window.
  bool IsOnOff() const { return switches.size() == 2 && !switches[0]; }
};

// A text option: its field, its NUL-terminated place in the record and its registry
// value (a string).
struct TextOption {
  std::string BuildInputs::*field;
  RecordBytes record;
  const char* registryValue;
};

extern const std::vector<CodedOption> CodedOptions;
extern const std::vector<TextOption> TextOptions;

// One switch of the generated line: the code of an option it chooses, in the order the
// generator writes them (the table's order).
struct GeneratorSwitch {
  const char* name;
  const CodedOption* option;
  uint8_t code;
};
std::vector<GeneratorSwitch> GeneratorSwitches();
