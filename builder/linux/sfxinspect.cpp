#include "sfxinspect.h"

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "archive.h"

namespace {

// Names are split into parts between characters, never inside a double-byte one.
int gNameCodePage = 1252;

bool IsLeadByte(unsigned char c) {
  switch (gNameCodePage) {
    case 932:
      return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
      return c >= 0x81 && c <= 0xFE;
    default:
      return false;
  }
}

const char* NextNameChar(const char* p) { return IsLeadByte(static_cast<unsigned char>(*p)) && p[1] ? p + 2 : p + 1; }

}  // namespace

bool NameConverter::Open(int codePage) {
  char name[16];
  snprintf(name, sizeof name, "CP%d", codePage);
  iconv_t converter = iconv_open("UTF-8", name);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  if (iconv_ != reinterpret_cast<void*>(-1)) iconv_close(static_cast<iconv_t>(iconv_));
  iconv_ = converter;
  codePage_ = codePage;
  gNameCodePage = codePage;
  gNextNameChar = NextNameChar;
  return true;
}

NameConverter::~NameConverter() {
  if (iconv_ != reinterpret_cast<void*>(-1)) iconv_close(static_cast<iconv_t>(iconv_));
}

bool NameConverter::ToUtf8(const char* name, std::string& text) const {
  text.clear();
  if (iconv_ == reinterpret_cast<void*>(-1)) return false;
  iconv_t converter = static_cast<iconv_t>(iconv_);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  size_t inLeft = strlen(name);
  char* in = const_cast<char*>(name);
  std::vector<char> out(inLeft * 4 + 4);
  char* to = out.data();
  size_t outLeft = out.size();
  if (iconv(converter, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1)) return false;
  text.assign(out.data(), to);
  return true;
}

