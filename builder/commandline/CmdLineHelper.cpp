#include "CmdLineHelper.h"

#include <string.h>

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

// True when `param` begins with `name`, in any letter case.
bool BeginsWith(const std::string& param, const char* name) {
  size_t n = strlen(name);
  return param.size() >= n && SameTextAscii(param.substr(0, n), name);
}

}  // namespace

const FrontEndSwitches BuilderSwitches = {{
    {"o", [](CommandLineValues& v) -> bool& { return v.OverwriteTarget; }},
    {"c", [](CommandLineValues& v) -> bool& { return v.NoFinalMessage; }},
    {"h", [](CommandLineValues& v) -> bool& { return v.HideMainWindow; }},
    {"q", [](CommandLineValues& v) -> bool& { return v.Quiet; }},
    {"r", [](CommandLineValues& v) -> bool& { return v.Inputs.Reproducible; }},
    {"xcmv", [](CommandLineValues& v) -> bool& { return v.Xcmv; }},
}, {
    {"j", &BuildInputs::Threads, 1, 64, "the number of threads that compress", "-j2", "every core compresses"},
}};

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

std::vector<const char*> KnownSwitches(const FrontEndSwitches& frontEnd) {
  std::vector<const char*> known;
  for (const CodedOption& option : CodedOptions)
    for (const char* name : option.switches)
      if (name) known.push_back(name);
  for (const FlagSwitch& flag : frontEnd.flags) known.push_back(flag.name);
  return known;
}

ParsedCommandLine::ParsedCommandLine(std::vector<std::string> params, SameTextFunction sameText,
                                     SwitchTestFunction isSwitch, const FrontEndSwitches& frontEnd)
    : params_(std::move(params)), sameText_(sameText), isSwitch_(isSwitch), frontEnd_(&frontEnd) {}

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

std::string ParsedCommandLine::NumberSwitchParam(const char* name) const {
  const std::vector<const char*> known = KnownSwitches(*frontEnd_);
  for (size_t i = 1; i < params_.size(); ++i) {
    if (!isSwitch_(params_[i]) || !BeginsWith(params_[i].substr(1), name)) continue;
    bool isKnown = false;
    for (const char* entry : known) isKnown = isKnown || sameText_(params_[i].substr(1), entry);
    if (!isKnown) return params_[i];
  }
  return std::string();
}

std::string ParsedCommandLine::FirstUnknownSwitch() const {
  const std::vector<const char*> known = KnownSwitches(*frontEnd_);
  for (size_t i = 1; i < params_.size(); ++i) {
    if (!isSwitch_(params_[i])) continue;
    std::string name = params_[i].substr(1);
    bool found = false;
    for (const char* entry : known) found = found || sameText_(name, entry);
    // A number switch with its digits: -j2.
    for (const NumberSwitch& number : frontEnd_->numbers)
      found = found || (BeginsWith(name, number.name) &&
                        name.find_first_not_of("0123456789", strlen(number.name)) == std::string::npos);
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
  for (const FlagSwitch& flag : line.FrontEnd().flags) flag.flag(v) = has(flag.name);
  // A number switch with a number in its range sets its field; anything else is refused
  // below and leaves the field as it is.
  std::string badNumber;
  for (const NumberSwitch& number : line.FrontEnd().numbers) {
    std::string given = line.NumberSwitchParam(number.name);
    std::string digits = given.empty() ? given : given.substr(1 + strlen(number.name));
    unsigned value = 0;
    if (!digits.empty() && digits.size() <= 9 && digits.find_first_not_of("0123456789") == std::string::npos)
      value = static_cast<unsigned>(std::stoul(digits));
    if (value >= number.least && value <= number.most)
      v.Inputs.*number.field = value;
    else if (!given.empty() && badNumber.empty())
      badNumber = "The switch " + given + " takes " + number.meaning + ", " + std::to_string(number.least) +
                  " to " + std::to_string(number.most) + ", as in " + number.example + "; without it " +
                  number.otherwise;
  }

  v.Inputs.Source = line.PositionalParam(1);
  v.Inputs.Target = line.PositionalParam(2);
  v.RequiredPositionals = 2;
  if (v.Inputs.ExtractionMode == 1) v.Inputs.ExecutableFile = line.PositionalParam(++v.RequiredPositionals);
  if (v.Inputs.ExtractionFolder == 5) v.Inputs.CustomFolder = line.PositionalParam(++v.RequiredPositionals);
  // Optional, so it does not count towards the required ones.
  if (v.Inputs.ExtractionMode == 1) v.Inputs.CmdParameters = line.PositionalParam(v.RequiredPositionals + 1);
  if (v.Xcmv) v.XcmvFile = line.PositionalParam(v.RequiredPositionals + 1);
  v.CommandLineMode = line.PositionalCount() >= v.RequiredPositionals;
  if (!v.CommandLineMode) return v;

  std::string unknown = line.FirstUnknownSwitch();
  // The parameters after the executable, or the resource file of xcmv, take one more.
  int used = v.RequiredPositionals + (v.Inputs.ExtractionMode == 1 || v.Xcmv ? 1 : 0);
  if (!badNumber.empty()) {
    v.Refusal = badNumber;
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
