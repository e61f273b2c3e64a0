// The builder's start-up, its command-line values and the gate before every build.
#pragma once

#include <string>

#include "BuildSfx.h"
#include "CmdLineHelper.h"
#include "ovutils.h"
#include "u_shared.h"

// Exit statuses of the builder. A window run ends with ExitBuilt.
enum OrvexExitStatus {
  ExitBuilt = 0,            // the SFX file was written (or the window run ended)
  ExitUnexpectedError = 1,  // an error stopped the build or the program is corrupted
  ExitInputsRefused = 2,    // a failed input check, No to the overwrite question, too few
                            // positional parameters, or a file the format cannot carry
  // Ctrl-C or the console's close stopped a hidden build, which removed its target: the
  // status the system's own handler ends a program with (STATUS_CONTROL_C_EXIT).
  ExitStopped = static_cast<int>(0xC000013Au),
};

static_assert(MaxCmdParametersLength == sizeof(SfxOptions::CmdParameters) - 1, "the record's field");
static_assert(MaxCustomFolderLength == sizeof(SfxOptions::CustomFolder) - 1, "the record's field");

// Fixed by start-up, only read afterwards.
extern CommandLineValues gCommandLine;
// The embedded head, helper and manifest; the usage text.
extern SfxHeads gHeads;
extern ResourceData UsageTextData;

// Loads the four embedded resources in order; false (after the internal-error box) when
// one is missing or empty. Also sets AppId.
bool StartUp();

// Runs a build of the inputs CheckBuildInputs gave, reporting to `progress` (may be null),
// and shows how it ended. False when it was cancelled. Raises what the build raises.
bool RunBuild(const BuildInputs& checked, BuildProgress* progress);

// The checks before every build, with their message boxes and the overwrite question.
// True when the build may start; `checked` then holds what RunBuild takes: the inputs as
// EngineInputs gives them for the command line and SOURCE_DATE_EPOCH of this run.
bool CheckBuildInputs(const BuildInputs& inputs, BuildInputs& checked);

// Saves the inputs as settings; called by CheckBuildInputs outside command-line mode.
// The main window sets it when it opens, so hidden builds and the in-process tests of the
// build job never touch the registry.
extern void (*SaveSettingsHook)(const BuildInputs& inputs);

// A hidden build of the command-line values, with its boxes; gives the exit status.
int RunHiddenBuild();

// The window application (the main window and its message loop); gives the exit status.
int RunWindowApplication();
