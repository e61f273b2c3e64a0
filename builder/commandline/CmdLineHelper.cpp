#include "CmdLineHelper.h"

#include <string.h>

#include <utility>

#include "OVResources.h"
#include "OptionTable.h"

#ifdef _WIN32
#include <wchar.h>
#include <windows.h>

#include "Utf8.h"
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
    {"o", [](CommandLineValues& v) -> bool& { return v.OverwriteTarget; },
     "Automatically overwrite target file, if exists"},
    {"c", [](CommandLineValues& v) -> bool& { return v.NoFinalMessage; },
     "Do not show message box when SFX file is created"},
    {"h", [](CommandLineValues& v) -> bool& { return v.HideMainWindow; },
     "Hide main form of the application during creation of SFX file"},
    {"q", [](CommandLineValues& v) -> bool& { return v.Quiet; },
     "Only with -h: Show no message box: messages go to standard error, the question whether to overwrite the "
     "target is answered No, and a created SFX file is reported on standard output as its path and size (unless -c)"},
    {"r", [](CommandLineValues& v) -> bool& { return v.Inputs.Reproducible; },
     "Reproducible build: the same source folder gives the same SFX file; set also by the environment variable "
     "SOURCE_DATE_EPOCH, which caps the stored file times as well"},
    {"xcmv", [](CommandLineValues& v) -> bool& { return v.Xcmv; },
     "The SFX file takes its icon and version information from the file named by the parameter that follows the "
     "required ones"},
}, {
    {"j", "N", &BuildInputs::Threads, 1, 64,
     "Compress with N threads (1 to 64); without it, one thread per processor core. The SFX file is the same "
     "whatever the number",
     "the number of threads that compress", "-j2", "every core compresses"},
}};

namespace {

const NumberSwitch CodePageSwitch = {
    "cp", "NNNN", &BuildInputs::CodePage, 1, 65535,
    "The code page of the names, the custom folder and the parameters in the SFX file (1252 unless given, such as "
    "-cp1251 or -cp932)",
    "the code page of the names in the SFX file", "-cp1251", "the code page is 1252"};

}  // namespace

// orvex.exe's switches, with the words of those that do otherwise on Linux, and its own.
const FrontEndSwitches LinuxBuildSwitches = [] {
  FrontEndSwitches own = BuilderSwitches;
  // A switch and its words on Linux.
  const std::pair<const char*, const char*> onLinux[] = {
      {"c", "Print no final line (TARGET SIZE bytes)"},
      {"h", "Taken, and changes nothing"},
      {"q", "Taken, and changes nothing: messages always go to standard error"},
  };
  for (FlagSwitch& flag : own.flags)
    for (const auto& [name, meaning] : onLinux)
      if (strcmp(flag.name, name) == 0) flag.meaning = meaning;
  own.flags.push_back({"x64", [](CommandLineValues& v) -> bool& { return v.X64; },
                       "The x86-64 extractor instead of the 32-bit one"});
  own.numbers.push_back(CodePageSwitch);
  return own;
}();

const FrontEndSwitches InspectionSwitches = {{
    {"l", [](CommandLineValues& v) -> bool& { return v.List; },
     "Lists the options in words and one line per entry"},
    {"t", [](CommandLineValues& v) -> bool& { return v.Test; },
     "Reads, inflates and checks every entry; writes nothing"},
    {"x", [](CommandLineValues& v) -> bool& { return v.Extract; },
     "Extracts below DIR; nothing is ever run, and nothing is written outside DIR"},
    {"-json", [](CommandLineValues& v) -> bool& { return v.Json; },
     "Only with -l: One JSON object, for programs"},
    {"o", [](CommandLineValues& v) -> bool& { return v.OverwriteTarget; },
     "Only with -x: Replace existing files"},
}, {CodePageSwitch}, false};

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
    for (const OptionCode& code : option.codes)
      if (frontEnd.options && code.name) known.push_back(code.name);
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

std::string EvaluateSwitches(const ParsedCommandLine& line, CommandLineValues& v) {
  auto has = [&](const char* name) { return line.HasSwitch(name); };
  // The first present switch of each group in the table's order wins, whatever their
  // order on the line.
  for (const CodedOption& option : CodedOptions) {
    uint8_t code = 0;
    for (size_t c = option.codes.size() - 1; c >= 1; --c)
      if (line.FrontEnd().options && option.codes[c].name && has(option.codes[c].name)) code = static_cast<uint8_t>(c);
    v.Inputs.*option.field = code;
  }
  for (const FlagSwitch& flag : line.FrontEnd().flags) flag.flag(v) = has(flag.name);
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
      badNumber = "The switch " + given + " takes " + number.takes + ", " + std::to_string(number.least) + " to " +
                  std::to_string(number.most) + ", as in " + number.example + "; without it " + number.otherwise;
  }
  return badNumber;
}

CommandLineValues EvaluateCommandLine(const ParsedCommandLine& line) {
  CommandLineValues v;
  std::string badNumber = EvaluateSwitches(line, v);
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

BuildInputs EngineInputs(const CommandLineValues& v, BuildInputs options, const char* sourceDateEpoch) {
  NormalizeInputs(options);
  options.ClampTimes = ParseSourceDateEpoch(sourceDateEpoch, options.LatestTime);
  options.Reproducible = options.ClampTimes || v.Inputs.Reproducible;
  options.Threads = v.Inputs.Threads;
  options.ResourceSource = ResourceSourceFile(v.CommandLineMode, v.Xcmv, v.XcmvFile, options.ExtractionMode,
                                              options.ExecutableFile);
  return options;
}

#ifdef _WIN32

ParsedCommandLine ReadProcessCommandLine() {
  // Switch names compared as the user's locale compares file names.
  return ParsedCommandLine(
      SplitCommandLine(GetCommandLineA(), [](const char* p) -> const char* { return CharNextA(p); }), SamePath);
}

void ReadWideCommandLineTexts(BuildInputs& inputs) {
  const wchar_t* wide = GetCommandLineW();
  std::string line;
  if (!ToUtf8(std::u16string(wide, wide + wcslen(wide)), line)) return;
  // Split as the narrow line is: in UTF-8 every byte of a character beyond ASCII is above
  // 0x7F, so quotes, backslashes and blanks fall where they fall in the narrow line.
  CommandLineValues v = EvaluateCommandLine(ParsedCommandLine(SplitCommandLine(line.c_str()), SamePath));
  inputs.CmdParametersUtf8 = v.Inputs.CmdParameters;
  inputs.CustomFolderUtf8 = v.Inputs.CustomFolder;
}

#endif
