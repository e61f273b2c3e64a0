// The builder's command line: splitting it into parameters, telling switches from
// positional parameters, and turning both into the command-line values of one run.
//
// The scanner works on a given string and steps over characters with an injected
// routine, so the same rules run on the host; on Windows the process command line is
// split once, at start-up, stepping with CharNextA.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "BuildSfx.h"

// The position of the character after the one at `p` (a double-byte character is one).
typedef const char* (*NextCharFunction)(const char* p);
const char* NextSingleByteChar(const char* p);

// Scans the parameter that starts at or after `position` of `commandLine`, moves
// `position` past it and stores its value when `value` is not null. False when only
// separators (codes 1 to 32) remain.
bool ScanParamIn(const char* commandLine, size_t& position, std::string* value,
                 NextCharFunction next = NextSingleByteChar);

// Every parameter of a command line, the program name first.
std::vector<std::string> SplitCommandLine(const char* commandLine, NextCharFunction next = NextSingleByteChar);

// A parameter whose first character is '-' or '/'; every other one, even an empty one,
// is positional.
bool IsSwitchParam(const std::string& param);

// The command-line values of one run, fixed at start-up and only read afterwards.
struct CommandLineValues {
  BuildInputs Inputs;  // the options the line sets
  bool Xcmv = false;   // -xcmv: the head takes its icon and version from XcmvFile
  std::string XcmvFile;
  bool OverwriteTarget = false;  // -o
  bool NoFinalMessage = false;   // -c: no word when the SFX file is written
  bool HideMainWindow = false;   // -h
  bool Quiet = false;            // -q: with -h, no box at all (messages on standard error)
  bool X64 = false;              // the Linux orvex's -x64: the x86-64 heads
  // The Linux orvex's inspections: -l (with --json), -t, and -x (with -o: OverwriteTarget).
  bool List = false, Test = false, Extract = false, Json = false;
  int RequiredPositionals = 2;
  bool CommandLineMode = false;
  // Why a line that builds must not: a parameter that it would drop without a word (a
  // switch the builder does not know, a positional parameter no chosen switch takes, a
  // number switch without its number). Empty when nothing is dropped, and always for the
  // ordinary window.
  std::string Refusal;
};

// A switch of the front end: it sets a flag of the run rather than an option of the record.
struct FlagSwitch {
  const char* name;
  bool& (*flag)(CommandLineValues& values);
  const char* meaning;  // the usage text's words
};

// A switch that carries a number straight after its name, as -j2 does.
struct NumberSwitch {
  const char* name;
  const char* placeholder;  // the number as the usage text writes it: -jN
  unsigned BuildInputs::*field;  // left as it is when the switch is not given
  unsigned least, most;
  const char* meaning;    // the usage text's words
  const char* takes;      // what the number is
  const char* example;    // a switch with its number
  const char* otherwise;  // what holds without the switch
};

// The switches of a front end, besides the option table's when it takes them.
struct FrontEndSwitches {
  std::vector<FlagSwitch> flags;
  std::vector<NumberSwitch> numbers;
  bool options = true;  // the option table's switches count
};
// orvex.exe's.
extern const FrontEndSwitches BuilderSwitches;
// The Linux orvex's builds: orvex.exe's and its own -x64 and -cpNNNN; its -l, -t and -x.
extern const FrontEndSwitches LinuxBuildSwitches;
extern const FrontEndSwitches InspectionSwitches;

// Compares a switch name with a parameter's name, ignoring letter case.
typedef bool (*SameTextFunction)(const std::string& a, const std::string& b);
bool SameTextAscii(const std::string& a, const std::string& b);

// Every switch of a front end without its leading '-' or '/': the option table's (when it
// takes them), then its flags. A number switch (-j2) is not among them.
std::vector<const char*> KnownSwitches(const FrontEndSwitches& frontEnd = BuilderSwitches);

// Tells a switch from a positional parameter: IsSwitchParam on Windows; the Linux orvex
// takes only '-', since its paths begin with '/'.
typedef bool (*SwitchTestFunction)(const std::string& param);

// A command line split into parameters, program name first.
class ParsedCommandLine {
 public:
  explicit ParsedCommandLine(std::vector<std::string> params, SameTextFunction sameText = SameTextAscii,
                             SwitchTestFunction isSwitch = IsSwitchParam,
                             const FrontEndSwitches& frontEnd = BuilderSwitches);
  const FrontEndSwitches& FrontEnd() const { return *frontEnd_; }
  bool HasSwitch(const char* name) const;
  int PositionalCount() const;
  // The n-th positional parameter (n from 1), empty when there are fewer.
  std::string PositionalParam(int n) const;
  // The first switch parameter that names none of KnownSwitches; empty when none.
  std::string FirstUnknownSwitch() const;
  // The first switch parameter that begins with `name` (-j2, and also -j or -jx) and is
  // none of KnownSwitches; empty when none.
  std::string NumberSwitchParam(const char* name) const;

 private:
  std::vector<std::string> params_;
  SameTextFunction sameText_;
  SwitchTestFunction isSwitch_;
  const FrontEndSwitches* frontEnd_;
};

// The switches of the line's front end into `v`, in their fixed order and precedence. A
// number switch without a number in its range leaves its field as it is: gives the refusal
// of the first such switch, empty when none.
std::string EvaluateSwitches(const ParsedCommandLine& line, CommandLineValues& v);

// The switches, then the positional parameters of a build.
CommandLineValues EvaluateCommandLine(const ParsedCommandLine& line);

// The engine's inputs for a build of `options` (the window's, or the command line's own):
// normalised, with what the command line decides around them (the icon and version
// source, -r, -jN) and SOURCE_DATE_EPOCH (`sourceDateEpoch`, null when it is unset), which
// also caps the stored times. Raises EInputRefused when SOURCE_DATE_EPOCH is unusable.
BuildInputs EngineInputs(const CommandLineValues& v, BuildInputs options, const char* sourceDateEpoch);

#ifdef _WIN32
// The process command line, split once; switches compared under the user's default locale.
ParsedCommandLine ReadProcessCommandLine();
// The parameters and the custom folder of the process command line in UTF-8, from its wide
// form, into `inputs`; left as they are when that line is not Unicode text.
void ReadWideCommandLineTexts(BuildInputs& inputs);
#endif
