// The builder's files and paths, one implementation per platform (win/, posix/). Every
// read and write checks its byte count, every failure raises EBuildError with the
// system's standard text ("File not found", "Disk full", ...), and closing is safe twice.
#pragma once

#include <stdint.h>

#include <string>

#include "BuildErrors.h"

#ifdef _WIN32
constexpr char PathSeparator = '\\';
#else
constexpr char PathSeparator = '/';
#endif

// What tells one file from another whatever names lead to it (links, spellings, hard
// links): device and inode, or volume serial number and file index. Two identities are
// equal only when both are known.
struct FileIdentity {
  uint64_t volume = 0, file = 0;
  bool known = false;
  bool operator==(const FileIdentity& other) const {
    return known && other.known && volume == other.volume && file == other.file;
  }
};

class OvFile {
 public:
  enum Mode { ReadOnly, CreateAlways, OpenForWrite };

  OvFile() = default;
  // Opens `path` or raises; ReadOnly lets others read and write the file meanwhile. Only a
  // regular file is opened, and opening never waits: a pipe or a device fails as a file
  // that is not there ("File not found") when read, as one that may not be written
  // ("File access denied") otherwise.
  // `widePath`, when given, is what the system opens (Windows: the UTF-16 path the walk
  // found, which reaches names beyond the code page); `path` names the file in messages.
  OvFile(const std::string& path, Mode mode, const std::u16string& widePath = std::u16string());
  ~OvFile() { Abandon(); }
  OvFile(const OvFile&) = delete;
  OvFile& operator=(const OvFile&) = delete;
  OvFile(OvFile&& other) noexcept : handle_(other.handle_) { other.handle_ = Closed; }
  OvFile& operator=(OvFile&& other) noexcept {
    if (this != &other) {
      Abandon();
      handle_ = other.handle_;
      other.handle_ = Closed;
    }
    return *this;
  }

  bool IsOpen() const { return handle_ != Closed; }
  // Reads exactly `length` bytes; fewer is "Read beyond end of file".
  void ReadExact(void* buffer, uint32_t length);
  // Writes all `length` bytes; fewer is "Disk full".
  void Write(const void* data, uint32_t length);
  // Overwrites bytes already written at `position`, then goes back to the end.
  void WriteAt(uint64_t position, const void* data, uint32_t length);
  void Seek(uint64_t position);
  void SeekEnd();
  uint64_t Position() const;
  uint64_t Size() const;
  // Unknown when the system cannot tell.
  FileIdentity Identity() const;
  // Closes and raises when the system reports a failure; nothing when already closed.
  void Close();
  // Closes without looking at the result, on the way out of a failed build.
  void Abandon();

 private:
  static constexpr intptr_t Closed = -1;
  intptr_t handle_ = Closed;  // a HANDLE or a file descriptor
};

// "Not enough memory", in the system's words.
[[noreturn]] void RaiseOutOfMemory();

// The path made full against the current folder, "." and ".." resolved.
std::string FullPath(const std::string& path);
// The full path as the file system knows it (every short 8.3 part in its long form, links
// resolved), so that two spellings of one file compare equal; a path that does not exist
// is only made full.
std::string FullLongPath(const std::string& path);
// Appends the separator unless present (a double-byte character's trailing byte is not
// one); an empty path stays empty.
std::string IncludeTrailingSeparator(const std::string& path);
// Compares two paths as the file system does (without regard to letter case on Windows).
bool SamePath(const std::string& a, const std::string& b);
// True when `path` begins with `folder` (which ends in a separator), compared as SamePath.
bool PathBeginsWith(const std::string& path, const std::string& folder);
// The identity of the file `path` (or `widePath`, as OvFile takes it) leads to (links
// followed); unknown when there is none.
FileIdentity IdentityOf(const std::string& path, const std::u16string& widePath = std::u16string());
// The path in UTF-16 as the system's wide calls take it, converted from the ANSI code page
// as its A calls convert it (Windows); empty where files are opened by the bytes of their
// path (Linux).
std::u16string WidePathOf(const std::string& path);
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);
// Creates the folder a file is to go into, with every missing parent; failures show when
// the file is created. Raises "Unable to create directory" when the path has no folder.
void CreateFolderFor(const std::string& file);
// Deletes the file, whatever its attributes; failures are ignored.
void ForceDeleteFile(const std::string& path);
