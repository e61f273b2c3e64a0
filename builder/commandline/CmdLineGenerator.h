// Pieces of the command line that rebuilds, with a hidden build, what the main window
// describes. Lines written here read back through the command-line scanner to the same
// values.
#pragma once

#include <string>

#include "CmdLineHelper.h"
#include "OptionTable.h"

// Appends a trimmed value and a space; nothing at all for a blank value. Double quotes
// are escaped, a value with a space (or any other character up to 32) is quoted, and every
// backslash run that ends up before a double quote is doubled, so the scanner reads the
// backslashes back as they were. A value starting with '-' or '/' would read back as a
// switch, so it is quoted behind one blank, which every build trims away again.
// Characters are stepped with `next`, so a double-byte character whose trailing byte
// looks like a backslash is copied whole, as the scanner reads it.
void AppendGeneratedValue(std::string& line, const std::string& value, NextCharFunction next = NextSingleByteChar);

// Appends "-name " for a control that is enabled and checked.
void AppendGeneratedSwitch(std::string& line, const char* name, bool enabled, bool checked);

// The generated line without its final space.
std::string FinishGeneratedLine(const std::string& line);

// What the generator reads of the main window.
struct GeneratorState {
  std::string ProgramPath;
  // The controls behind GeneratorSwitches(), in its order.
  struct Control {
    bool enabled = true;
    bool checked = false;
  };
  std::vector<Control> Switches = std::vector<Control>(GeneratorSwitches().size());
  BuildInputs Texts;  // the texts of the option table; its codes are read through Switches
  bool ExecuteFileChecked = false;    // rbexecutefile
  bool CustomFolderChosen = false;    // rbcustom enabled and checked
  bool CmdParametersEnabled = false;  // ecmdparameters
  bool Reproducible = false;          // the generator's own cbreproducible: -r
  bool Unattended = false;            // the generator's own cbunattended: -h -q
  unsigned Threads = 0;               // -jN of the running program, kept: 0 writes none
};

// The whole line: program path, switches (-r, -jN and -h -q last: the generator window's own choices and
// the running program's thread count), then source, target, executable (launch mode),
// custom folder (when chosen) and parameters (when enabled).
std::string GenerateCommandLine(const GeneratorState& state, NextCharFunction next = NextSingleByteChar);

// One environment string NAME=value as the row %NAME%=value: '%' before the first
// character and before the first '=', or at the end when there is no '='.
std::string EnvironmentRow(const std::string& entry);

// The two cells of a row: the name before the first '=' and the value after it (empty
// when the row has no '=').
void SplitEnvironmentRow(const std::string& row, std::string& name, std::string& value);
