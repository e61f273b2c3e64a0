#include "sfxinspect.h"

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "OVResourceEditor.h"
#include "OptionTable.h"
#include "archive.h"
#include "posix/CodePageCharset.h"

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
  iconv_t converter = iconv_open("UTF-32LE", CodePageCharset(static_cast<uint32_t>(codePage)).c_str());
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

// Stored bytes and what they stand for; no code points for a byte with no character.
struct NameConverter::Piece {
  size_t at, length;
  std::u32string codes;
};

bool NameConverter::Codes(const char* stored, size_t length, std::u32string& codes) const {
  codes.clear();
  if (iconv_ == reinterpret_cast<void*>(-1)) return false;
  iconv_t converter = static_cast<iconv_t>(iconv_);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  std::vector<unsigned char> out(length * 8 + 16);
  char* in = const_cast<char*>(stored);
  char* to = reinterpret_cast<char*>(out.data());
  size_t inLeft = length, outLeft = out.size();
  if (iconv(converter, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) ||
      iconv(converter, nullptr, nullptr, &to, &outLeft) == static_cast<size_t>(-1))
    return false;
  for (const unsigned char* c = out.data(); c + 4 <= reinterpret_cast<unsigned char*>(to); c += 4)
    codes += static_cast<char32_t>(c[0] | c[1] << 8 | c[2] << 16 | static_cast<uint32_t>(c[3]) << 24);
  return true;
}

namespace {

// Characters that would act on a terminal, or change what it shows around them.
bool Hidden(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x61C || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendHex(std::string& out, const std::string& bytes, const char* before) {
  static const char digits[] = "0123456789ABCDEF";
  for (unsigned char c : bytes) {
    out += before;
    out += digits[c >> 4];
    out += digits[c & 15];
  }
}

}  // namespace

// The whole text at once when it converts and hides nothing (the usual case); else
// character by character, so each character keeps its stored bytes.
void NameConverter::Pieces(const std::string& stored, std::vector<Piece>& pieces) const {
  pieces.clear();
  std::u32string codes;
  if (stored.empty()) return;  // no piece, which would read as a byte without a character
  if (Codes(stored.data(), stored.size(), codes) && std::none_of(codes.begin(), codes.end(), Hidden)) {
    pieces.push_back({0, stored.size(), codes});
    return;
  }
  for (size_t at = 0; at < stored.size();) {
    size_t length = 1;
    // A lead byte waits for its trail byte (EINVAL); a byte that starts no character ends
    // the search (EILSEQ).
    while (!Codes(stored.data() + at, length, codes) && errno == EINVAL && length < 4 && at + length < stored.size())
      ++length;
    if (codes.empty()) length = 1;
    pieces.push_back({at, length, codes});
    at += length;
  }
}

bool NameConverter::ToUtf8(const std::string& stored, std::string& text) const {
  text.clear();
  std::u32string codes;
  if (!Codes(stored.data(), stored.size(), codes)) return false;
  for (char32_t c : codes) AppendUtf8(text, c);
  return true;
}

std::string NameConverter::Shown(const std::string& stored, bool name) const {
  std::vector<Piece> pieces;
  Pieces(stored, pieces);
  std::string text;
  for (const Piece& piece : pieces) {
    if (piece.codes.empty() || std::any_of(piece.codes.begin(), piece.codes.end(), Hidden)) {
      AppendHex(text, stored.substr(piece.at, piece.length), "\\x");
      continue;
    }
    for (char32_t c : piece.codes) AppendUtf8(text, name && c == '\\' ? U'/' : c);
  }
  return text;
}

std::string NameConverter::Json(const std::string& stored, bool& lossy, bool name) const {
  std::vector<Piece> pieces;
  Pieces(stored, pieces);
  std::string quoted = "\"";
  lossy = false;
  for (const Piece& piece : pieces) {
    if (piece.codes.empty()) {
      quoted += "\\ufffd";
      lossy = true;
    }
    for (char32_t c : piece.codes) {
      if (c == '"' || (c == '\\' && !name)) {
        quoted += '\\';
        quoted += static_cast<char>(c);
      } else if (c == '\\') {
        quoted += '/';
      } else if (Hidden(c)) {
        char escape[8];
        snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
        quoted += escape;
      } else {
        AppendUtf8(quoted, c);
      }
    }
  }
  return quoted + "\"";
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
      return "a chunk, block, dictionary or directory larger than the extractor takes";
    case ArchiveInflate:
      return "a damaged chunk, block or directory";
    default:
      return "unreadable";
  }
}

