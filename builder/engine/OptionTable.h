// Every option of the builder once: its field in BuildInputs, where the options record
// keeps it, its registry value, its switches and their words. The options record, the
// command-line evaluation, the generator, the usage lines of the Linux orvex, its listing,
// the settings and the main window are all driven by this table; the engine itself reads
// only the record column, and the window keeps its own controls for each row.
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

// One code of an option: the switch that chooses it and its words. `orvex -l` lists
// nothing where its words are null.
struct OptionCode {
  const char* name;     // the switch without its '-'; null for the 0 of an on/off option
  const char* meaning;  // the usage text's words for the switch, after the option's title
  const char* listed;   // the listing's text
  const char* json;     // the listing's JSON: a string, or true and false for an on/off option
  const char* onlyWith = nullptr;  // the switch the usage text says this one needs
};

// An option stored as a code (0, 1, 2, ...). Code n is chosen by switch `codes[n].name`.
// On the command line the first code whose switch is given wins, in the table's order;
// the code-0 switch only states the default.
struct CodedOption {
  uint8_t BuildInputs::*field;
  RecordBytes record;         // one byte
  const char* registryValue;  // a DWORD
  const char* title;          // as the usage text heads its switches; null for on/off
  std::vector<OptionCode> codes;

  // Off or on: a check box in the window.
  bool IsOnOff() const { return codes.size() == 2 && !codes[0].name; }
  // The code a stored byte stands for: an on/off option is on for any byte but 0, and a
  // byte beyond the codes reads as code 0.
  uint8_t CodeOf(uint8_t stored) const;
  // The usage text's line for the switch of `code` after its " - ": the switch it needs,
  // the title and the meaning ("Only with -mf: Working directory: Current working directory").
  std::string SwitchWords(size_t code) const;
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

// The row of `field`.
const CodedOption& CodedOptionOf(uint8_t BuildInputs::*field);

// One switch of the generated line: the code of an option it chooses, in the order the
// generator writes them (the table's order).
struct GeneratorSwitch {
  const char* name;
  const CodedOption* option;
  uint8_t code;
};
std::vector<GeneratorSwitch> GeneratorSwitches();
