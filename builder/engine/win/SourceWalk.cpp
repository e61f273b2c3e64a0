// Listing a folder on Windows: by wide names and wide paths, so that a name the ANSI code
// page cannot carry is seen as it is and a folder deeper than MAX_PATH can be listed.
#include "SourceWalk.h"

#include "SourceWalkHooks.h"
#include "Utf8.h"
#include "WindowsNames.h"
#include "widepath.h"
#include "winhandles.h"
#include "u_shared.h"
#include "winerrors.h"

namespace {

const FolderListing SystemListing = {FindFirstFileW, FindNextFileW};

// The name for messages and paths: '?' for what the code page lacks, no lookalikes.
std::string Narrow(const wchar_t* wide) {
  DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide, -1, &text[0], n, nullptr, nullptr);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

[[noreturn]] void RaiseListingError(DWORD code, const std::string& folder) {
  throw EBuildError("This folder could not be listed (" + FileErrorText(code) + ")\r\n\r\n" + folder);
}

uint64_t Ticks(const FILETIME& time) { return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }

// A file link is listed with the link's own size and times; what is packed is the file it
// points to, so the entry is described by that file.
void DescribeLinkTarget(const std::string& path, const std::u16string& widePath, FolderItem& item) {
  auto file = Own<FileHandleCloser>(CreateFileW(SystemWidePath(widePath).c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.get(), &info))
    throw EBuildError(FileErrorText(GetLastError()) + "\r\n\r\n" + path);
  item.attributes = info.dwFileAttributes;
  item.size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  item.writeTime = Ticks(info.ftLastWriteTime);
}

}  // namespace

std::vector<FolderItem> ListFolder(const std::string& folder, const std::u16string& wideFolder,
                                   const FolderListing* listing) {
  const FolderListing& calls = listing ? *listing : SystemListing;
  std::wstring pattern = SystemWidePath(wideFolder + u"*.*");
  WIN32_FIND_DATAW found;
  std::vector<FolderItem> items;
  auto search = Own<FindHandleCloser>(calls.First(pattern.c_str(), &found));
  if (!search) {
    DWORD code = GetLastError();
    // Only the empty root of a drive lists nothing at all, not even ".".
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return items;
    RaiseListingError(code, folder);
  }
  do {
    if (found.dwFileAttributes & AttributeVolumeLabel) continue;
    std::wstring wide = found.cFileName;
    if (wide == L"." || wide == L"..") continue;
    FolderItem item;
    item.name = Narrow(found.cFileName);
    item.unicode.assign(wide.begin(), wide.end());
    std::string utf8;
    if (!ToUtf8(item.unicode, utf8)) {
      std::u16string shown = EscapedSurrogates(item.unicode);
      item.undecodable = Narrow(std::wstring(shown.begin(), shown.end()).c_str());
    }
    item.size = uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
    item.attributes = found.dwFileAttributes;
    item.writeTime = Ticks(found.ftLastWriteTime);
    items.push_back(item);
  } while (calls.Next(search.get(), &found));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) RaiseListingError(code, folder);
  for (FolderItem& item : items) {
    // A device name is refused by its name; opening it would open the device.
    if (!(item.attributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsDeviceName(item.unicode)) continue;
    // A folder link may lead back up the tree or out of it.
    if (item.attributes & AttributeDirectory)
      item.folderLink = true;
    else
      DescribeLinkTarget(folder + item.name, wideFolder + item.unicode, item);
  }
  return items;
}
