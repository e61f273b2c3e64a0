#include "ovfile.h"

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

OvFile::OvFile(const std::string& path, Mode mode) {
  DWORD access = mode == ReadOnly ? GENERIC_READ : GENERIC_WRITE;
  DWORD share = mode == ReadOnly ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  DWORD disposition = mode == CreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;
  handle_.Reset(CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle_.Valid()) RaiseFileError(GetLastError());
}

void OvFile::ReadExact(void* buffer, uint32_t length) {
  uint8_t* to = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    DWORD done = 0;
    if (!ReadFile(handle_.Get(), to, length, &done, nullptr)) RaiseFileError(GetLastError());
    if (done == 0) RaiseFileError(ERROR_HANDLE_EOF);
    to += done;
    length -= done;
  }
}

void OvFile::Write(const void* data, uint32_t length) {
  DWORD done = 0;
  if (!WriteFile(handle_.Get(), data, length, &done, nullptr)) RaiseFileError(GetLastError());
  if (done != length) RaiseFileError(ERROR_DISK_FULL);
}

void OvFile::WriteAt(uint64_t position, const void* data, uint32_t length) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(position);
  if (!SetFilePointerEx(handle_.Get(), at, nullptr, FILE_BEGIN)) RaiseFileError(GetLastError());
  Write(data, length);
  SeekEnd();
}

void OvFile::SeekEnd() {
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(handle_.Get(), zero, nullptr, FILE_END)) RaiseFileError(GetLastError());
}

uint64_t OvFile::Position() const {
  LARGE_INTEGER zero{}, position{};
  if (!SetFilePointerEx(handle_.Get(), zero, &position, FILE_CURRENT)) RaiseFileError(GetLastError());
  return static_cast<uint64_t>(position.QuadPart);
}

void OvFile::Close() {
  if (!handle_.Valid()) return;
  if (!handle_.Reset()) RaiseFileError(GetLastError());
}
