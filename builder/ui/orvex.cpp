#include "orvex.h"

#include <windows.h>

#include <atomic>

#include "BuildErrors.h"
#include "ovfile.h"
#include "ovdialogs.h"
#include "ovutils.h"

CommandLineValues gCommandLine;
SfxHeads gHeads;
ResourceData UsageTextData;
void (*SaveSettingsHook)(const BuildInputs& inputs) = nullptr;

namespace {

ByteSpan Span(const ResourceData& data) { return ByteSpan{data.data, data.size}; }

// SOURCE_DATE_EPOCH kept in `value`: null when it is unset.
const char* SourceDateEpochText(std::string& value) {
  SetLastError(ERROR_SUCCESS);
  DWORD length = GetEnvironmentVariableA("SOURCE_DATE_EPOCH", nullptr, 0);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return nullptr;
  value.assign(length, '\0');
  value.resize(length ? GetEnvironmentVariableA("SOURCE_DATE_EPOCH", &value[0], length) : 0);
  return value.c_str();
}

// Ctrl-C, Ctrl-Break and the close of the console stop a hidden build as the Cancel button
// stops a window build: the engine finishes the current chunk and removes the target.
std::atomic<bool> gConsoleStop{false};
// Set once the hidden build has ended and removed what it had begun.
HANDLE gHiddenBuildEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI StopOnConsoleEvent(DWORD event) {
  gConsoleStop = true;
  // After a close, a log-off or a shut-down the system ends the program as soon as this
  // returns, or after 5 seconds: the build gets that time to remove its target.
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) WaitForSingleObject(gHiddenBuildEnded, 4500);
  return TRUE;
}

// The hidden build's observer: nothing is shown, only the console's stop is read.
class ConsoleStop : public BuildProgress {
 public:
  ConsoleStop() { SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE); }
  ~ConsoleStop() override { SetEvent(gHiddenBuildEnded); }
  void SetSource(const std::string&) override {}
  void SetTarget(const std::string&) override {}
  void SetFileBar(int) override {}
  void SetTotalBar(int) override {}
  void SetSizeText(const std::string&) override {}
  void ProcessMessages() override {}
  bool Cancelled() override { return gConsoleStop; }
};

}  // namespace

bool StartUp() {
  AppId = "orvex-app";
  ResourceData head, helper, manifest;
  const struct {
    const char* type;
    const char* name;
    ResourceData* view;
  } resources[] = {
      {"EXE", "SFXHEAD", &head},
      {"EXE", "SELFDELETE", &helper},
      {"XML", "UAC", &manifest},
      {"TXT", "CMDLINE", &UsageTextData},
  };
  for (const auto& r : resources) {
    if (!LoadResourceData(r.type, r.name, *r.view)) {
      ShowError("Internal error\r\nThe program is corrupted");
      return false;
    }
  }
  gHeads = SfxHeads{Span(head), Span(helper), Span(manifest)};
  return true;
}

bool RunBuild(const BuildInputs& checked, BuildProgress* progress) {
  BuildEnvironment environment;
  environment.Heads = gHeads;
  environment.Progress = progress;
  BuildResult result = BuildSfx(checked, environment);
  if (result.Cancelled) {
    ShowWarning("Orvex has been aborted\r\nTarget SFX file has been deleted");
    return false;
  }
  std::string skipped = SkippedLinksText(result.SkippedLinks);
  if (!skipped.empty()) WriteStandardError(skipped + "\r\n");
  if (!gCommandLine.NoFinalMessage && MessagesGoToConsole())
    WriteStandardOutput(checked.Target + " " + std::to_string(result.Written) + " bytes\r\n");
  else if (!gCommandLine.NoFinalMessage)
    ShowInfo("The SFX file has been successfully created" + (skipped.empty() ? std::string() : "\r\n\r\n" + skipped));
  return true;
}

bool CheckBuildInputs(const BuildInputs& inputs, BuildInputs& checked) {
  std::string refusal, epoch;
  try {
    checked = EngineInputs(gCommandLine, inputs, SourceDateEpochText(epoch));
  } catch (const EInputRefused& error) {
    // SOURCE_DATE_EPOCH is unusable; the settings still keep the options as a build sees them.
    refusal = error.what();
    checked = inputs;
    NormalizeInputs(checked);
  }
  if (!gCommandLine.CommandLineMode && SaveSettingsHook) SaveSettingsHook(checked);
  if (refusal.empty()) refusal = InputsRefusal(checked);
  if (!refusal.empty()) {
    ShowError(refusal);
    return false;
  }
  if (gCommandLine.OverwriteTarget) return true;
  if (IsFile(checked.Target)) return AskYesNo("Target file already exists\r\nOverwrite?");
  return true;
}

int RunHiddenBuild() {
  if (!gCommandLine.CommandLineMode) return ExitInputsRefused;
  ConsoleStop stop;
  try {
    BuildInputs given = gCommandLine.Inputs, checked;
    // The strong layout carries the texts as typed, also beyond the ANSI code page.
    if (given.StrongCompression) ReadWideCommandLineTexts(given);
    if (!CheckBuildInputs(given, checked)) return ExitInputsRefused;
    return RunBuild(checked, &stop) ? ExitBuilt : ExitStopped;
  } catch (const EInputRefused& refusal) {
    ShowError(refusal.what());
    return ExitInputsRefused;
  } catch (const std::exception& error) {
    ShowApplicationError(error.what(), true);
    return ExitUnexpectedError;
  }
}
