// Running the real orvex.exe under test: every message box it shows is read, saved as a
// screenshot and answered; the run gives its exit status and the boxes in order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"
#include "sfxcheck.h"

struct OrvexRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::vector<driver::MessageBoxInfo> boxes;
  std::string output, errors;  // its standard output and standard error
};

// Runs `program` (orvex.exe unless given) with `arguments`; the n-th box is answered with
// the n-th entry of `answers` ("OK" when there are fewer). Screenshots: shotName-N.png.
OrvexRun RunOrvex(const std::string& arguments, const std::string& shotName,
                  const std::vector<std::string>& answers = {}, const std::string& folder = std::string(),
                  const std::string& program = std::string());

// Reads and checks an SFX file; fails the test on any defect of the format.
SfxArchive ReadSfxFile(const std::string& path);

std::string OrvexPath();

// A path between double quotes as the builder's scanner reads it back: a final backslash
// is doubled, or it would escape the closing quote.
std::string Arg(const std::string& path);
