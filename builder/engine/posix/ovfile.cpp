// Files and paths on Linux and other POSIX systems.
#include "ovfile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// The texts the Windows builder gives for the same failures.
std::string FileErrorText(int code) {
  switch (code) {
    case ENOENT:
      return "File not found";
    case ENOTDIR:
    case ENAMETOOLONG:
    case EISDIR:
      return "Invalid filename";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(code);
  }
}

[[noreturn]] void RaiseFileError(int code) { throw EBuildError(FileErrorText(code)); }

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

FileIdentity IdentityOf(const struct stat& status) {
  return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino), true};
}

}  // namespace

// Linux opens every file by the bytes of its path.
OvFile::OvFile(const std::string& path, Mode mode, const std::u16string&) {
  // A file opened for writing is read too: the build sums what it wrote.
  int flags = O_CLOEXEC | O_NOCTTY | (mode == ReadOnly ? O_RDONLY : O_RDWR);
  if (mode == CreateAlways) flags |= O_CREAT | O_TRUNC;
  // Without O_NONBLOCK a fifo put where a file was waits for a writer, for ever.
  int fd = open(path.c_str(), flags | O_NONBLOCK, 0666);
  if (fd < 0) RaiseFileError(errno);
  struct stat status;
  int code = fstat(fd, &status) != 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
  // What is checked is what was opened, not the name looked up again.
  if (code == 0 && !S_ISREG(status.st_mode)) code = mode == ReadOnly ? ENOENT : EACCES;
  if (code == 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) code = errno;
  if (code != 0) {
    close(fd);
    RaiseFileError(code);
  }
  handle_ = fd;
}

void OvFile::ReadExact(void* buffer, uint32_t length) {
  uint8_t* to = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    ssize_t done = read(Descriptor(handle_), to, length);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) RaiseFileError(errno);
    if (done == 0) throw EBuildError("Read beyond end of file");
    to += done;
    length -= static_cast<uint32_t>(done);
  }
}

void OvFile::Write(const void* data, uint32_t length) {
  const uint8_t* from = static_cast<const uint8_t*>(data);
  while (length > 0) {
    ssize_t done = write(Descriptor(handle_), from, length);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) RaiseFileError(errno);
    if (done == 0) RaiseFileError(ENOSPC);
    from += done;
    length -= static_cast<uint32_t>(done);
  }
}

void OvFile::WriteAt(uint64_t position, const void* data, uint32_t length) {
  Seek(position);
  Write(data, length);
  SeekEnd();
}

void OvFile::Seek(uint64_t position) {
  if (lseek(Descriptor(handle_), static_cast<off_t>(position), SEEK_SET) < 0) RaiseFileError(errno);
}

void OvFile::SeekEnd() {
  if (lseek(Descriptor(handle_), 0, SEEK_END) < 0) RaiseFileError(errno);
}

uint64_t OvFile::Position() const {
  off_t position = lseek(Descriptor(handle_), 0, SEEK_CUR);
  if (position < 0) RaiseFileError(errno);
  return static_cast<uint64_t>(position);
}

uint64_t OvFile::Size() const {
  struct stat status;
  if (fstat(Descriptor(handle_), &status) != 0) RaiseFileError(errno);
  return static_cast<uint64_t>(status.st_size);
}

FileIdentity OvFile::Identity() const {
  struct stat status;
  return fstat(Descriptor(handle_), &status) == 0 ? IdentityOf(status) : FileIdentity();
}

void OvFile::Close() {
  if (!IsOpen()) return;
  int fd = Descriptor(handle_);
  handle_ = Closed;
  if (close(fd) != 0 && errno != EINTR) RaiseFileError(errno);
}

void OvFile::Abandon() {
  if (IsOpen()) close(Descriptor(handle_));
  handle_ = Closed;
}

void RaiseOutOfMemory() { throw EBuildError(strerror(ENOMEM)); }

std::string FullPath(const std::string& path) {
  if (path.empty()) return path;
  std::string full = path;
  if (path[0] != '/') {
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) return path;
    full = std::string(cwd) + "/" + path;
    free(cwd);
  }
  // "." and ".." resolved by the text, as Windows does, links left alone.
  std::vector<std::string> parts;
  size_t start = 1;
  while (start <= full.size()) {
    size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty() || (full.back() == '/' && !parts.empty())) result += "/";
  return result;
}

std::string FullLongPath(const std::string& path) {
  if (path.empty()) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) return resolved;
  return FullPath(path);
}

std::string IncludeTrailingSeparator(const std::string& path) {
  return path.empty() || path.back() == '/' ? path : path + '/';
}

bool SamePath(const std::string& a, const std::string& b) { return a == b; }

bool PathBeginsWith(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0;
}

FileIdentity IdentityOf(const std::string& path, const std::u16string&) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? IdentityOf(status) : FileIdentity();
}

std::u16string WidePathOf(const std::string&) { return std::u16string(); }

bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

void CreateFolderFor(const std::string& file) {
  size_t last = file.rfind('/');
  if (last == std::string::npos) throw EBuildError("Unable to create directory");
  for (size_t slash = file.find('/', 1); slash != std::string::npos && slash <= last; slash = file.find('/', slash + 1))
    mkdir(file.substr(0, slash).c_str(), 0777);
}

void ForceDeleteFile(const std::string& path) { unlink(path.c_str()); }
