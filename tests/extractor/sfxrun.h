// Helpers of the end-to-end tests: SFX files made by the real builder (or, damaged, by
// the test writer), runs of them, and reading back what they did.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sfxwriter.h"
#include "testsupport.h"

namespace sfxtest {

// A source folder with files and folders; `files` maps relative paths to contents
// (a path ending in a backslash is a folder).
std::string MakeSource(const std::string& scratch, const std::vector<std::pair<std::string, std::string>>& files);

// Builds with `orvex.exe -h -c -o` and the switches; the positional parameters after the
// target are passed when not empty. Gives the target path, or empty when the build failed.
std::string BuildSfx(const std::string& target, const std::string& switches, const std::string& source,
                     const std::string& executable = "", const std::string& custom = "",
                     const std::string& parameters = "");
// An SFX file written by the test writer behind the built head.
std::string WriteSfx(const std::string& target, const SfxOptions& options, const std::vector<Entry>& entries);

// The options record and its position in an SFX file.
SfxOptions ReadOptions(const std::string& sfx, size_t* offset = nullptr);
std::string TempFolder();                    // with trailing backslash
std::string TempExtractionFolder(const std::string& sfx);  // ~sfx + InstanceId
std::string SpecialFolder(int csidl);        // with trailing backslash
std::string SystemText(DWORD code);          // as the extractor shows it

DWORD RunSfx(const std::string& sfx, const std::string& arguments = "", const std::string& folder = "");
// With the limited token linked to this one (Wine gives every program an elevated one).
DWORD RunSfxLimited(const std::string& sfx);

// Starts the SFX file, waits for its message box, reads it, saves a screenshot, presses
// `button`, and gives the exit code.
struct BoxRun {
  DWORD exitCode = 0xFFFFFFFF;
  bool boxSeen = false;
  std::string text;
  std::vector<std::string> buttons;
};
BoxRun RunSfxAnswering(const std::string& sfx, const std::string& button, const std::string& shotName,
                       const std::string& folder = "", int boxes = 1);

// Attributes and last-write time (as DOS date/time in local time) of a path.
DWORD Attributes(const std::string& path);
uint32_t DosTime(const std::string& path);
void SetDosTime(const std::string& path, uint32_t dosTime);

// Environment of the launched probe for the lifetime of the object.
class ProbeEnvironment {
 public:
  ProbeEnvironment(const std::string& name, const std::string& value);
  ~ProbeEnvironment();

 private:
  std::string name_;
};

std::vector<std::string> Lines(const std::string& text);

}  // namespace sfxtest
