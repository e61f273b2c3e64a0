// The progress of a build on the terminal: one line on standard error with the bytes done
// of the total, the percentage and the file being packed, redrawn at most five times a
// second and cleared at the end. Draws nothing when standard error is not a terminal.
#pragma once

#include <chrono>
#include <string>

#include "BuildSfx.h"

class ProgressLine : public BuildProgress {
 public:
  explicit ProgressLine(int descriptor);
  ~ProgressLine() override { Clear(); }

  void SetSource(const std::string& text) override { file_ = text; }
  void SetTarget(const std::string&) override {}
  void SetFileBar(int) override {}
  void SetTotalBar(int) override {}
  void SetSizeText(const std::string& text) override { size_ = text; }
  void ProcessMessages() override;
  // Erases the line, so that what follows starts on a clean one; safe twice.
  void Clear();

 private:
  void Draw(const std::string& text);

  int descriptor_;
  bool active_;
  bool drawn_ = false;
  std::string file_, size_;
  std::chrono::steady_clock::time_point next_;
};
