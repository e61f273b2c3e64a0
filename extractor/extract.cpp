// The extraction engine: where the files go, whether they fit, and restoring every entry
// in file order with its time and attributes, under the chosen overwrite policy.
#include <windows.h>
#include <shlobj.h>
#include <winternl.h>
#include <sddl.h>

#include "sfxhead.h"
#include "u_bytesize.h"
#include "u_names.h"
#include "u_translations.h"
#include "window.h"

namespace {

WCHAR gTarget[PathCapacity];  // the current entry's target path
const WCHAR* gName;           // its last part, in gTarget
int gNameLength;
// Clean-up will run, so what is written is recorded with its identity.
bool gTracking;
bool gWriting;   // the current file entry goes to disk
bool gReadOnly;  // the current file entry replaces a read-only file
DWORD gReplacedAttributes;
// The file being written, under its own name or a temporary one; FinishSfx removes it.
// Both handles are null before their first use (no initial value in the file) and
// INVALID_HANDLE_VALUE after: see IsOpen.
HANDLE gTargetFile;
// An existing launch target in skip mode, read alongside the archive's content, and
// whether it matched so far.
HANDLE gExisting;
bool gSame;
uint32_t gPartNumber;
bool gDirect;  // the current file is written under its own name in a folder this run created
// Null unless the run is elevated; then what its own temporary folder and the helper file
// are created with (see GuardedSecurity). Set only around those creations.
void* gGuarded;
void* gCreateSecurity;
// In launch mode every file the run wrote is held from its verification until the launched
// program has started: open for reading, sharing reading alone, so nothing can write,
// rename or delete it meanwhile. The helper is held until the process ends, through its start.
HANDLE* gHeld;
int gHeldCount;
int gHeldCapacity;

[[noreturn]] void FailWithTarget(DWORD code) { FinishSfx(gTarget, code); }

bool IsOpen(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }

void GetTempFolder(bool withSubfolder, WCHAR (&path)[PathCapacity]) {
  path[0] = 0;
  DWORD need = GetTempPathW(0, nullptr);
  if (need == 0 || need >= PathCapacity - 32 || GetTempPathW(need, path) == 0) {
    path[0] = 0;
    return;
  }
  EnsureBackslash(path);
  // The identifier is letters and digits (checked at the start).
  if (withSubfolder) wsprintfW(path + lstrlenW(path), L"~sfx%.11hs\\", gOptions.InstanceId);
}

// The folder a shell item list names, empty for none; frees the list.
void PathOfList(LPITEMIDLIST list, WCHAR (&path)[PathCapacity]) {
  path[0] = 0;
  if (!list) return;
  if (!SHGetPathFromIDListW(list, path)) path[0] = 0;
  CoTaskMemFree(list);
}

void GetSpecialFolder(int csidl, WCHAR (&path)[PathCapacity]) {
  LPITEMIDLIST list = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK) list = nullptr;
  PathOfList(list, path);
}

// A cancelled dialog ends the run as a success that extracted nothing.
void BrowseForFolder(WCHAR (&path)[PathCapacity]) {
  // The new dialog style needs COM on this thread.
  CoInitialize(nullptr);
  // The title is ANSI text; the folder chosen is read back in UTF-16 (PathOfList).
  char displayName[MAX_PATH];
  BROWSEINFOA info{};
  info.hwndOwner = ExtractorWindowHandle();
  info.pszDisplayName = displayName;
  info.lpszTitle = ExtractToText[LanguageIndex];
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  PathOfList(SHBrowseForFolderA(&info), path);
  if (!path[0]) FinishSfx(L"", 0);
}

void ExpandCustomFolder(WCHAR (&path)[PathCapacity]) {
  path[0] = 0;
  WCHAR* custom = OptionText(false);
  // An empty custom folder would become the root of the current drive.
  if (!custom[0]) return;
  DWORD need = ExpandEnvironmentStringsW(custom, nullptr, 0);
  if (need == 0 || need >= PathCapacity - 1 || ExpandEnvironmentStringsW(custom, path, need) == 0) path[0] = 0;
}

// Large buffers of the steps before the extraction, which never overlap.
WCHAR gScratch[2][PathCapacity];

