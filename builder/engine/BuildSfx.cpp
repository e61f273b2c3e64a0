#include "BuildSfx.h"

#include <stdio.h>

#include <stddef.h>
#include <wchar.h>

#include <algorithm>
#include <random>

#include "BuildJob.h"
#include "OVResources.h"
#include "orvex.h"
#include "ovdialogs.h"
#include "u_bytesize.h"
#include "u_shared.h"

BuildProgress* gProgress = nullptr;
bool BuildAbortFlag = false;
ResourceData SfxHeadData;
ResourceData SelfDeleteData;
ResourceData UacManifestData;
ResourceData UsageTextData;
uint64_t SfxSizeLimit = SfxSizeLimitDefault;
FolderListing gFolderListing = {FindFirstFileW, FindNextFileW};

namespace {

std::mt19937 gInstanceIds;

std::wstring Widen(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

std::string Narrow(const wchar_t* wide, DWORD flags, BOOL* usedDefault) {
  int n = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, usedDefault);
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide, -1, &text[0], n, nullptr, usedDefault);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

// The name in the ANSI code page, only when it stands for exactly the same characters:
// no default character and no lookalike (a fullwidth backslash must not become a real one).
bool ExactAnsiName(const wchar_t* wide, std::string& ansi) {
  // UTF-8 as the ANSI code page carries every name and takes neither flag.
  bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  ansi = Narrow(wide, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, utf8 ? nullptr : &usedDefault);
  return !usedDefault && !ansi.empty() && Widen(ansi) == wide;
}

// A name for the message that refuses it: '?' for what the code page lacks, no lookalikes.
std::string DisplayName(const wchar_t* wide) {
  return Narrow(wide, GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, nullptr);
}

// 0 outside the DOS dates, which Wine's conversion lets wrap round after 2107.
uint32_t DosTime(const FILETIME& written) {
  FILETIME local;
  SYSTEMTIME parts;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &parts) || parts.wYear < 1980 ||
      parts.wYear > 2107 || !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return static_cast<uint32_t>(date) << 16 | time;
}

// The folder part of a path with its final backslash; empty when there is none.
std::string FolderOf(const std::string& path) {
  const char* start = path.c_str();
  const char* lastSeparator = nullptr;
  for (const char* p = start; *p; p = CharNextA(p))
    if (*p == '\\' || *p == ':') lastSeparator = p;
  return lastSeparator ? path.substr(0, static_cast<size_t>(lastSeparator - start) + 1) : std::string();
}

// Creates the folder and every missing parent; failures show later, when the target is created.
void ForceDirectories(const std::string& folder) {
  for (const char* p = folder.c_str(); *p; p = CharNextA(p))
    if (*p == '\\' && p != folder.c_str()) CreateDirectoryA(folder.substr(0, static_cast<size_t>(p - folder.c_str())).c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
}

[[noreturn]] void RaiseListingError(DWORD code, const std::string& folder) {
  throw EBuildError("This folder could not be listed (" + FileErrorText(code) + ")\r\n\r\n" + folder);
}

// A file link is listed with the link's own size and times; what is packed is the file it
// points to, so the entry is described by that file.
void DescribeLinkTarget(const std::string& path, WIN32_FIND_DATAW& found) {
  FileHandle file(CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file.Get(), &info))
    throw EBuildError(FileErrorText(GetLastError()) + "\r\n\r\n" + path);
  found.dwFileAttributes = info.dwFileAttributes;
  found.nFileSizeHigh = info.nFileSizeHigh;
  found.nFileSizeLow = info.nFileSizeLow;
  found.ftLastWriteTime = info.ftLastWriteTime;
}

// The folder links a build did not follow, one a line after a heading; empty when none.
std::string SkippedLinksText(std::vector<std::string> links) {
  if (links.empty()) return std::string();
  std::sort(links.begin(), links.end(), [](const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_LESS_THAN;
  });
  std::string text = "These folder links were not followed:";
  for (const std::string& link : links) text += "\r\n" + link;
  return text;
}