// Paths as Linux spells them, for messages and the JSON.
const NameConverter& LocalNames() {
  static NameConverter utf8;
  static bool opened = utf8.Open(65001);
  (void)opened;
  return utf8;
}

std::string Shown(const std::string& path) { return LocalNames().Shown(path); }

// Opens the file and finds its archive; gives 0 or the status to end with, said on `err`.
// A fifo or a device is refused without waiting for a writer or touching it further.
int OpenSfx(const std::string& path, SfxFile& sfx, InspectStreams io) {
  sfx.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat about;
  if (sfx.fd < 0 || fstat(sfx.fd, &about) != 0) {
    io.err << Shown(path) << ": " << strerror(errno) << "\n";
    return 2;
  }
  if (!S_ISREG(about.st_mode)) {
    io.err << Shown(path) << ": not a file\n";
    return 2;
  }
  sfx.archive.read = ReadAt;
  sfx.archive.context = &sfx.fd;
  sfx.archive.size = static_cast<uint64_t>(about.st_size);
  uint32_t code = LocateArchive(sfx.archive, sfx.offset);
  if (code == ArchiveOk && !ReadAt(&sfx.fd, sfx.offset, &sfx.options, sizeof sfx.options)) code = ArchiveShort;
  if (code != ArchiveOk) {
    io.err << Shown(path) << ": not an SFX file (no archive behind an executable head) (" << code << ")\n";
    return static_cast<int>(code);
  }
  return 0;
}

// The level the head's manifest asks Windows for; empty without one (a head of an older
// build, or one too large to be an extractor).
std::string ElevationLevel(SfxFile& sfx) {
  ResourceEditor editor;
  std::string head(static_cast<size_t>(std::min<uint64_t>(sfx.offset, 64 << 20)), '\0');
  if (head.size() != sfx.offset || !ReadAt(&sfx.fd, 0, &head[0], static_cast<uint32_t>(head.size())) ||
      !editor.Load(head))
    return std::string();
  const Resource* manifest = editor.FindAnyLanguage(ResourceName::Number(kManifestType), ResourceName::Number(1));
  static const std::string kLevel = "requestedExecutionLevel level=\"";
  size_t at = manifest ? manifest->data.find(kLevel) : std::string::npos;
  size_t end = at == std::string::npos ? at : manifest->data.find('"', at + kLevel.size());
  return end == std::string::npos ? std::string() : manifest->data.substr(at + kLevel.size(), end - at - kLevel.size());
}

// What one scan learns; entries are handed to `show` one at a time and never kept, so a
// list of any length takes the same memory.
struct ScanState {
  explicit ScanState(const NameConverter* converter,
                     void (*shower)(void*, const ArchiveEntry&, const std::string&) = nullptr, void* showContext = nullptr)
      : names(converter), show(shower), context(showContext) {}
  const NameConverter* names;
  void (*show)(void* context, const ArchiveEntry& header, const std::string& stored);
  void* context;
  size_t count = 0;
  int64_t total = 0;
  std::string launch;  // the launch target's name, as stored
  bool unconvertible = false;  // a name without UTF-8 form
};

void Collect(void* context, const ArchiveEntry& header, const char* name) {
  ScanState& state = *static_cast<ScanState*>(context);
  std::string text;
  if (!state.names->ToUtf8(name, text)) state.unconvertible = true;
  if (header.Kind == EntryKindLaunchTarget) state.launch = name;
  ++state.count;
  state.total += header.Size;
  if (state.show) state.show(state.context, header, name);
}

// The strong layout's header, when the file has one.
bool ReadStrongHeader(const SfxFile& sfx, StrongHeader& header) {
  return sfx.options.Compressed == CompressedStrong &&
         ReadAt(const_cast<int*>(&sfx.fd), sfx.offset + sizeof(SfxOptions), &header, sizeof header) &&
         memcmp(header.Magic, StrongMagic, sizeof header.Magic) == 0;
}

// The validating pass over the whole list; gives 0 or the status to end with.
int ScanSfx(const std::string& path, SfxFile& sfx, ScanState& state, InspectStreams io) {
  int64_t total = 0;
  uint32_t code = ScanEntries(sfx.archive, sfx.offset, sfx.options, total, Collect, &state);
  StrongHeader header;
  if (code == ArchiveInvalid && ReadStrongHeader(sfx, header) && header.Version != StrongVersion) {
    io.err << Shown(path) << ": the strong layout of version " << int(header.Version) << ", which this orvex does not read"
           << " (it reads version " << int(StrongVersion) << ") (" << code << ")\n";
    return static_cast<int>(code);
  }
  if (code != ArchiveOk) {
    io.err << Shown(path) << ": " << CodeText(code) << " after " << state.count << " entries (" << code << ")\n";
    return static_cast<int>(code);
  }
  return 0;
}