void ResolveExtractionFolder() {
  WCHAR (&folder)[PathCapacity] = gScratch[0];
  switch (gOptions.ExtractionFolder) {
    case 1:
      GetSpecialFolder(CSIDL_DESKTOPDIRECTORY, folder);
      break;
    case 2:
      GetSpecialFolder(CSIDL_PERSONAL, folder);
      break;
    case 3: {
      DWORD length = GetCurrentDirectoryW(PathCapacity - 1, folder);
      if (length == 0 || length >= PathCapacity - 1) folder[0] = 0;
      break;
    }
    case 4:
      BrowseForFolder(folder);
      break;
    case 5:
      ExpandCustomFolder(folder);
      break;
    default:
      GetTempFolder(true, folder);
      break;
  }
  if (!folder[0]) FailureGuard();
  // Before the full path is made: "C:" alone would be the current folder of drive C.
  EnsureBackslash(folder);
  DWORD length = GetFullPathNameW(folder, PathCapacity, gExtractionFolder, nullptr);
  if (length == 0 || length >= PathCapacity) FailureGuard();
  EnsureBackslash(gExtractionFolder);
}


// The volume that will hold the files answers: not the drive root's, since a folder can be
// a mount point of another volume or a link to one. The deepest folder of the path that
// exists is asked itself (the extraction folder is created only after the check), and the
// message names the volume it lies on.
void CheckFreeSpace() {
  WCHAR (&asked)[PathCapacity] = gScratch[0];
  CopyText(asked, gExtractionFolder, PathCapacity);
  ULARGE_INTEGER available;
  while (!GetDiskFreeSpaceExW(LongPath(asked), &available, nullptr, nullptr)) {
    WCHAR* cut = nullptr;
    for (WCHAR* p = asked; p[0] && p[1]; ++p)
      if (*p == '\\') cut = p + 1;
    if (!cut) return;
    *cut = 0;
  }
  int64_t freeBytes = available.QuadPart > 0x7FFFFFFFFFFFFFFFull ? 0x7FFFFFFFFFFFFFFF
                                                                  : static_cast<int64_t>(available.QuadPart);
  if (gTotalSize <= freeBytes) return;
  WCHAR (&volume)[PathCapacity] = gScratch[1];
  if (!GetVolumePathNameW(asked, volume, MAX_PATH)) CopyText(volume, asked, MAX_PATH);
  char have[ByteSizeTextCapacity], need[ByteSizeTextCapacity];
  FormatByteSize(freeBytes, have);
  FormatByteSize(gTotalSize, need);
  // wsprintfW writes at most 1024 characters: a volume shorter than MAX_PATH fits.
  WCHAR subject[1024];
  wsprintfW(subject, L"%s   [%hs < %hs]", volume, have, need);
  FinishSfx(subject, ERROR_DISK_FULL);
}

// Files and folders are opened by their name in a held folder (below), through the native
// call that takes a folder handle, and never by a path looked up again.
typedef LONG(NTAPI* CreateFileFunction)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*,
                                        ULONG, ULONG, ULONG, ULONG, void*, ULONG);
typedef LONG(NTAPI* SetInformationFunction)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
typedef ULONG(NTAPI* StatusCodeFunction)(LONG);
CreateFileFunction gCreateFile;
SetInformationFunction gSetInformation;
StatusCodeFunction gStatusCode;

constexpr LONG StatusAccessDenied = static_cast<LONG>(0xC0000022);
constexpr LONG StatusNameNotFound = static_cast<LONG>(0xC0000034);
constexpr LONG StatusNameCollision = static_cast<LONG>(0xC0000035);
constexpr LONG StatusNotADirectory = static_cast<LONG>(0xC0000103);
constexpr LONG StatusSharingViolation = static_cast<LONG>(0xC0000043);

DWORD CodeOf(LONG status) {
  DWORD code = gStatusCode(status);
  return code ? code : ERROR_HANDLE_EOF;
}