// Copies at most capacity - 1 characters and leaves the rest of the zeroed field as it is.
template <size_t N>
void CopyField(char (&field)[N], const std::string& text) {
  size_t n = text.size() < N - 1 ? text.size() : N - 1;
  for (size_t i = 0; i < n; ++i) field[i] = text[i];
}

void WriteOptions(BuildJob& job) {
  SfxOptions options = {};
  const BuildInputs& in = job.in;
  options.ExtractionMode = in.ExtractionMode;
  options.ExtractionFolder = in.ExtractionFolder;
  CopyField(options.CmdParameters, in.CmdParameters);
  CopyField(options.CustomFolder, in.CustomFolder);
  // A reproducible id is filled in when everything it is derived from has been written.
  if (!job.reproducible) {
    std::uniform_int_distribution<uint32_t> draw(0, 2147483646);
    char id[16];
    snprintf(id, sizeof id, "%010X", draw(gInstanceIds));
    CopyField(options.InstanceId, id);
  } else {
    job.optionsPosition = job.written;
    job.contentHash = std::make_unique<Sha256>();
  }
  options.OpenFolder = in.OpenFolder;
  options.Compressed = in.Compressed;
  options.OneInstance = in.OneInstance;
  options.SilentMode = in.SilentMode;
  options.SelfDeleteMode = in.SelfDeleteMode;
  options.DeleteMode = in.DeleteMode;
  options.WorkingDirectory = in.WorkingDirectory;
  options.OverwriteMode = in.OverwriteMode;
  job.Write(&options, sizeof options);
}

// The first 31 bits of the content's digest, below 2,147,483,647 like a drawn id.
void WriteReproducibleInstanceId(BuildJob& job) {
  std::array<uint8_t, 32> digest = job.contentHash->Final();
  uint32_t value = (uint32_t{digest[0]} << 24 | uint32_t{digest[1]} << 16 | uint32_t{digest[2]} << 8 | digest[3]) &
                   0x7FFFFFFF;
  char id[16];
  snprintf(id, sizeof id, "%010X", value % 2147483647u);
  job.target.WriteAt(job.optionsPosition + offsetof(SfxOptions, InstanceId), id, 10);
}

void PrepareHeadResources(const BuildJob& job) {
  const CommandLineValues& line = gCommandLine;
  bool xcmv = line.CommandLineMode && HasSwitch("xcmv");
  std::string source = ResourceSourceFile(line.CommandLineMode, xcmv,
                                          xcmv ? PositionalParam(line.RequiredPositionals + 1) : std::string(),
                                          job.in.ExtractionMode, job.in.ExecutableFile);
  // An SFX file without the rights the user asked for would fail in ways hard to trace.
  if (!PrepareHead(job.in.Target, source, job.in.UACAutoElevation, UacManifestData))
    throw EBuildError("The elevation manifest could not be written into the SFX file\r\n\r\n" + job.in.Target);
}

}  // namespace

void SeedInstanceIds() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  std::seed_seq seed{static_cast<uint32_t>(counter.QuadPart), static_cast<uint32_t>(counter.QuadPart >> 32),
                     static_cast<uint32_t>(now.dwLowDateTime), static_cast<uint32_t>(now.dwHighDateTime)};
  gInstanceIds.seed(seed);
}

tfile::tfile(const std::string& prefix, const std::string& name, uint32_t time, uint32_t size, uint32_t attr)
    : Time(time), Size(static_cast<int32_t>(size)), Attr(attr), Name(prefix + name) {
  if (IsFolder()) Size = 0;
}

bool SameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

void BuildJob::Write(const void* data, uint32_t length) {
  if (written + length > SfxSizeLimit)
    throw EInputRefused("The SFX file would grow beyond " + std::to_string(SfxSizeLimit) +
                        " bytes, more than its extractor can read\r\n\r\n" + in.Target);
  target.Write(data, length);
  if (contentHash) contentHash->Update(data, length);
  written += length;
}

