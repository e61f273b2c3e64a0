// Looking inside an SFX file without running it: listing, testing and extracting with the
// extractor's own reader, on any POSIX system. Nothing here ever runs what it reads.
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

// Archive texts (names, the custom folder, the parameters) are in an ANSI code page;
// these give them as UTF-8, and in the forms shown, where a hostile file must not reach
// the terminal or break the JSON.
class NameConverter {
 public:
  // False when this system cannot convert from `codePage` (65001 is UTF-8).
  bool Open(int codePage);
  ~NameConverter();
  // The UTF-8 form of a stored text; false when a byte sequence has no character in the
  // code page.
  bool ToUtf8(const std::string& stored, std::string& text) const;
  // For a terminal: every control character, every character that reorders or hides
  // text (bidirectional controls, zero-width characters) and every byte with no
  // character in the code page is shown as \xHH, its stored bytes in hexadecimal. With
  // `name` a backslash between parts is shown as '/'.
  std::string Shown(const std::string& stored, bool name = false) const;
  // A quoted JSON string, valid UTF-8 with every control character escaped. A byte with
  // no character becomes U+FFFD and sets `lossy`: the caller then gives the stored bytes
  // too (see ListSfx).
  std::string Json(const std::string& stored, bool& lossy, bool name = false) const;
  int CodePage() const { return codePage_; }

 private:
  struct Piece;
  bool Codes(const char* stored, size_t length, std::u32string& codes) const;
  void Pieces(const std::string& stored, std::vector<Piece>& pieces) const;

  void* iconv_ = reinterpret_cast<void*>(-1);
  int codePage_ = 0;
};

struct InspectStreams {
  std::ostream& out;
  std::ostream& err;
};

// Each gives the exit status: 0, or the code the extractor would end with (13 invalid
// data, 23 checksum, 38 cut short or no archive, 8 oversize chunk, 160 bad chunk), or 2
// for a file that cannot be opened or is no regular file, or one or more existing files
// kept by extract, or 1 when extract could not write a file. A file the scan refuses
// gets its error once and nothing else. In JSON every text that has a byte with no
// character comes with a second member, its key followed by "Bytes", holding the stored
// bytes in hexadecimal.
int ListSfx(const std::string& path, const NameConverter& names, bool json, InspectStreams io);
int TestSfx(const std::string& path, const NameConverter& names, InspectStreams io);
int ExtractSfx(const std::string& path, const std::string& folder, const NameConverter& names, bool overwrite,
               InspectStreams io);
