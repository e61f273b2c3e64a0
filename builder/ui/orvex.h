// The builder's start-up, its command-line values and the gate before every build.
#pragma once

#include <string>

#include "BuildSfx.h"
#include "CmdLineHelper.h"
#include "u_shared.h"

// Exit statuses of the builder. A window run ends with ExitBuilt.
enum OrvexExitStatus {
  ExitBuilt = 0,            // the SFX file was written (or the window run ended)
  ExitUnexpectedError = 1,  // an error stopped the build or the program is corrupted
  ExitInputsRefused = 2,    // a failed input check, No to the overwrite question, too few
                            // positional parameters, or a file the format cannot carry
};

// The longest texts the options record carries, without their NUL.
constexpr size_t MaxCmdParametersLength = sizeof(SfxOptions::CmdParameters) - 1;  // 127
constexpr size_t MaxCustomFolderLength = sizeof(SfxOptions::CustomFolder) - 1;    // 260

// Fixed by start-up, only read afterwards.
extern CommandLineValues gCommandLine;

// Loads the four embedded resources in order; false (after the internal-error box) when
// one is missing or empty. Also sets AppId and seeds the instance id generator.
bool StartUp();

// The build inputs the command-line values describe.
BuildInputs CommandLineInputs(const CommandLineValues& values);

// Trims and expands the five texts in place, as every build sees them.
void NormalizeInputs(std::string& source, std::string& target, std::string& executable, std::string& customFolder,
                     std::string& parameters);

// The checks before every build, with their message boxes and the overwrite question.
bool CheckBuildInputs(const BuildInputs& inputs);

// Saves the inputs as settings; called by CheckBuildInputs outside command-line mode.
// The main window sets it when it opens, so hidden builds and the in-process tests of the
// build job never touch the registry.
extern void (*SaveSettingsHook)(const BuildInputs& inputs);

// A hidden build of the command-line values, with its boxes; gives the exit status.
int RunHiddenBuild();

// The window application (the main window and its message loop); gives the exit status.
int RunWindowApplication();