namespace {

const char* const EntryKindWords[] = {"file", "launch", "helper"};

struct SfxFile {
  int fd = -1;
  ArchiveFile archive{};
  uint64_t offset = 0;
  SfxOptions options{};
  ~SfxFile() {
    if (fd >= 0) close(fd);
  }
};

bool ReadAt(void* context, uint64_t position, void* buffer, uint32_t length) {
  int fd = *static_cast<int*>(context);
  char* to = static_cast<char*>(buffer);
  while (length > 0) {
    ssize_t got = pread(fd, to, length, static_cast<off_t>(position));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    to += got;
    position += static_cast<uint64_t>(got);
    length -= static_cast<uint32_t>(got);
  }
  return true;
}

const char* CodeText(uint32_t code) {
  switch (code) {
    case ArchiveInvalid:
      return "invalid data";
    case ArchiveChecksum:
      return "checksum error";
    case ArchiveShort:
      return "cut short";
    case ArchiveTooLarge:
      return "a chunk larger than the extractor takes";
    case ArchiveInflate:
      return "a damaged chunk";
    default:
      return "unreadable";
  }
}

// Opens the file and finds its archive; gives 0 or the status to end with, said on `err`.
int OpenSfx(const std::string& path, SfxFile& sfx, InspectStreams io) {
  sfx.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat about;
  if (sfx.fd < 0 || fstat(sfx.fd, &about) != 0) {
    io.err << path << ": " << strerror(errno) << "\n";
    return 2;
  }
  if (!S_ISREG(about.st_mode)) {
    io.err << path << ": not a file\n";
    return 2;
  }
  sfx.archive.read = ReadAt;
  sfx.archive.context = &sfx.fd;
  sfx.archive.size = static_cast<uint64_t>(about.st_size);
  uint32_t code = LocateArchive(sfx.archive, sfx.offset);
  if (code == ArchiveOk && !ReadAt(&sfx.fd, sfx.offset, &sfx.options, sizeof sfx.options)) code = ArchiveShort;
  if (code != ArchiveOk) {
    io.err << path << ": not an SFX file (no archive behind an executable head) (" << code << ")\n";
    return static_cast<int>(code);
  }
  return 0;
}

// What one scan learns; entries are handed to `show` one at a time and never kept, so a
// list of any length takes the same memory.
struct ScanState {
  explicit ScanState(const NameConverter* converter,
                     void (*shower)(void*, const EntryHeader&, const std::string&) = nullptr, void* showContext = nullptr)
      : names(converter), show(shower), context(showContext) {}
  const NameConverter* names;
  void (*show)(void* context, const EntryHeader& header, const std::string& name);
  void* context;
  size_t count = 0;
  int64_t total = 0;
  std::string launch;         // the launch target's name
  std::string unconvertible;  // the first name without UTF-8 form, as stored
};

// An entry name in UTF-8 with '/' between its parts; converted whole first, so a
// double-byte character's trail byte is never taken for a separator.
bool EntryName(const NameConverter& names, const char* stored, std::string& name) {
  bool converted = names.ToUtf8(stored, name);
  if (!converted) name = stored;
  for (char& c : name)
    if (c == '\\') c = '/';
  return converted;
}

void Collect(void* context, const EntryHeader& header, const char* name) {
  ScanState& state = *static_cast<ScanState*>(context);
  std::string text;
  if (!EntryName(*state.names, name, text) && state.unconvertible.empty()) state.unconvertible = name;
  if (header.Kind == EntryKindLaunchTarget) state.launch = text;
  ++state.count;
  state.total += header.Size;
  if (state.show) state.show(state.context, header, text);
}

// The validating pass over the whole list; gives 0 or the status to end with.
int ScanSfx(const std::string& path, SfxFile& sfx, ScanState& state, InspectStreams io) {
  int64_t total = 0;
  uint32_t code = ScanEntries(sfx.archive, sfx.offset, sfx.options, total, Collect, &state);
  if (code != ArchiveOk) {
    io.err << path << ": " << CodeText(code) << " after " << state.count << " entries (" << code << ")\n";
    return static_cast<int>(code);
  }
  return 0;
}

std::string Text(const char* field, size_t size, const NameConverter& names) {
  std::string stored(field, strnlen(field, size)), text;
  return names.ToUtf8(stored.c_str(), text) ? text : stored;
}

std::string DosTimeText(uint32_t time, char between) {
  unsigned date = time >> 16, clock = time & 0xFFFF;
  char text[32];
  snprintf(text, sizeof text, "%04u-%02u-%02u%c%02u:%02u:%02u", 1980 + (date >> 9), (date >> 5) & 15, date & 31, between,
           clock >> 11, (clock >> 5) & 63, (clock & 31) * 2);
  return text;
}

std::string AttributeLetters(uint32_t attributes) {
  std::string letters = "RHSAD";
  const uint32_t bits[] = {0x01, 0x02, 0x04, 0x20, 0x10};
  for (int i = 0; i < 5; ++i)
    if (!(attributes & bits[i])) letters[i] = '-';
  return letters;
}

std::string KindWord(const EntryHeader& h) {
  return (h.Attributes & AttributeDirectory) ? "folder" : EntryKindWords[h.Kind < 3 ? h.Kind : 0];
}

std::string Json(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

// The options in words, as (name, JSON value, text) rows.
struct OptionRow {
  const char* key;
  std::string json;
  std::string text;
};

std::vector<OptionRow> OptionRows(const SfxOptions& o, const std::string& launch, const NameConverter& names) {
  static const char* const folders[] = {"temporary", "desktop", "documents", "current", "browse", "custom"};
  static const char* const folderTexts[] = {"the temporary folder", "the desktop", "the documents folder",
                                            "the current folder", "a folder the user chooses", "a custom folder"};
  static const char* const workingDirectories[] = {"extraction folder", "folder of the SFX file", "current folder"};
  static const char* const overwrites[] = {"ask", "overwrite", "skip"};
  static const char* const deletes[] = {"at once", "at restart", "never"};
  auto pick = [](const char* const* words, uint8_t code, size_t count) { return words[code < count ? code : 0]; };
  auto yes = [](uint8_t flag) { return std::string(flag ? "true" : "false"); };
  std::string custom = Text(o.CustomFolder, sizeof o.CustomFolder, names);
  std::string parameters = Text(o.CmdParameters, sizeof o.CmdParameters, names);
  std::string id = Text(o.InstanceId, sizeof o.InstanceId, names);
  uint8_t folder = o.ExtractionFolder <= 5 ? o.ExtractionFolder : 0;
  std::string where = folderTexts[folder];
  if (folder == 0) where += " (~sfx" + id + ")";
  if (folder == 5) where += " " + custom;
  bool launching = o.ExtractionMode == 1;
  const char* workDir = pick(workingDirectories, o.WorkingDirectory, 3);
  return {
      {"extractionFolder", Json(folders[folder]), where},
      {"customFolder", Json(custom), ""},
      {"mode", Json(launching ? "launch" : "extract"),
       launching ? "launch " + launch + (parameters.empty() ? "" : " " + parameters) + " in the " + workDir
                 : std::string("extract only") + (o.OpenFolder ? ", then open the folder" : "")},
      {"launchTarget", launch.empty() ? "null" : Json(launch), ""},
      {"parameters", Json(parameters), ""},
      {"workingDirectory", Json(workDir), ""},
      {"openFolder", yes(o.OpenFolder), ""},
      {"overwrite", Json(pick(overwrites, o.OverwriteMode, 3)), pick(overwrites, o.OverwriteMode, 3)},
      {"delete", Json(pick(deletes, o.DeleteMode, 3)), launching ? pick(deletes, o.DeleteMode, 3) : ""},
      {"selfDelete", yes(o.SelfDeleteMode), o.SelfDeleteMode ? "yes" : "no"},
      {"silent", yes(o.SilentMode), o.SilentMode ? "yes" : "no"},
      {"oneInstance", yes(o.OneInstance), o.OneInstance ? "yes" : "no"},
      {"instanceId", Json(id), id},
      {"compressed", yes(o.Compressed), ""},
  };
}

struct JsonList {
  std::ostream& out;
  bool any = false;
};

void ShowJson(void* context, const EntryHeader& h, const std::string& name) {
  JsonList& list = *static_cast<JsonList*>(context);
  std::ostream& out = list.out;
  out << (list.any ? ",\n  " : "\n  ") << "{\"kind\": " << Json(KindWord(h)) << ", \"size\": " << h.Size
      << ", \"time\": " << Json(DosTimeText(h.Time, 'T')) << ", \"attributes\": " << Json(AttributeLetters(h.Attributes)) << ", \"name\": " << Json(name) << "}";
  list.any = true;
}

void ShowLine(void* context, const EntryHeader& h, const std::string& name) {
  char line[96];
  snprintf(line, sizeof line, "%-7s %12d  %s  %s  ", KindWord(h).c_str(), h.Size, DosTimeText(h.Time, ' ').c_str(),
           AttributeLetters(h.Attributes).c_str());
  *static_cast<std::ostream*>(context) << line << name << "\n";
}

}  // namespace

// Two scans: the first finds the launch target that the options name, the second shows
// the entries.
int ListSfx(const std::string& path, const NameConverter& names, bool json, InspectStreams io) {
  SfxFile sfx;
  if (int status = OpenSfx(path, sfx, io)) return status;
  ScanState first(&names);
  int status = ScanSfx(path, sfx, first, io);
  std::vector<OptionRow> rows = OptionRows(sfx.options, first.launch, names);
  JsonList list{io.out};
  ScanState second(&names, json ? ShowJson : ShowLine, json ? static_cast<void*>(&list) : &io.out);
  if (json) {
    io.out << "{\"file\": " << Json(path) << ", \"status\": " << status << ", \"options\": {";
    for (size_t i = 0; i < rows.size(); ++i) io.out << (i ? ", " : "") << Json(rows[i].key) << ": " << rows[i].json;
    io.out << "}, \"entries\": [";
    ScanSfx(path, sfx, second, io);
    io.out << "]}\n";
    return status;
  }
  for (const OptionRow& row : rows)
    if (!row.text.empty()) io.out << row.key << ": " << row.text << "\n";
  io.out << "\n";
  ScanSfx(path, sfx, second, io);
  io.out << second.count << " entries, " << second.total << " bytes\n";
  return status;
}

namespace {

struct TestState {
  const NameConverter* names;
  std::ostream* out;
  size_t damaged = 0;
};

bool Examine(void*, const EntryHeader&, const char*) { return false; }
void NoWrite(void*, const void*, uint32_t) {}
void NoStep(void*, uint32_t) {}
void NoEnd(void*, const EntryHeader&) {}

bool ReportDamage(void* context, const EntryHeader&, const char* name, uint32_t code) {
  TestState& state = *static_cast<TestState*>(context);
  std::string text;
  EntryName(*state.names, name, text);
  *state.out << "damaged: " << text << ": " << CodeText(code) << " (" << code << ")\n";
  ++state.damaged;
  return true;
}

}  // namespace

int TestSfx(const std::string& path, const NameConverter& names, InspectStreams io) {
  SfxFile sfx;
  if (int status = OpenSfx(path, sfx, io)) return status;
  ScanState scan(&names);
  if (int status = ScanSfx(path, sfx, scan, io)) return status;
  TestState state{&names, &io.out};
  RestoreSink sink{Examine, NoWrite, NoStep, NoEnd, &state, ReportDamage};
  uint32_t code = RestoreEntries(sfx.archive, sfx.offset, sfx.options, sink);
  if (code == ArchiveOk) {
    io.out << path << ": " << scan.count << " entries, all whole\n";
  } else {
    io.out << path << ": " << state.damaged << " of " << scan.count << " entries damaged\n";
  }
  return static_cast<int>(code);
}

namespace {

// Ends an extraction from inside the reader's callbacks, its message said.
struct Stop {
  int status;
};

class Extraction {
 public:
  Extraction(int root, const NameConverter& names, bool overwrite, InspectStreams io)
      : root_(root), names_(names), overwrite_(overwrite), io_(io), mask_(umask(0)) {
    umask(mask_);  // read once: only fchmod needs it, open applies it itself
  }
  ~Extraction() { Discard(); }