std::string Stored(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

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

std::string KindWord(const ArchiveEntry& h) {
  return (h.Attributes & AttributeDirectory) ? "folder" : EntryKindWords[h.Kind < 3 ? h.Kind : 0];
}

// The program's own words, which need no escaping.
std::string Json(const std::string& word) { return "\"" + word + "\""; }

// `"key": value`, and for a text with a byte that has no character, its stored bytes.
std::string JsonMember(const std::string& key, const std::string& stored, const NameConverter& names,
                       bool name = false) {
  bool lossy = false;
  std::string member = Json(key) + ": " + names.Json(stored, lossy, name);
  if (lossy) {
    member += ", " + Json(key + "Bytes") + ": \"";
    AppendHex(member, stored, "");
    member += "\"";
  }
  return member;
}

// The options in words, as (JSON members, text) rows.
struct OptionRow {
  const char* key;
  std::string json;
  std::string text;
};

// The code the record keeps of an option, and the option table's words for it.
struct KeptCode {
  KeptCode(const SfxOptions& o, uint8_t BuildInputs::*field)
      : option(CodedOptionOf(field)),
        code(option.CodeOf(reinterpret_cast<const uint8_t*>(&o)[option.record.offset])),
        words(option.codes[code]) {}
  // True or false for an option that is on or off, else its word.
  std::string JsonValue() const { return option.IsOnOff() ? words.json : Json(words.json); }
  const CodedOption& option;
  uint8_t code;
  const OptionCode& words;
};

// The layout's name, and for the strong layout its block and dictionary sizes.
OptionRow LayoutRow(const SfxFile& sfx) {
  StrongHeader h;
  if (!ReadStrongHeader(sfx, h))
    return {"layout", "\"layout\": " + Json(sfx.options.Compressed ? "deflate" : "stored"),
            sfx.options.Compressed ? "deflate" : "stored"};
  uint32_t dictionary;
  memcpy(&dictionary, h.LzmaProperties + 1, sizeof dictionary);
  std::string sizes = std::to_string(h.BlockSize) + ", \"dictionary\": " + std::to_string(dictionary);
  return {"layout", "\"layout\": \"strong\", \"blockSize\": " + sizes,
          "strong (LZMA), blocks of " + std::to_string(h.BlockSize) + " bytes, dictionary of " +
              std::to_string(dictionary) + " bytes"};
}

// Entry names of the strong layout are UTF-8 whatever -cp says; its other texts, and
// all of the default layout's, are in the code page.
const NameConverter& EntryNames(const SfxFile& sfx, const NameConverter& names) {
  return sfx.options.Compressed == CompressedStrong ? LocalNames() : names;
}

std::vector<OptionRow> OptionRows(const SfxOptions& o, const std::string& launch, const NameConverter& names,
                                  const NameConverter& entryNames) {
  const KeptCode mode(o, &BuildInputs::ExtractionMode), folder(o, &BuildInputs::ExtractionFolder),
      open(o, &BuildInputs::OpenFolder), workDir(o, &BuildInputs::WorkingDirectory),
      overwrite(o, &BuildInputs::OverwriteMode), deletion(o, &BuildInputs::DeleteMode),
      selfDelete(o, &BuildInputs::SelfDeleteMode), silent(o, &BuildInputs::SilentMode),
      oneInstance(o, &BuildInputs::OneInstance);
  auto word = [](const char* key, const std::string& value) { return Json(key) + ": " + value; };
  auto row = [&](const char* key, const KeptCode& kept, const std::string& text) {
    return OptionRow{key, word(key, kept.JsonValue()), text};
  };
  // A strong archive's own texts, which the scan read, are UTF-8 like its names; the
  // record's are in the code page.
  const bool carried = o.Compressed == CompressedStrong && gArchiveTexts.carried;
  const NameConverter& texts = carried ? entryNames : names;
  std::string custom = carried ? gArchiveTexts.customFolder : Stored(o.CustomFolder, sizeof o.CustomFolder);
  std::string parameters = carried ? gArchiveTexts.parameters : Stored(o.CmdParameters, sizeof o.CmdParameters);
  std::string id = Stored(o.InstanceId, sizeof o.InstanceId);
  std::string where = folder.words.listed;
  if (folder.code == 0) where += " (~sfx" + names.Shown(id) + ")";
  if (folder.code == 5) where += " " + texts.Shown(custom);
  bool launching = mode.code == 1;
  std::string done = mode.words.listed;
  if (launching)
    done += " " + entryNames.Shown(launch, true) + (parameters.empty() ? "" : " " + texts.Shown(parameters)) + " in the " +
            workDir.words.listed;
  else if (open.code)
    done += std::string(", ") + open.words.listed;
  return {
      row("extractionFolder", folder, where),
      {"customFolder", JsonMember("customFolder", custom, texts), ""},
      row("mode", mode, done),
      {"launchTarget", launch.empty() ? word("launchTarget", "null") : JsonMember("launchTarget", launch, entryNames, true),
       ""},
      {"parameters", JsonMember("parameters", parameters, texts), ""},
      row("workingDirectory", workDir, ""),
      row("openFolder", open, ""),
      row("overwrite", overwrite, overwrite.words.listed),
      row("delete", deletion, launching ? deletion.words.listed : ""),
      row("selfDelete", selfDelete, selfDelete.words.listed),
      row("silent", silent, silent.words.listed),
      row("oneInstance", oneInstance, oneInstance.words.listed),
      {"instanceId", JsonMember("instanceId", id, names), names.Shown(id)},
      {"compressed", word("compressed", o.Compressed ? "true" : "false"), ""},
  };
}

struct EntryList {
  std::ostream& out;
  const NameConverter& names;
  bool any = false;
  std::vector<std::string> stored;  // the names so far, for the copies to name their originals
};

void ShowJson(void* context, const ArchiveEntry& h, const std::string& stored) {
  EntryList& list = *static_cast<EntryList*>(context);
  list.out << (list.any ? ",\n  " : "\n  ") << "{\"kind\": " << Json(KindWord(h)) << ", \"size\": " << h.Size
           << ", \"time\": " << Json(DosTimeText(h.Time, 'T')) << ", \"attributes\": " << Json(AttributeLetters(h.Attributes))
           << ", " << JsonMember("name", stored, list.names, true);
  // The index in "entries" of the entry whose content a copy repeats.
  if (h.CopyOf) list.out << ", \"copyOf\": " << h.CopyOf - 1;
  list.out << "}";
  list.any = true;
}

void ShowLine(void* context, const ArchiveEntry& h, const std::string& stored) {
  EntryList& list = *static_cast<EntryList*>(context);
  char line[96];
  snprintf(line, sizeof line, "%-7s %12llu  %s  %s  ", KindWord(h).c_str(), static_cast<unsigned long long>(h.Size),
           DosTimeText(h.Time, ' ').c_str(), AttributeLetters(h.Attributes).c_str());
  list.out << line << list.names.Shown(stored, true);
  // The scan accepted only copies of earlier entries.
  if (h.CopyOf) list.out << " (stored once, with " << list.names.Shown(list.stored[h.CopyOf - 1], true) << ")";
  list.out << "\n";
  list.stored.push_back(stored);
}

}  // namespace

