// Listing a folder on Linux: attributes as Wine reports the same tree to the Windows
// builder, links to files followed, links to folders flagged.
#include "SourceWalk.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>

#include "BuildErrors.h"
#include "Utf8.h"

namespace {

uint64_t FileTime(const struct timespec& time) {
  return static_cast<uint64_t>((static_cast<int64_t>(time.tv_sec) + 11644473600LL) * 10000000LL + time.tv_nsec / 100);
}

void Describe(const struct stat& status, const std::string& name, FolderItem& item) {
  bool folder = S_ISDIR(status.st_mode);
  item.attributes = folder ? 0x10 : 0x20;
  if (!(status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) item.attributes |= 0x01;
  if (name[0] == '.') item.attributes |= 0x02;
  item.size = folder ? 0 : static_cast<uint64_t>(status.st_size);
  item.writeTime = FileTime(status.st_mtim);
}

[[noreturn]] void Raise(int code, const std::string& path) {
  throw EBuildError(std::string(strerror(code)) + "\r\n\r\n" + path);
}

}  // namespace

// Linux lists by its own calls only.
std::vector<FolderItem> ListFolder(const std::string& folder, const std::u16string&, const FolderListing*) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(folder.c_str()), closedir);
  if (!listing)
    throw EBuildError("This folder could not be listed (" + std::string(strerror(errno)) + ")\r\n\r\n" + folder);
  std::vector<FolderItem> items;
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(listing.get());
    if (!entry) break;
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderItem item;
    item.name = name;
    item.unicode = Utf16(name);
    if (item.unicode.empty()) item.undecodable = EscapedUtf8(name);
    items.push_back(item);
  }
  if (errno != 0)
    throw EBuildError("This folder could not be listed (" + std::string(strerror(errno)) + ")\r\n\r\n" + folder);
  for (FolderItem& item : items) {
    std::string path = folder + item.name;
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) Raise(errno, path);
    if (S_ISLNK(status.st_mode)) {
      if (stat(path.c_str(), &status) != 0) Raise(errno, path);
      // A folder link may lead back up the tree or out of it.
      item.folderLink = S_ISDIR(status.st_mode);
    }
    if (!S_ISDIR(status.st_mode) && !S_ISREG(status.st_mode))
      throw EInputRefused("This is neither a file nor a folder (a device, a pipe or a socket)\r\n\r\n" + path);
    Describe(status, item.name, item);
  }
  return items;
}