bool SourceDateEpoch(FILETIME& time) {
  const char* name = "SOURCE_DATE_EPOCH";
  SetLastError(ERROR_SUCCESS);
  char value[64];
  DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  std::string text = length < sizeof value ? std::string(value, length) : std::string(value) + "...";
  // At most 11 digits: beyond 2107 in any case, and no overflow.
  bool digits = !text.empty() && text.size() <= 11;
  for (char c : text) digits = digits && c >= '0' && c <= '9';
  uint64_t ticks = digits ? (std::stoull(text) + 11644473600ull) * 10000000ull : 0;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  if (!digits || DosTime(time) == 0)
    throw EInputRefused(std::string(name) +
                        " must be a decimal count of seconds since 1970 that falls within the dates an SFX file "
                        "can store (1980 to 2107)\r\n\r\n" + name + "=" + text);
  return true;
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

void PrepareLaunchTarget(BuildJob& job) {
  job.longSource = IncludeTrailingBackslash(FullLongPath(job.in.Source));
  if (job.in.ExtractionMode == 1) job.launchTarget = FullLongPath(job.in.ExecutableFile);
}

bool IsTarget(const BuildJob& job, const tfile& item) { return SameText(job.in.Source + item.Name, job.in.Target); }

bool IsLaunchTarget(const BuildJob& job, const tfile& item) {
  return !job.launchTarget.empty() && !item.IsFolder() && SameText(job.longSource + item.Name, job.launchTarget);
}

void CollectEntries(BuildJob& job, const std::string& prefix) {
  std::string folderPath = job.in.Source + prefix;
  // Enumerated by wide names, so a name the ANSI code page cannot carry is seen as it is.
  std::wstring pattern = Widen(folderPath + "*.*");
  WIN32_FIND_DATAW found;
  FindHandle search(gFolderListing.First(pattern.c_str(), &found));
  if (!search) {
    DWORD code = GetLastError();
    // Only the empty root of a drive lists nothing at all, not even ".".
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return;
    RaiseListingError(code, folderPath);
  }
  std::vector<WIN32_FIND_DATAW> listed;
  do {
    if (found.dwFileAttributes & AttributeVolumeLabel) continue;
    std::wstring wide = found.cFileName;
    if (wide == L"." || wide == L"..") continue;
    listed.push_back(found);
  } while (gFolderListing.Next(search.Get(), &found));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) RaiseListingError(code, folderPath);
  // The order a file system lists a folder in is its own; UTF-16 code units are the same everywhere.
  if (job.reproducible)
    std::sort(listed.begin(), listed.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
      return std::wcscmp(a.cFileName, b.cFileName) < 0;
    });
  for (WIN32_FIND_DATAW& found : listed) {
    std::string name;
    if (!ExactAnsiName(found.cFileName, name))
      throw EInputRefused("The name of this file cannot be represented in the system's code page\r\n\r\n" +
                          folderPath + DisplayName(found.cFileName));
    if (prefix.size() + name.size() > static_cast<size_t>(MaxEntryNameLength))
      throw EInputRefused("This name is longer than " + std::to_string(MaxEntryNameLength) +
                          " characters, more than an SFX file can carry\r\n\r\n" + folderPath + name);
    bool folder = (found.dwFileAttributes & AttributeDirectory) != 0;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A folder link may lead back up the tree or out of it: it is named at the end instead.
      if (folder) {
        job.skippedLinks.push_back(folderPath + name);
        continue;
      }
      DescribeLinkTarget(folderPath + name, found);
    }
    if (!folder && (found.nFileSizeHigh != 0 || found.nFileSizeLow >= 0x80000000u))
      throw EInputRefused("This file is 2 GiB or larger, too large for an SFX file\r\n\r\n" + folderPath + name);
    if (job.clampTimes && CompareFileTime(&found.ftLastWriteTime, &job.latestTime) > 0)
      found.ftLastWriteTime = job.latestTime;
    job.entries.push_back(std::make_unique<tfile>(prefix, name, DosTime(found.ftLastWriteTime), found.nFileSizeLow,
                                                  found.dwFileAttributes));
    if (folder) CollectEntries(job, prefix + name + "\\");
  }
}

bool PacksExecutableFile(const BuildInputs& inputs) {
  BuildJob job;
  job.in = inputs;
  BuildInputs& in = job.in;
  NormalizeInputs(in.Source, in.Target, in.ExecutableFile, in.CustomFolder, in.CmdParameters);
  in.ExtractionMode = 1;
  PrepareLaunchTarget(job);
  CollectEntries(job, std::string());
  for (const auto& item : job.entries)
    if (IsLaunchTarget(job, *item) && !IsTarget(job, *item)) return true;
  return false;
}