// Two scans: the first checks the list and finds the launch target that the options
// name, the second shows the entries.
int ListSfx(const std::string& path, const NameConverter& names, bool json, InspectStreams io) {
  SfxFile sfx;
  if (int status = OpenSfx(path, sfx, io)) return status;
  const NameConverter& entryNames = EntryNames(sfx, names);
  ScanState first(&entryNames);
  if (int status = ScanSfx(path, sfx, first, io)) return status;
  std::vector<OptionRow> rows = OptionRows(sfx.options, first.launch, names, entryNames);
  rows.push_back(LayoutRow(sfx));
  std::string level = ElevationLevel(sfx);
  rows.push_back({"elevation", Json("elevation") + ": " + (level.empty() ? "null" : Json(level)),
                  level.empty() ? "no manifest" : level});
  EntryList list{io.out, entryNames, false, {}};
  ScanState second(&entryNames, json ? ShowJson : ShowLine, &list);
  int status;
  if (json) {
    // Only a list the scan accepted is shown, so its status is 0.
    io.out << "{" << JsonMember("file", path, LocalNames()) << ", \"status\": 0, \"options\": {";
    for (size_t i = 0; i < rows.size(); ++i) io.out << (i ? ", " : "") << rows[i].json;
    io.out << "}, \"entries\": [";
    status = ScanSfx(path, sfx, second, io);
    io.out << "]}\n";
    return status;
  }
  for (const OptionRow& row : rows)
    if (!row.text.empty()) io.out << row.key << ": " << row.text << "\n";
  io.out << "\n";
  status = ScanSfx(path, sfx, second, io);
  io.out << second.count << " entries, " << second.total << " bytes\n";
  return status;
}

