// Files and paths on Windows.
#include "ovfile.h"

#include "widepath.h"
#include "winhandles.h"
#include "winerrors.h"

namespace {

HANDLE Handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

FileIdentity IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return FileIdentity();
  return FileIdentity{info.dwVolumeSerialNumber, uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow, true};
}

}  // namespace

std::u16string WidePathOf(const std::string& path) {
  int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (n <= 1) return std::u16string();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], n);
  return std::u16string(wide.begin(), wide.end() - 1);
}

std::wstring SystemWidePath(const std::u16string& path) {
  std::wstring wide(path.begin(), path.end());
  if (wide.size() < MAX_PATH || wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0)
    return wide;
  if (wide.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC" + wide.substr(1);
  bool drive = wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\';
  return drive ? L"\\\\?\\" + wide : wide;
}

std::string FileErrorText(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return "File not found";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "Invalid filename";
    case ERROR_TOO_MANY_OPEN_FILES:
      return "Too many open files";
    case ERROR_ACCESS_DENIED:
      return "File access denied";
    case ERROR_HANDLE_EOF:
      return "Read beyond end of file";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(code);
  }
}

void RaiseFileError(DWORD code) { throw EBuildError(FileErrorText(code)); }

std::string SystemErrorText(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = length && text ? std::string(text, length) : "System error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
    result.pop_back();
  return result;
}

OvFile::OvFile(const std::string& path, Mode mode, const std::u16string& widePath) {
  // Reading the attributes tells a file from a device and gives the identity; a file
  // opened for writing is read too: the build sums what it wrote.
  DWORD access = (mode == ReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE) | FILE_READ_ATTRIBUTES;
  DWORD share = mode == ReadOnly ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  DWORD disposition = mode == CreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;
  std::wstring name = SystemWidePath(widePath.empty() ? WidePathOf(path) : widePath);
  HANDLE file = CreateFileW(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) RaiseFileError(GetLastError());
  // A pipe (a host's fifo under Wine), a console or a serial port would be read as an
  // empty file or not at all: what was opened is checked, not the name looked up again.
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(file);
    RaiseFileError(mode == ReadOnly ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
  }
  handle_ = reinterpret_cast<intptr_t>(file);
}

void OvFile::ReadExact(void* buffer, uint32_t length) {
  uint8_t* to = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    DWORD done = 0;
    if (!ReadFile(Handle(handle_), to, length, &done, nullptr)) RaiseFileError(GetLastError());
    if (done == 0) RaiseFileError(ERROR_HANDLE_EOF);
    to += done;
    length -= done;
  }
}

void OvFile::Write(const void* data, uint32_t length) {
  DWORD done = 0;
  if (!WriteFile(Handle(handle_), data, length, &done, nullptr)) RaiseFileError(GetLastError());
  if (done != length) RaiseFileError(ERROR_DISK_FULL);
}

void OvFile::WriteAt(uint64_t position, const void* data, uint32_t length) {
  Seek(position);
  Write(data, length);
  SeekEnd();
}

void OvFile::Seek(uint64_t position) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(position);
  if (!SetFilePointerEx(Handle(handle_), at, nullptr, FILE_BEGIN)) RaiseFileError(GetLastError());
}

void OvFile::SeekEnd() {
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(Handle(handle_), zero, nullptr, FILE_END)) RaiseFileError(GetLastError());
}

uint64_t OvFile::Position() const {
  LARGE_INTEGER zero{}, position{};
  if (!SetFilePointerEx(Handle(handle_), zero, &position, FILE_CURRENT)) RaiseFileError(GetLastError());
  return static_cast<uint64_t>(position.QuadPart);
}

uint64_t OvFile::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Handle(handle_), &size)) RaiseFileError(GetLastError());
  return static_cast<uint64_t>(size.QuadPart);
}

FileIdentity OvFile::Identity() const { return IdentityOf(Handle(handle_)); }

void OvFile::Close() {
  if (!IsOpen()) return;
  HANDLE file = Handle(handle_);
  handle_ = Closed;
  if (!CloseHandle(file)) RaiseFileError(GetLastError());
}

void OvFile::Abandon() {
  if (IsOpen()) CloseHandle(Handle(handle_));
  handle_ = Closed;
}

void RaiseOutOfMemory() { throw EBuildError(SystemErrorText(ERROR_NOT_ENOUGH_MEMORY)); }

std::string FullPath(const std::string& path) {
  if (path.empty()) return path;
  char full[MAX_PATH];
  char* namePart = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, &namePart);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(full, length);
}

std::string FullLongPath(const std::string& path) {
  if (path.empty()) return path;
  DWORD length = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::string full(length, '\0');
  full.resize(GetFullPathNameA(path.c_str(), length, &full[0], nullptr));
  length = GetLongPathNameA(full.c_str(), nullptr, 0);
  if (length == 0) return full;
  std::string longer(length, '\0');
  longer.resize(GetLongPathNameA(full.c_str(), &longer[0], length));
  return longer.empty() ? full : longer;
}

std::string IncludeTrailingSeparator(const std::string& path) {
  if (path.empty()) return path;
  const char* last = path.c_str();
  for (const char* p = last; *p; p = CharNextA(p)) last = p;
  return *last == '\\' ? path : path + '\\';
}

bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool PathBeginsWith(const std::string& path, const std::string& folder) {
  return path.size() >= folder.size() && SamePath(path.substr(0, folder.size()), folder);
}

FileIdentity IdentityOf(const std::string& path, const std::u16string& widePath) {
  // Without FILE_FLAG_OPEN_REPARSE_POINT a link is followed to its file; the backup flag
  // also opens a folder.
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  std::wstring name = SystemWidePath(widePath.empty() ? WidePathOf(path) : widePath);
  auto file = Own<FileHandleCloser>(
      CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file ? IdentityOf(file.get()) : FileIdentity();
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFolderFor(const std::string& file) {
  // The folder part with its final backslash, double-byte characters stepped over whole.
  const char* start = file.c_str();
  const char* lastSeparator = nullptr;
  for (const char* p = start; *p; p = CharNextA(p))
    if (*p == '\\' || *p == ':') lastSeparator = p;
  if (!lastSeparator) throw EBuildError("Unable to create directory");
  std::string folder = file.substr(0, static_cast<size_t>(lastSeparator - start) + 1);
  for (const char* p = folder.c_str(); *p; p = CharNextA(p))
    if (*p == '\\' && p != folder.c_str())
      CreateDirectoryA(folder.substr(0, static_cast<size_t>(p - folder.c_str())).c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
}

void ForceDeleteFile(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}
