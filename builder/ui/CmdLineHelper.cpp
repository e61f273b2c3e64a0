#include "CmdLineHelper.h"

#include <utility>

#include "OptionTable.h"

#ifdef _WIN32
#include <windows.h>

#include "ovfile.h"
#endif

namespace {

inline bool IsSeparator(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// The switch that carries a number, in any spelling of its name.
bool IsNumberSwitch(const std::string& name) { return !name.empty() && (name[0] == 'j' || name[0] == 'J'); }

}  // namespace

const char* NextSingleByteChar(const char* p) { return *p ? p + 1 : p; }

bool ScanParamIn(const char* commandLine, size_t& position, std::string* value, NextCharFunction next) {
  const char* p = commandLine + position;
  while (IsSeparator(*p)) ++p;
  if (!*p) {
    position = static_cast<size_t>(p - commandLine);
    return false;
  }
  std::string scanned;
  bool quoted = false;
  while (*p) {
    if (*p == '\\') {
      size_t run = 0;
      while (p[run] == '\\') ++run;
      if (p[run] == '"') {
        scanned.append(run / 2, '\\');
        p += run;
        // An odd run escapes the quote; an even one leaves it to switch quoting.
        if (run % 2) {
          scanned += '"';
          ++p;
        }
      } else {
        scanned.append(run, '\\');
        p += run;
      }
    } else if (*p == '"') {
      quoted = !quoted;
      ++p;
    } else if (IsSeparator(*p) && !quoted) {
      break;
    } else {
      // A double-byte character is copied whole: its trailing byte may look like a backslash.
      const char* after = next(p);
      if (after <= p) after = p + 1;
      scanned.append(p, static_cast<size_t>(after - p));
      p = after;
    }
  }
  position = static_cast<size_t>(p - commandLine);
  if (value) *value = scanned;
  return true;
}

std::vector<std::string> SplitCommandLine(const char* commandLine, NextCharFunction next) {
  std::vector<std::string> params;
  size_t position = 0;
  std::string value;
  while (ScanParamIn(commandLine, position, &value, next)) params.push_back(value);
  return params;
}

bool IsSwitchParam(const std::string& param) { return !param.empty() && (param[0] == '-' || param[0] == '/'); }

bool SameTextAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

std::vector<const char*> KnownSwitches() {
  std::vector<const char*> known(FrontEndSwitches);
  for (const CodedOption& option : CodedOptions)
    for (const char* name : option.switches)
      if (name) known.push_back(name);
  return known;
}

ParsedCommandLine::ParsedCommandLine(std::vector<std::string> params, SameTextFunction sameText,
                                     SwitchTestFunction isSwitch)
    : params_(std::move(params)), sameText_(sameText), isSwitch_(isSwitch) {}

bool ParsedCommandLine::HasSwitch(const char* name) const {
  for (size_t i = 1; i < params_.size(); ++i)
    if (isSwitch_(params_[i]) && sameText_(params_[i].substr(1), name)) return true;
  return false;
}

int ParsedCommandLine::PositionalCount() const {
  int count = 0;
  for (size_t i = 1; i < params_.size(); ++i)
    if (!isSwitch_(params_[i])) ++count;
  return count;
}

std::string ParsedCommandLine::PositionalParam(int n) const {
  if (n <= 0) return params_.empty() ? std::string() : params_[0];
  for (size_t i = 1; i < params_.size(); ++i)
    if (!isSwitch_(params_[i]) && --n == 0) return params_[i];
  return std::string();
}

std::string ParsedCommandLine::NumberSwitch() const {
  for (size_t i = 1; i < params_.size(); ++i)
    if (isSwitch_(params_[i]) && IsNumberSwitch(params_[i].substr(1))) return params_[i];
  return std::string();
}

std::string ParsedCommandLine::FirstUnknownSwitch() const {
  const std::vector<const char*> known = KnownSwitches();
  for (size_t i = 1; i < params_.size(); ++i) {
    if (!isSwitch_(params_[i])) continue;
    std::string name = params_[i].substr(1);
    // -j carries its number: -j2.
    bool found = IsNumberSwitch(name) && name.find_first_not_of("0123456789", 1) == std::string::npos;
    for (const char* entry : known) found = found || sameText_(name, entry);
    if (!found) return params_[i];
  }
  return std::string();
}

CommandLineValues EvaluateCommandLine(const ParsedCommandLine& line) {
  CommandLineValues v;
  auto has = [&](const char* name) { return line.HasSwitch(name); };
  // The first present switch of each group in the table's order wins, whatever their
  // order on the line.
  for (const CodedOption& option : CodedOptions) {
    uint8_t code = 0;
    for (size_t c = option.switches.size() - 1; c >= 1; --c)
      if (option.switches[c] && has(option.switches[c])) code = static_cast<uint8_t>(c);
    v.Inputs.*option.field = code;
  }
  v.OverwriteTarget = has("o");
  v.ShowFinalMessage = !has("c");
  v.HideMainWindow = has("h");
  v.Quiet = has("q");
  v.Inputs.Reproducible = has("r");
  // -jN: N threads compress, 1 to MaxThreads; without it one per core.
  std::string threads = line.NumberSwitch();
  bool threadsValid = threads.size() >= 3 && threads.size() <= 5 &&
                      threads.find_first_not_of("0123456789", 2) == std::string::npos;
  if (threadsValid) {
    v.Inputs.Threads = static_cast<unsigned>(std::stoul(threads.substr(2)));
    threadsValid = v.Inputs.Threads >= 1 && v.Inputs.Threads <= MaxThreads;
  }
  if (!threadsValid) v.Inputs.Threads = 0;

  v.Inputs.Source = line.PositionalParam(1);
  v.Inputs.Target = line.PositionalParam(2);
  v.RequiredPositionals = 2;
  if (v.Inputs.ExtractionMode == 1) v.Inputs.ExecutableFile = line.PositionalParam(++v.RequiredPositionals);
  if (v.Inputs.ExtractionFolder == 5) v.Inputs.CustomFolder = line.PositionalParam(++v.RequiredPositionals);
  // Optional, so it does not count towards the required ones.
  if (v.Inputs.ExtractionMode == 1) v.Inputs.CmdParameters = line.PositionalParam(v.RequiredPositionals + 1);
  v.Xcmv = has("xcmv");
  if (v.Xcmv) v.XcmvFile = line.PositionalParam(v.RequiredPositionals + 1);
  v.CommandLineMode = line.PositionalCount() >= v.RequiredPositionals;
  if (!v.CommandLineMode) return v;

  std::string unknown = line.FirstUnknownSwitch();
  // The parameters after the executable, or the resource file of xcmv, take one more.
  int used = v.RequiredPositionals + (v.Inputs.ExtractionMode == 1 || has("xcmv") ? 1 : 0);
  if (!threads.empty() && !threadsValid) {
    v.Refusal = "The switch " + threads + " takes the number of threads that compress, 1 to " +
                std::to_string(MaxThreads) + ", as in -j2; without it every core compresses";
  } else if (!unknown.empty()) {
    v.Refusal = "Unknown switch: " + unknown +
                "\r\n\r\nA parameter for the executable file that begins with - or / is written with one blank "
                "before it inside the quotes: \" " +
                unknown + "\"";
  } else if (line.PositionalCount() > used) {
    v.Refusal = "No switch takes this parameter:\r\n" + line.PositionalParam(used + 1) +
                "\r\n\r\nAn executable file and its parameters are taken only with -mf, a custom folder only with -fm";
  }
  return v;
}

#ifdef _WIN32

ParsedCommandLine ReadProcessCommandLine() {
  // Switch names compared as the user's locale compares file names.
  return ParsedCommandLine(
      SplitCommandLine(GetCommandLineA(), [](const char* p) -> const char* { return CharNextA(p); }), SamePath);
}

#endif