namespace {

struct TestState {
  const NameConverter* names;
  std::ostream* out;
  size_t damaged = 0;
};

bool Examine(void*, const ArchiveEntry&, const char*) { return false; }
void NoWrite(void*, const void*, uint32_t) {}
void NoStep(void*, uint32_t) {}
void NoEnd(void*, const ArchiveEntry&) {}

bool ReportDamage(void* context, const ArchiveEntry&, const char* name, uint32_t code) {
  TestState& state = *static_cast<TestState*>(context);
  *state.out << "damaged: " << state.names->Shown(name, true) << ": " << CodeText(code) << " (" << code << ")\n";
  ++state.damaged;
  return true;
}

}  // namespace

int TestSfx(const std::string& path, const NameConverter& names, InspectStreams io) {
  SfxFile sfx;
  if (int status = OpenSfx(path, sfx, io)) return status;
  const NameConverter& entryNames = EntryNames(sfx, names);
  ScanState scan(&entryNames);
  if (int status = ScanSfx(path, sfx, scan, io)) return status;
  TestState state{&entryNames, &io.out};
  RestoreSink sink{Examine, NoWrite, NoStep, NoEnd, &state, ReportDamage};
  uint32_t code = RestoreEntries(sfx.archive, sfx.offset, sfx.options, sink);
  if (code == ArchiveOk) {
    io.out << Shown(path) << ": " << scan.count << " entries, all whole\n";
  } else {
    io.out << Shown(path) << ": " << state.damaged << " of " << scan.count << " entries damaged\n";
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

  bool Begin(const ArchiveEntry& header, const char* stored) {
    if (header.Kind == EntryKindSelfDelete) return false;  // the helper is the extractor's own
    // Converted whole, so a double-byte character's trail byte is never taken for a
    // separator; the scan refused every name that does not convert.
    names_.ToUtf8(stored, name_);
    for (char& c : name_)
      if (c == '\\') c = '/';
    shown_ = names_.Shown(stored, true);
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
        io_.err << shown_ << ": exists, kept (-o replaces it)\n";
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

  void End(const ArchiveEntry& header) {
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
    io_.err << shown_ << ": " << why << "\n";
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
  std::string name_, shown_, last_, part_;
  int folder_ = -1;
  int file_ = -1;
};

bool ExtractBegin(void* context, const ArchiveEntry& header, const char* name) {
  return static_cast<Extraction*>(context)->Begin(header, name);
}
void ExtractWrite(void* context, const void* data, uint32_t length) {
  static_cast<Extraction*>(context)->Write(data, length);
}
void ExtractEnd(void* context, const ArchiveEntry& header) { static_cast<Extraction*>(context)->End(header); }

}  // namespace

int ExtractSfx(const std::string& path, const std::string& folder, const NameConverter& names, bool overwrite,
               InspectStreams io) {
  SfxFile sfx;
  if (int status = OpenSfx(path, sfx, io)) return status;
  const NameConverter& entryNames = EntryNames(sfx, names);
  ScanState scan(&entryNames);
  if (int status = ScanSfx(path, sfx, scan, io)) return status;
  if (scan.unconvertible) {
    io.err << Shown(path) << ": a name has no character in code page " << entryNames.CodePage()
           << (&entryNames == &names ? " (-cpNNNN names another)\n" : "\n");
    return 2;
  }
  mkdir(folder.c_str(), 0777);
  int root = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    io.err << Shown(folder) << ": " << strerror(errno) << "\n";
    return 2;
  }
  uint32_t code;
  size_t kept = 0;
  try {
    Extraction extraction(root, entryNames, overwrite, io);
    RestoreSink sink{ExtractBegin, ExtractWrite, NoStep, ExtractEnd, &extraction, nullptr};
    code = RestoreEntries(sfx.archive, sfx.offset, sfx.options, sink);
    kept = extraction.kept;
  } catch (const Stop& stop) {
    close(root);
    return stop.status;
  }
  close(root);
  if (code != ArchiveOk) {
    io.err << Shown(path) << ": " << CodeText(code) << " (" << code << ")\n";
    return static_cast<int>(code);
  }
  if (kept) {
    io.err << kept << " existing files kept\n";
    return 2;
  }
  return 0;
}