void ReportProgress(BuildJob& job, int64_t current, int64_t size) {
  if (!gProgress) return;
  int file = ProgressBarMaximum;
  if (size != 0) {
    // Rounded to the nearest, halves to even.
    int64_t scaled = ProgressBarMaximum * current;
    int64_t quotient = scaled / size, remainder = scaled % size;
    if (2 * remainder > size || (2 * remainder == size && (quotient & 1))) ++quotient;
    file = static_cast<int>(quotient);
  }
  gProgress->SetFileBar(file);
  if (job.totalSize == 0) {
    gProgress->SetTotalBar(0);
  } else {
    int64_t processed = job.doneSize + current;
    gProgress->SetTotalBar(static_cast<int>(ProgressBarMaximum * processed / job.totalSize));
    char done[ByteSizeTextCapacity], total[ByteSizeTextCapacity], text[3 * ByteSizeTextCapacity];
    FormatByteSize(processed, done);
    FormatByteSize(job.totalSize, total);
    snprintf(text, sizeof text, "%s / %s   (%d%%)", done, total, static_cast<int>(100 * processed / job.totalSize));
    gProgress->SetSizeText(text);
  }
  gProgress->ProcessMessages();
}

bool BuildSfx(const BuildInputs& inputs) {
  BuildAbortFlag = false;
  BuildJob job;
  job.in = inputs;
  BuildInputs& in = job.in;
  NormalizeInputs(in.Source, in.Target, in.ExecutableFile, in.CustomFolder, in.CmdParameters);
  if (gProgress) {
    gProgress->SetSource("Initialization...");
    gProgress->SetTarget(in.Target);
    ReportProgress(job, 0, 0);
  }
  job.clampTimes = SourceDateEpoch(job.latestTime);
  job.reproducible = job.clampTimes || gCommandLine.Reproducible;
  PrepareLaunchTarget(job);
  CollectEntries(job, std::string());
  for (const auto& item : job.entries) job.totalSize += item->Size;

  std::string folder = FolderOf(in.Target);
  if (folder.empty()) throw EBuildError("Unable to create directory");
  ForceDirectories(folder);

  // From the moment the target is created or truncated, a failure removes it: a
  // half-written SFX file must not be left looking valid. A target that could not even
  // be opened is not ours to delete.
  OvFile head(in.Target, OvFile::CreateAlways);
  try {
    head.Write(SfxHeadData.data, SfxHeadData.size);
    head.Close();
    PrepareHeadResources(job);
    job.target = OvFile(in.Target, OvFile::OpenForWrite);
    job.target.SeekEnd();
    job.written = job.target.Position();
    WriteOptions(job);
    if (in.SelfDeleteMode == 1) WriteSelfDeleteEntry(job);
    for (const auto& item : job.entries) {
      if (BuildAbortFlag) break;
      WriteEntry(job, *item);
    }
    static const uint8_t terminator[sizeof(EntryHeader)] = {};
    job.Write(terminator, sizeof terminator);
    if (job.contentHash) WriteReproducibleInstanceId(job);
    job.target.Close();
  } catch (...) {
    head.Abandon();
    job.target.Abandon();
    ForceDeleteFile(in.Target);
    throw;
  }
  job.entries.clear();

  if (BuildAbortFlag) {
    ForceDeleteFile(in.Target);
    ShowWarning("Orvex has been aborted\r\nTarget SFX file has been deleted");
    return false;
  }
  std::string skipped = SkippedLinksText(job.skippedLinks);
  if (!skipped.empty()) WriteStandardError(skipped + "\r\n");
  if (gCommandLine.ShowFinalMessage && MessagesGoToConsole())
    WriteStandardOutput(in.Target + " " + std::to_string(job.written) + " bytes\r\n");
  else if (gCommandLine.ShowFinalMessage)
    ShowInfo("The SFX file has been successfully created" + (skipped.empty() ? std::string() : "\r\n\r\n" + skipped));
  return true;
}
