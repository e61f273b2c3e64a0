// The builder's file module: every read and write checks its byte count, every failure
// raises EBuildError with the system's standard text, and closing is safe twice.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>

#include "BuildErrors.h"
#include "ovhandles.h"

// "File not found", "Invalid filename", "Too many open files", "File access denied",
// "Disk full", or "I/O error %d" for any other code.
std::string FileErrorText(DWORD code);
[[noreturn]] void RaiseFileError(DWORD code);
// The system's own message for an error code, without its line break.
std::string SystemErrorText(DWORD code);

class OvFile {
 public:
  enum Mode { ReadOnly, CreateAlways, OpenForWrite };

  OvFile() = default;
  // Opens `path` or raises; ReadOnly lets others read and write the file meanwhile.
  OvFile(const std::string& path, Mode mode);

  bool IsOpen() const { return handle_.Valid(); }
  // Reads exactly `length` bytes; fewer is "Read beyond end of file".
  void ReadExact(void* buffer, uint32_t length);
  // Writes all `length` bytes; fewer is "Disk full".
  void Write(const void* data, uint32_t length);
  // Overwrites bytes already written at `position`, then goes back to the end.
  void WriteAt(uint64_t position, const void* data, uint32_t length);
  void SeekEnd();
  uint64_t Position() const;
  // Closes and raises when the system reports a failure; nothing when already closed.
  void Close();
  // Closes without looking at the result, on the way out of a failed build.
  void Abandon() { handle_.Reset(); }

 private:
  FileHandle handle_;
};