  size_t kept = 0;

  bool Begin(const EntryHeader& header, const char* stored) {
    if (header.Kind == EntryKindSelfDelete) return false;  // the helper is the extractor's own
    EntryName(names_, stored, name_);
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
      size_t end = name_.find('/', start);
      parts.push_back(name_.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    bool folder = (header.Attributes & AttributeDirectory) != 0;
    folder_ = OpenFolders(parts, folder ? parts.size() : parts.size() - 1);
    if (folder) {
      close(folder_);
      folder_ = -1;
      return false;
    }
    last_ = parts.back();
    struct stat existing;
    if (fstatat(folder_, last_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(existing.st_mode)) Fail("a folder stands where the file goes");
      if (!overwrite_) {
        io_.err << name_ << ": exists, kept (-o replaces it)\n";
        ++kept;
        close(folder_);
        folder_ = -1;
        return false;
      }
    }
    // Written under a name of its own, and renamed over the target once verified; the
    // rename replaces a link standing there, never what it points to.
    for (int attempt = 0; file_ < 0; ++attempt) {
      part_ = ".orvex-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".part";
      file_ = openat(folder_, part_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (file_ < 0 && (errno != EEXIST || attempt > 1000)) Fail(strerror(errno));
    }
    return true;
  }

  void Write(const void* data, uint32_t length) {
    const char* from = static_cast<const char*>(data);
    while (length > 0) {
      ssize_t written = write(file_, from, length);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) Fail(strerror(written < 0 ? errno : ENOSPC));
      from += written;
      length -= static_cast<uint32_t>(written);
    }
  }

  void End(const EntryHeader& header) {
    if (file_ < 0) return;
    unsigned date = header.Time >> 16, clock = header.Time & 0xFFFF;
    struct tm local {};
    local.tm_year = 80 + static_cast<int>(date >> 9);
    local.tm_mon = static_cast<int>((date >> 5) & 15) - 1;
    local.tm_mday = static_cast<int>(date & 31);
    local.tm_hour = static_cast<int>(clock >> 11);
    local.tm_min = static_cast<int>((clock >> 5) & 63);
    local.tm_sec = static_cast<int>(clock & 31) * 2;
    local.tm_isdst = -1;
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = mktime(&local);
    times[1].tv_nsec = 0;
    mode_t mode = ((header.Attributes & 0x01) ? 0444 : 0666) & ~mask_;
    if (futimens(file_, times) != 0 || fchmod(file_, mode) != 0 || close(file_) != 0) {
      file_ = -1;
      Fail(strerror(errno));
    }
    file_ = -1;
    if (renameat(folder_, part_.c_str(), folder_, last_.c_str()) != 0) Fail(strerror(errno));
    part_.clear();
    close(folder_);
    folder_ = -1;
  }

  // Removes the part of a file that did not verify.
  void Discard() {
    if (file_ >= 0) close(file_);
    if (!part_.empty()) unlinkat(folder_, part_.c_str(), 0);
    if (folder_ >= 0) close(folder_);
    file_ = folder_ = -1;
    part_.clear();
  }

 private:
  [[noreturn]] void Fail(const std::string& why) {
    io_.err << name_ << ": " << why << "\n";
    throw Stop{1};
  }

  // Opens the first `count` parts below the root as folders, creating missing ones, and
  // never through a link.
  int OpenFolders(const std::vector<std::string>& parts, size_t count) {
    int folder = dup(root_);
    for (size_t i = 0; i < count; ++i) {
      if (mkdirat(folder, parts[i].c_str(), 0777) != 0 && errno != EEXIST) Fail(strerror(errno));
      int next = openat(folder, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      close(folder);
      if (next < 0) Fail(errno == ELOOP || errno == ENOTDIR ? "a link or a file stands where a folder goes" : strerror(errno));
      folder = next;
    }
    return folder;
  }

  int root_;
  const NameConverter& names_;
  bool overwrite_;
  InspectStreams io_;
  mode_t mask_;
  std::string name_, last_, part_;
  int folder_ = -1;
  int file_ = -1;
};

bool ExtractBegin(void* context, const EntryHeader& header, const char* name) {
  return static_cast<Extraction*>(context)->Begin(header, name);
}
void ExtractWrite(void* context, const void* data, uint32_t length) {
  static_cast<Extraction*>(context)->Write(data, length);
}
void ExtractEnd(void* context, const EntryHeader& header) { static_cast<Extraction*>(context)->End(header); }

}  // namespace

int ExtractSfx(const std::string& path, const std::string& folder, const NameConverter& names, bool overwrite,
               InspectStreams io) {
  SfxFile sfx;
  if (int status = OpenSfx(path, sfx, io)) return status;
  ScanState scan(&names);
  if (int status = ScanSfx(path, sfx, scan, io)) return status;
  if (!scan.unconvertible.empty()) {
    io.err << path << ": a name has no character in code page " << names.CodePage() << " (-cpNNNN names another)\n";
    return 2;
  }
  mkdir(folder.c_str(), 0777);
  int root = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    io.err << folder << ": " << strerror(errno) << "\n";
    return 2;
  }
  uint32_t code;
  size_t kept = 0;
  try {
    Extraction extraction(root, names, overwrite, io);
    RestoreSink sink{ExtractBegin, ExtractWrite, NoStep, ExtractEnd, &extraction, nullptr};
    code = RestoreEntries(sfx.archive, sfx.offset, sfx.options, sink);
    kept = extraction.kept;
  } catch (const Stop& stop) {
    close(root);
    return stop.status;
  }
  close(root);
  if (code != ArchiveOk) {
    io.err << path << ": " << CodeText(code) << " (" << code << ")\n";
    return static_cast<int>(code);
  }
  if (kept) {
    io.err << kept << " existing files kept\n";
    return 2;
  }
  return 0;
}