// Opens or creates `name`, one part of a path of `length` units, in `folder`. A link at
// the name is opened itself, never followed, where the system can do so (Wine follows it:
// see IsPlainIn).
LONG OpenIn(HANDLE folder, const WCHAR* name, int length, ACCESS_MASK access, ULONG share, ULONG disposition,
            ULONG options, HANDLE& handle, ULONG_PTR* result = nullptr) {
  USHORT bytes = static_cast<USHORT>(length * sizeof(WCHAR));
  UNICODE_STRING text{bytes, bytes, const_cast<WCHAR*>(name)};
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = folder;
  attributes.ObjectName = &text;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = gCreateSecurity;
  IO_STATUS_BLOCK status{};
  HANDLE opened = nullptr;
  LONG code = gCreateFile(&opened, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                          disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  handle = code >= 0 ? opened : INVALID_HANDLE_VALUE;
  if (result) *result = status.Information;
  return code;
}

// Every folder the run writes into, from the extraction folder down, is held open from its
// check until the run leaves it, with sharing that forbids deleting or renaming it: nothing
// can take its place meanwhile, and whatever is made in it is made through this handle.
struct Level {
  HANDLE handle;
  int end;       // its path is gHeldPath up to here
  int finalEnd;  // and the system's name for it gFinal up to here
  bool fresh;    // made by this run, so nothing in it predates the run
  FileId id;     // recorded when clean-up will want it
};
constexpr ACCESS_MASK FolderAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr ULONG FolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// A folder by its path, held as the levels below are: the base of a walk.
HANDLE HoldFolder(const WCHAR* path) {
  return OpenPath(path, FILE_TRAVERSE | FILE_READ_ATTRIBUTES, FolderSharing, FILE_FLAG_BACKUP_SEMANTICS);
}
// Each part of a name takes at least two of its units, with its backslash; one level more
// is the base.
Level gLevels[MaxNameUnits / 2 + 2];
int gDepth;
Level gRoot;      // the extraction folder, held for the whole extraction
bool gHelperBase;  // gLevels[0] is the temporary folder the helper goes to, not gRoot
WCHAR gHeldPath[PathCapacity];
// The system's name for the deepest held folder, as it names it through its handle. Under
// Wine a handle opened at a link is the handle of its target whatever the flags, and only
// its name tells; unknown where the system cannot name a handle (handle attributes then
// tell). Room for the base's name as long as it may be, and a path below it.
constexpr int FinalCapacity = 2 * PathCapacity + 2;
WCHAR gFinal[FinalCapacity];
bool gFinalKnown;
WCHAR gFinalOfName[FinalCapacity];

bool SameText(const WCHAR* a, const WCHAR* b, int length) {
  return CompareStringOrdinal(a, length, b, length, TRUE) == CSTR_EQUAL;
}

// True when `handle`, opened at `name` in the held folder `parent`, is what lies there and
// not a link: neither a reparse point nor, by the name the system gives it, anything but
// `name` in `parent`.
bool IsPlainIn(HANDLE handle, const Level& parent, const WCHAR* name, int length, BY_HANDLE_FILE_INFORMATION& info) {
  if (!GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  if (!gFinalKnown) return true;
  int at = parent.finalEnd;
  DWORD got = GetFinalPathNameByHandleW(handle, gFinalOfName, FinalCapacity, 0);
  return got == static_cast<DWORD>(at + 1 + length) && gFinalOfName[at] == '\\' &&
         SameText(gFinalOfName, gFinal, at) && SameText(gFinalOfName + at + 1, name, length);
}

// The system's name for the base folder, without a trailing backslash.
void NameBase(HANDLE handle) {
  DWORD got = GetFinalPathNameByHandleW(handle, gFinal, PathCapacity, 0);
  gFinalKnown = got > 0 && got < PathCapacity;
  if (gFinalKnown && gFinal[got - 1] == '\\') --got;
  gLevels[0].finalEnd = gFinalKnown ? static_cast<int>(got) : 0;
}

void LeaveLevels(int keep) {
  for (; gDepth > keep; --gDepth)
    if (gDepth > 1 || gHelperBase) CloseHandle(gLevels[gDepth - 1].handle);
}

// The extraction folder, or the user's temporary folder for the helper (not below the
// extraction folder, and never created or tracked).
void EnterBase(bool helper) {
  if (gDepth > 0 && gHelperBase == helper) return;
  LeaveLevels(0);
  gHelperBase = helper;
  Level& base = gLevels[0];
  if (helper) {
    GetTempFolder(false, gHeldPath);
    base = Level{HoldFolder(gHeldPath), 0, 0, false, FileId{}};
    if (base.handle == INVALID_HANDLE_VALUE) FailWithLastError(gTarget);
  } else {
    base = gRoot;
    CopyText(gHeldPath, gExtractionFolder, PathCapacity);
  }
  base.end = lstrlenW(gHeldPath) - 1;
  gHeldPath[base.end] = 0;
  gDepth = 1;
  NameBase(base.handle);
}

// Holds the next folder, `name` in the deepest held one: made when `create` allows and
// it is missing (and then listed when `listed`), checked when it exists. A link ends the
// run, and so does a file in its place.
void EnterPart(const WCHAR* name, int length, bool create, bool listed) {
  Level& parent = gLevels[gDepth - 1];
  int end = parent.end + 1 + length;
  gHeldPath[parent.end] = '\\';
  memcpy(gHeldPath + parent.end + 1, name, length * sizeof(WCHAR));
  gHeldPath[end] = 0;
  Level& level = gLevels[gDepth];
  ULONG_PTR result = 0;
  ULONG disposition = create ? FILE_OPEN_IF : FILE_OPEN;
  LONG status = OpenIn(parent.handle, name, length, FolderAccess, FolderSharing, disposition, FILE_DIRECTORY_FILE,
                       level.handle, &result);
  // A folder whose attributes the user may not change is still written into.
  if (status == StatusAccessDenied)
    status = OpenIn(parent.handle, name, length, FolderAccess & ~FILE_WRITE_ATTRIBUTES, FolderSharing, disposition,
                    FILE_DIRECTORY_FILE, level.handle, &result);
  if (status < 0)
    FinishSfx(gHeldPath, status == StatusNotADirectory ? ERROR_ALREADY_EXISTS
                         : status == StatusNameNotFound ? ERROR_PATH_NOT_FOUND
                                                        : CodeOf(status));
  ++gDepth;
  level.end = end;
  level.fresh = result == FILE_CREATED;
  level.id = FileId{};
  BY_HANDLE_FILE_INFORMATION info;
  if (!level.fresh) {
    if (!IsPlainIn(level.handle, parent, name, length, info)) FinishSfx(gHeldPath, ERROR_CANT_ACCESS_FILE);
    level.id = IdOf(info);
  } else if (gTracking && GetFileInformationByHandle(level.handle, &info)) {
    level.id = IdOf(info);
  }
  if (level.fresh && listed && gTracking) AddPath(gCreatedFolders, gHeldPath, level.id, FileId{});
  // The system's name for it: checked to be the parent's followed by `name`, or made so.
  level.finalEnd = parent.finalEnd + 1 + length;
  if (!gFinalKnown) return;
  gFinal[parent.finalEnd] = '\\';
  memcpy(gFinal + parent.finalEnd + 1, name, length * sizeof(WCHAR));
}

// Holds every folder from the base down to `folder` (`length` bytes of gTarget's start),
// keeping those of the previous entry that are on the way. A folder entry makes what is
// missing, listing only its own folder; a file is written only into folders that exist.
void EnterFolder(int length, bool entry) {
  const WCHAR* folder = gTarget;
  while (gDepth > 1) {
    int end = gLevels[gDepth - 1].end;
    if (end <= length && memcmp(gHeldPath, folder, end * sizeof(WCHAR)) == 0 && (end == length || folder[end] == '\\'))
      break;
    LeaveLevels(gDepth - 1);
  }
  for (int at = gLevels[gDepth - 1].end; at < length;) {
    const WCHAR* name = folder + at + 1;
    const WCHAR* p = name;
    while (p < folder + length && *p != '\\') ++p;
    at = static_cast<int>(p - folder);
    EnterPart(name, static_cast<int>(p - name), entry, entry && at >= length);
  }
}

// Opens what lies at the current file's name in its folder, if anything does, and gives
// its attributes; a link there ends the run. The caller closes the handle.
HANDLE OpenAtName(ACCESS_MASK access, ULONG options, DWORD& attributes) {
  const Level& folder = gLevels[gDepth - 1];
  HANDLE handle;
  if (OpenIn(folder.handle, gName, gNameLength, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
             FILE_OPEN, options, handle) < 0)
    return INVALID_HANDLE_VALUE;
  BY_HANDLE_FILE_INFORMATION info;
  if (!IsPlainIn(handle, folder, gName, gNameLength, info)) {
    CloseHandle(handle);
    FailWithTarget(ERROR_CANT_ACCESS_FILE);
  }
  attributes = info.dwFileAttributes;
  return handle;
}

// What lies at the current file's name: nothing (false), or a file or folder that is no
// link (true, with its attributes).
bool LookAtName(DWORD& attributes) {
  HANDLE handle = OpenAtName(FILE_READ_ATTRIBUTES, 0, attributes);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

}  // namespace

void SetBasicInformation(HANDLE handle, DWORD attributes, const FILETIME* written) {
  FILE_BASIC_INFO basic{};
  if (written) basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(written->dwHighDateTime) << 32 | written->dwLowDateTime;
  // Only what can be set; 0 would leave the attributes as they are.
  attributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
}

namespace {

// The attributes of the file the current one replaces, changed through its own handle once
// it is known to be no link, never through its path.
void SetReplacedAttributes(DWORD attributes) {
  DWORD current;
  HANDLE handle = OpenAtName(FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_NON_DIRECTORY_FILE, current);
  if (handle == INVALID_HANDLE_VALUE) return;
  SetBasicInformation(handle, attributes, nullptr);
  CloseHandle(handle);
}

void DropTarget() {
  if (!IsOpen(gTargetFile)) return;
  FILE_DISPOSITION_INFO drop{TRUE};
  SetFileInformationByHandle(gTargetFile, FileDispositionInfo, &drop, sizeof drop);
  CloseHandle(gTargetFile);
  gTargetFile = INVALID_HANDLE_VALUE;
}

// Opens the extraction folder for the whole extraction. One that exists is taken as the
// user chose it, a link included: the files go where it leads. One the run makes is made
// by its name in its parent's handle, so nothing can stand in its place meanwhile.
// `own`: the first of "~sfx<id>", "~sfx<id>1", ... that the run creates itself.
void OpenRoot(bool own) {
  WCHAR (&path)[PathCapacity] = gScratch[0];
  WCHAR (&parent)[PathCapacity] = gScratch[1];
  CopyText(path, gExtractionFolder, PathCapacity);
  int length = lstrlenW(path) - 1;
  path[length] = 0;
  WCHAR* name = path;
  for (WCHAR* p = path; *p; ++p)
    if (*p == '\\') name = p + 1;
  int nameLength = lstrlenW(name);
  CopyText(parent, path, static_cast<int>(name - path) + 1);
  gRoot = Level{INVALID_HANDLE_VALUE, 0, 0, false, FileId{}};
  if (!own) {
    // With its backslash: "C:" alone would be the current folder of drive C.
    gRoot.handle = HoldFolder(gExtractionFolder);
    DWORD code = GetLastError();
    if (gRoot.handle == INVALID_HANDLE_VALUE && (name == path || (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)))
      FinishSfx(path, code ? code : ERROR_HANDLE_EOF);
    // Missing parents are made on the way, unlisted, each folder of the path in turn (those
    // that exist, a drive or a share refuse, and the last that fails says why).
    for (WCHAR* p = parent; gRoot.handle == INVALID_HANDLE_VALUE && *p; ++p) {
      if (*p != '\\' || p == parent || p[-1] == '\\' || p[-1] == ':') continue;
      *p = 0;
      if (!CreateDirectoryW(LongPath(parent), nullptr)) code = GetLastError();
      *p = '\\';
      if (!p[1] && GetFileAttributesW(LongPath(parent)) == INVALID_FILE_ATTRIBUTES) FinishSfx(parent, code);
    }
  }
  if (gRoot.handle == INVALID_HANDLE_VALUE) {
    HANDLE above = HoldFolder(parent);
    if (above == INVALID_HANDLE_VALUE) FailWithLastError(parent);
    // Made with its rights, never given them afterwards: no moment exists in which an
    // unelevated program could open it for writing.
    gCreateSecurity = own ? gGuarded : nullptr;
    for (DWORD n = 0;; ++n) {
      if (n) wsprintfW(name + nameLength, L"%u", n);
      LONG status = OpenIn(above, name, lstrlenW(name), FolderAccess, FolderSharing, FILE_CREATE, FILE_DIRECTORY_FILE,
                           gRoot.handle);
      if (status >= 0) break;
      if (!own || status != StatusNameCollision || n == 0xFFFF)
        FinishSfx(path, status == StatusNameCollision ? ERROR_ALREADY_EXISTS : CodeOf(status));
    }
    CloseHandle(above);
    gCreateSecurity = nullptr;
    gRoot.fresh = true;
    CopyText(gExtractionFolder, path, PathCapacity);
    EnsureBackslash(gExtractionFolder);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(gRoot.handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    FinishSfx(path, ERROR_ALREADY_EXISTS);
  gRoot.id = IdOf(info);
  if (gRoot.fresh && gTracking) AddPath(gCreatedFolders, path, gRoot.id, FileId{});
}

// An elevated run, whatever made it so (the manifest, an elevated caller), must not extract
// into a temporary folder that an unelevated process could have prepared or may write: it
// extracts into the first of "~sfx<id>", "~sfx<id>1", ... that it creates as a new folder
// itself, made so that only Administrators and SYSTEM write there, the user reads and runs,
// and a high integrity label keeps lower processes from writing; what is made inside
// inherits that. Gives that security descriptor, or null for a run that is not elevated.
void* GuardedSecurity() {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) FailureGuard();
  TOKEN_ELEVATION elevation{};
  struct {
    TOKEN_USER user;
    BYTE sid[SECURITY_MAX_SID_SIZE];
  } user;
  DWORD size;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) FailureGuard();
  void* security = nullptr;
  char* sid;
  if (elevation.TokenIsElevated) {
    if (!GetTokenInformation(token, TokenUser, &user, sizeof user, &size) || !ConvertSidToStringSidA(user.user.User.Sid, &sid))
      FailureGuard();
    // A SID's text is at most 184 characters.
    static const char rights[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;", label[] = ")S:(ML;OICI;NW;;;HI)";
    char sddl[sizeof rights + 184 + sizeof label];
    size_t sidLength = strlen(sid);
    memcpy(sddl, rights, sizeof rights - 1);
    memcpy(sddl + sizeof rights - 1, sid, sidLength);
    memcpy(sddl + sizeof rights - 1 + sidLength, label, sizeof label);
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &security, nullptr)) FailureGuard();
  }
  CloseHandle(token);
  return security;
}

bool AskOverwrite(const WCHAR* target) {
  WCHAR text[256];
  SystemText(ERROR_FILE_EXISTS, text);
  // wsprintfW writes at most 1024 characters: the question after a target that long is
  // cut, and No stays the default answer.
  WCHAR message[1024];
  wsprintfW(message, L"%s\r\n%s\r\n\r\n%hs", text, target, OverwriteText[LanguageIndex]);
  return MessageBoxW(nullptr, message, nullptr, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST) == IDYES;
}

// The content goes into a new file beside its target and takes the target's name only
// once its checksum verified: a damaged entry never replaces a user's file, and a failed
// one leaves nothing behind (FinishSfx removes the part). In a folder this run created
// there is nothing of the user's to replace: there the file is written under its own
// name, sparing a rename per file (some 7 % of an extraction under Wine), and FinishSfx
// removes it all the same when it fails.
void CreatePart(bool direct) {
  const Level& folder = gLevels[gDepth - 1];
  const ACCESS_MASK access = GENERIC_WRITE | DELETE;
  gDirect = direct;
  if (direct) {
    LONG status = OpenIn(folder.handle, gName, gNameLength, access, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, gTargetFile);
    if (status >= 0) return;
    if (status != StatusNameCollision) FailWithTarget(CodeOf(status));
    // An earlier entry took the name, or another program put something there: replaced
    // only by a whole file, and never when it is a link.
    DWORD attributes;
    LookAtName(attributes);
    gDirect = false;
  }
  WCHAR part[16];
  for (int attempt = 0;; ++attempt) {
    wsprintfW(part, L"~sfx%04X.tmp", (gPartNumber++) & 0xFFFF);
    LONG status = OpenIn(folder.handle, part, lstrlenW(part), access, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, gTargetFile);
    if (status >= 0) return;
    if (status != StatusNameCollision || attempt == 0xFFFF) FailWithTarget(CodeOf(status));
  }
}

// Renames the open part over its target by the target's name in the held folder, through
// the part's own handle: one system call, and no path looked up again.
LONG RenamePart() {
  struct {
    BOOLEAN replace;
    HANDLE root;
    ULONG length;
    WCHAR name[MaxEntryNameLength + 1];
  } rename;  // FILE_RENAME_INFORMATION
  rename.replace = TRUE;
  rename.root = gLevels[gDepth - 1].handle;
  rename.length = static_cast<ULONG>(gNameLength * sizeof(WCHAR));
  memcpy(rename.name, gName, rename.length);
  IO_STATUS_BLOCK status;
  const int FileRenameInformation = 10;
  return gSetInformation(gTargetFile, &status, &rename, sizeof rename, FileRenameInformation);
}

bool BeginEntry(void*, const ArchiveEntry& header, const char* name) {
  gWriting = false;
  bool helper = header.Kind == EntryKindSelfDelete;
  // Only a self-destructing SFX file ever starts the helper, so only such a file writes it.
  if (helper && !gOptions.SelfDeleteMode) return false;
  if (helper)
    GetTempFolder(false, gTarget);
  else
    CopyText(gTarget, gExtractionFolder, PathCapacity);
  WCHAR* named = gTarget + lstrlenW(gTarget);
  // The strong layout's names are UTF-8, the default layout's in the ANSI code page; the
  // scan found every one whole. Each UTF-8 byte and each code-page byte gives at most one
  // unit, so the room is known before the conversion.
  if (named - gTarget + header.NameLength >= PathCapacity) FailWithOwnPath(ERROR_FILENAME_EXCED_RANGE);
  named[MultiByteToWideChar(gOptions.Compressed == CompressedStrong ? CP_UTF8 : CP_ACP, 0, name, header.NameLength,
                            named, header.NameLength)] = 0;
  // The name's parts are opened one by one, and a slash parts them as a backslash does.
  gName = named;
  for (WCHAR* p = named; *p; ++p) {
    if (*p == '/') *p = '\\';
    if (*p == '\\') gName = p + 1;
  }
  gNameLength = lstrlenW(gName);
  // Every part is opened by its name alone; the rename takes parts of this length.
  if (gNameLength > MaxEntryNameLength) FailWithTarget(ERROR_FILENAME_EXCED_RANGE);
  int length = lstrlenW(gTarget);
  EnterBase(helper);

  if (header.Attributes & AttributeDirectory) {
    EnterFolder(length, true);
    return false;
  }
  if (header.Kind == EntryKindLaunchTarget) CopyText(gLaunchTarget, gTarget, PathCapacity);
  if (helper) CopyText(gHelperPath, gTarget, PathCapacity);
  EnterFolder(static_cast<int>(gName - gTarget) - 1, false);

  const Level& folder = gLevels[gDepth - 1];
  DWORD attributes = 0;
  bool exists = !folder.fresh && LookAtName(attributes) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  gReadOnly = exists && (attributes & FILE_ATTRIBUTE_READONLY);
  gReplacedAttributes = attributes;
  // The helper is always written fresh: a stale or foreign file of that name in the
  // temporary folder must never be the one started. In skip mode a launch target is
  // written too, and kept only if it equals the archive's (see EndEntry): a program
  // planted in its place must never be the one started.
  gWriting = !exists || helper || gOptions.OverwriteMode == 1 ||
             (gOptions.OverwriteMode == 2 ? header.Kind == EntryKindLaunchTarget : AskOverwrite(gTarget));
  if (!gWriting) return false;
  if (exists && gOptions.OverwriteMode == 2) {
    // Held open for writing by another program, it can be neither compared nor trusted.
    if (OpenIn(folder.handle, gName, gNameLength, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
               gExisting) == StatusSharingViolation)
      FailWithTarget(ERROR_SHARING_VIOLATION);
    gSame = IsOpen(gExisting);
  }
  gCreateSecurity = helper ? gGuarded : nullptr;
  CreatePart(folder.fresh);
  gCreateSecurity = nullptr;
  return true;
}

// Reads the existing launch target alongside the archive's content.
bool SameAsExisting(const void* data, uint32_t length) {
  static uint8_t existing[32768];
  for (uint32_t done = 0; done < length;) {
    DWORD want = length - done < sizeof existing ? length - done : sizeof existing;
    DWORD got = 0;
    if (!ReadFile(gExisting, existing, want, &got, nullptr) || got != want ||
        memcmp(existing, static_cast<const uint8_t*>(data) + done, want) != 0)
      return false;
    done += want;
  }
  return true;
}

void Write(void*, const void* data, uint32_t length) {
  DWORD written = 0;
  if (!WriteFile(gTargetFile, data, length, &written, nullptr)) {
    DWORD code = GetLastError();
    FailWithTarget(code ? code : ERROR_WRITE_FAULT);
  }
  if (written != length) FailWithTarget(ERROR_WRITE_FAULT);
  if (gSame) gSame = SameAsExisting(data, length);
}

void Step(void*, uint32_t count) {
  gDoneBytes += count;
  // Without a window there is nothing to paint or keep responsive.
  if (gOptions.SilentMode) return;
  RepaintProgress();
  PumpMessages();
}

// Keeps the current file open from its verification on (see gHeld); `held` is its handle
// when one is open already. Opened only now: the handle that wrote it shared nothing, and
// a program that took it for writing in between ends the run (32), never the launch.
void Hold(bool helper, HANDLE held) {
  if (gOptions.ExtractionMode != 1 && !helper) {
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return;
  }
  if (held == INVALID_HANDLE_VALUE) {
    LONG status = OpenIn(gLevels[gDepth - 1].handle, gName, gNameLength, FILE_READ_DATA, FILE_SHARE_READ, FILE_OPEN,
                         FILE_NON_DIRECTORY_FILE, held);
    if (status < 0) FailWithTarget(CodeOf(status));
  }
  if (helper) return;
  gHeld = static_cast<HANDLE*>(Grown(gHeld, gHeldCount, gHeldCapacity, sizeof(HANDLE)));
  gHeld[gHeldCount++] = held;
}

void EndEntry(void*, const ArchiveEntry& header) {
  const Level& folder = gLevels[gDepth - 1];
  if (header.Attributes & AttributeDirectory) {
    // A new folder already carries just the directory bit: one system call per entry saved.
    if (!folder.fresh || header.Attributes != FILE_ATTRIBUTE_DIRECTORY)
      SetBasicInformation(folder.handle, header.Attributes, nullptr);
    return;
  }
  // A file the run did not write keeps its content, time and attributes.
  if (!gWriting) return;
  bool same = false;
  HANDLE existing = gExisting;
  if (IsOpen(existing)) {
    // Equal only if the existing file ends where the archive's content does.
    char extra;
    DWORD got = 1;
    same = gSame && ReadFile(existing, &extra, 1, &got, nullptr) && got == 0;
    if (!same) CloseHandle(existing);
    gExisting = INVALID_HANDLE_VALUE;
    gSame = false;
  }
  bool helper = header.Kind == EntryKindSelfDelete;
  if (same) {
    DropTarget();
    return Hold(helper, existing);
  }
  if (!gDirect) {
    // A read-only file cannot be replaced; it keeps the bit if it is not.
    if (gReadOnly) SetReplacedAttributes(gReplacedAttributes & ~FILE_ATTRIBUTE_READONLY);
    LONG status = RenamePart();
    if (status < 0) {
      if (gReadOnly) SetReplacedAttributes(gReplacedAttributes);
      FailWithTarget(CodeOf(status));
    }
  }
  FILETIME local, utc;
  bool timed = DosDateTimeToFileTime(HIWORD(header.Time), LOWORD(header.Time), &local) &&
               LocalFileTimeToFileTime(&local, &utc);
  SetBasicInformation(gTargetFile, header.Attributes, timed ? &utc : nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  // Only what this run wrote is ever cleaned up, and only while it still is that file; the
  // helper stays for its own start.
  bool listed = gTracking && !helper && GetFileInformationByHandle(gTargetFile, &info);
  CloseHandle(gTargetFile);
  gTargetFile = INVALID_HANDLE_VALUE;
  if (listed) AddPath(gExtractedFiles, gTarget, IdOf(info), folder.id);
  Hold(helper, INVALID_HANDLE_VALUE);
}

}  // namespace

void ReleaseHeld() {
  while (gHeldCount > 0) CloseHandle(gHeld[--gHeldCount]);
}

void AbandonExtraction() {
  DropTarget();
  if (IsOpen(gExisting)) CloseHandle(gExisting);
  gExisting = INVALID_HANDLE_VALUE;
  LeaveLevels(0);
  if (IsOpen(gRoot.handle)) CloseHandle(gRoot.handle);
  gRoot.handle = nullptr;
}

void ExtractEntries() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  gCreateFile = reinterpret_cast<CreateFileFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
  gSetInformation = reinterpret_cast<SetInformationFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
  gStatusCode = reinterpret_cast<StatusCodeFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (!gCreateFile || !gSetInformation || !gStatusCode) FailureGuard();
  ResolveExtractionFolder();
  CheckFreeSpace();
  gTracking = gOptions.ExtractionMode == 1 && gOptions.DeleteMode != 2;
  bool temporary = gOptions.ExtractionFolder == 0 || gOptions.ExtractionFolder > 5;
  gGuarded = GuardedSecurity();
  OpenRoot(temporary && gGuarded);
  static const RestoreSink sink{BeginEntry, Write, Step, EndEntry, nullptr, nullptr};
  uint32_t code = RestoreEntries(gArchive, gArchiveOffset, gOptions, sink);
  if (code != ArchiveOk) FinishSfx(code == ArchiveInflate ? gTarget : gOwnPath, code);
  AbandonExtraction();
}
