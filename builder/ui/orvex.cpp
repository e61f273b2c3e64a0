#include "orvex.h"

#include <windows.h>

#include "BuildErrors.h"
#include "ovdialogs.h"
#include "ovutils.h"

CommandLineValues gCommandLine;
void (*SaveSettingsHook)(const BuildInputs& inputs) = nullptr;

namespace {

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

// A full path against the current directory, with "." and ".." resolved.
std::string Expand(const std::string& path) {
  if (path.empty()) return path;
  char full[MAX_PATH];
  char* namePart = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, &namePart);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(full, length);
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// True when `path` begins with `folder`, ignoring letter case as the user's locale does.
bool BeginsWithText(const std::string& path, const std::string& folder) {
  if (path.size() < folder.size()) return false;
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, path.data(), static_cast<int>(folder.size()),
                        folder.data(), static_cast<int>(folder.size())) == CSTR_EQUAL;
}

// The box for an error that stopped a hidden build, shown before any window exists.
void ShowApplicationError(const std::string& text) {
  if (MessagesGoToConsole())
    WriteStandardError(text + "\r\n");
  else
    MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace

bool StartUp() {
  AppId = "orvex-app";
  const struct {
    const char* type;
    const char* name;
    ResourceData* view;
  } resources[] = {
      {"EXE", "SFXHEAD", &SfxHeadData},
      {"EXE", "SELFDELETE", &SelfDeleteData},
      {"XML", "UAC", &UacManifestData},
      {"TXT", "CMDLINE", &UsageTextData},
  };
  for (const auto& r : resources) {
    if (!LoadResourceData(r.type, r.name, *r.view)) {
      ShowError("Internal error\r\nThe program is corrupted");
      return false;
    }
  }
  SeedInstanceIds();
  return true;
}

BuildInputs CommandLineInputs(const CommandLineValues& v) {
  BuildInputs in;
  in.Source = v.Source;
  in.Target = v.Target;
  in.ExecutableFile = v.ExecutableFile;
  in.CmdParameters = v.CmdParameters;
  in.CustomFolder = v.CustomFolder;
  in.ExtractionMode = v.ExtractionMode;
  in.ExtractionFolder = v.ExtractionFolder;
  in.OpenFolder = v.OpenFolder;
  in.Compressed = 1;
  in.OneInstance = v.OneInstance;
  in.SilentMode = v.SilentMode;
  in.SelfDeleteMode = v.SelfDeleteMode;
  in.DeleteMode = v.DeleteMode;
  in.WorkingDirectory = v.WorkingDirectory;
  in.UACAutoElevation = v.UACAutoElevation;
  in.OverwriteMode = v.OverwriteMode;
  return in;
}

void NormalizeInputs(std::string& source, std::string& target, std::string& executable, std::string& customFolder,
                     std::string& parameters) {
  source = IncludeTrailingBackslash(Expand(Trim(source)));
  target = Expand(Trim(target));
  executable = Expand(Trim(executable));
  parameters = Trim(parameters);
  // Not expanded: it may hold %VARIABLE% references that only the extractor resolves.
  customFolder = IncludeTrailingBackslash(Trim(customFolder));
}

bool CheckBuildInputs(const BuildInputs& inputs) {
  BuildInputs in = inputs;
  NormalizeInputs(in.Source, in.Target, in.ExecutableFile, in.CustomFolder, in.CmdParameters);
  if (!gCommandLine.CommandLineMode && SaveSettingsHook) SaveSettingsHook(in);
  try {
    FILETIME epoch;
    SourceDateEpoch(epoch);
  } catch (const EInputRefused& refusal) {
    ShowError(refusal.what());
    return false;
  }
  if (!IsFolder(in.Source)) {
    ShowError("The source folder does not exist\r\n\r\n" + in.Source);
    return false;
  }
  if (in.ExtractionMode == 1) {
    if (!IsFile(in.ExecutableFile)) {
      ShowError("The executable file does not exist\r\n\r\n" + in.ExecutableFile);
      return false;
    }
    // Long forms, so that a short 8.3 spelling of either is the same path.
    if (!BeginsWithText(FullLongPath(in.ExecutableFile), IncludeTrailingBackslash(FullLongPath(in.Source)))) {
      ShowError("The executable file\r\n" + in.ExecutableFile + "\r\n\r\nis not in the source folder\r\n" + in.Source);
      return false;
    }
    if (in.CmdParameters.size() > MaxCmdParametersLength) {
      ShowError("The command line parameters are longer than " + std::to_string(MaxCmdParametersLength) +
                " characters\r\n\r\n" + in.CmdParameters);
      return false;
    }
  }
  if (in.ExtractionFolder == 5 && in.CustomFolder.size() > MaxCustomFolderLength) {
    ShowError("The custom folder is longer than " + std::to_string(MaxCustomFolderLength) + " characters\r\n\r\n" +
              in.CustomFolder);
    return false;
  }
  // Found in the source by its text, the file may still not be packed: it lies beyond a
  // folder link the walk does not follow, or it is the target itself.
  if (in.ExtractionMode == 1 && !PacksExecutableFile(in)) {
    ShowError("The executable file\r\n" + in.ExecutableFile +
              "\r\n\r\nis not among the files packed from the source folder\r\n" + in.Source);
    return false;
  }
  if (gCommandLine.OverwriteTarget) return true;
  if (IsFile(in.Target)) return AskYesNo("Target file already exists\r\nOverwrite?");
  return true;
}

int RunHiddenBuild() {
  if (!gCommandLine.CommandLineMode) return ExitInputsRefused;
  BuildInputs inputs = CommandLineInputs(gCommandLine);
  try {
    if (!CheckBuildInputs(inputs)) return ExitInputsRefused;
    // Without a progress window nothing can cancel it, so false cannot happen here.
    return BuildSfx(inputs) ? ExitBuilt : ExitUnexpectedError;
  } catch (const EInputRefused& refusal) {
    ShowError(refusal.what());
    return ExitInputsRefused;
  } catch (const std::exception& error) {
    ShowApplicationError(error.what());
    return ExitUnexpectedError;
  }
}
