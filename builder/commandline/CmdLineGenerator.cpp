#include "CmdLineGenerator.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

void AppendGeneratedValue(std::string& line, const std::string& value, NextCharFunction next) {
  std::string text = Trim(value);
  if (text.empty()) return;
  // Any blank or control character would end the value for the scanner, not only a space.
  bool quote = IsSwitchParam(text);
  for (char c : text) quote = quote || IsBlank(c);
  std::string escaped = IsSwitchParam(text) ? " " : "";
  size_t backslashes = 0;
  for (const char* p = text.c_str(); *p;) {
    const char* after = next(p);
    if (after <= p) after = p + 1;
    if (*p == '\\') {
      ++backslashes;
    } else {
      // A run before a double quote is doubled and the quote escaped; elsewhere a run stays.
      if (*p == '"') escaped.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    escaped.append(p, static_cast<size_t>(after - p));
    p = after;
  }
  if (quote) {
    escaped.append(backslashes, '\\');  // the run before the closing quote
    escaped = '"' + escaped + '"';
  }
  line += escaped;
  line += ' ';
}

void AppendGeneratedSwitch(std::string& line, const char* name, bool enabled, bool checked) {
  if (!enabled || !checked) return;
  line += '-';
  line += name;
  line += ' ';
}

std::string FinishGeneratedLine(const std::string& line) { return Trim(line); }

std::string GenerateCommandLine(const GeneratorState& state, NextCharFunction next) {
  std::string line;
  AppendGeneratedValue(line, state.ProgramPath, next);
  std::vector<GeneratorSwitch> switches = GeneratorSwitches();
  for (size_t i = 0; i < switches.size() && i < state.Switches.size(); ++i)
    AppendGeneratedSwitch(line, switches[i].name, state.Switches[i].enabled, state.Switches[i].checked);
  AppendGeneratedSwitch(line, "r", true, state.Reproducible);
  if (state.Threads != 0) AppendGeneratedSwitch(line, ("j" + std::to_string(state.Threads)).c_str(), true, true);
  AppendGeneratedSwitch(line, "h", true, state.Unattended);
  AppendGeneratedSwitch(line, "q", true, state.Unattended);
  AppendGeneratedValue(line, state.Texts.Source, next);
  AppendGeneratedValue(line, state.Texts.Target, next);
  if (state.ExecuteFileChecked) AppendGeneratedValue(line, state.Texts.ExecutableFile, next);
  if (state.CustomFolderChosen) AppendGeneratedValue(line, state.Texts.CustomFolder, next);
  if (state.CmdParametersEnabled) AppendGeneratedValue(line, state.Texts.CmdParameters, next);
  return FinishGeneratedLine(line);
}

std::string EnvironmentRow(const std::string& entry) {
  std::string row = '%' + entry;
  size_t equals = row.find('=');
  if (equals == std::string::npos)
    row += '%';
  else
    row.insert(equals, 1, '%');
  return row;
}

void SplitEnvironmentRow(const std::string& row, std::string& name, std::string& value) {
  size_t equals = row.find('=');
  name = row.substr(0, equals);
  value = equals == std::string::npos ? std::string() : row.substr(equals + 1);
}
