// Looking inside an SFX file without running it: listing, testing and extracting with the
// extractor's own reader, on any POSIX system. Nothing here ever runs what it reads.
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>

// Archive names are in an ANSI code page; these give them as UTF-8.
class NameConverter {
 public:
  // False when this system cannot convert from `codePage`.
  bool Open(int codePage);
  ~NameConverter();
  // The UTF-8 form of a stored text; false when a byte sequence has no character in the
  // code page.
  bool ToUtf8(const char* name, std::string& text) const;
  int CodePage() const { return codePage_; }

 private:
  void* iconv_ = reinterpret_cast<void*>(-1);
  int codePage_ = 0;
};

struct InspectStreams {
  std::ostream& out;
  std::ostream& err;
};

// Each gives the exit status: 0, or the code the extractor would end with (13 invalid
// data, 23 checksum, 38 cut short or no archive, 8 oversize chunk, 160 bad chunk), or 2
// for a file that cannot be opened, or one or more existing files kept by extract.
int ListSfx(const std::string& path, const NameConverter& names, bool json, InspectStreams io);
int TestSfx(const std::string& path, const NameConverter& names, InspectStreams io);
int ExtractSfx(const std::string& path, const std::string& folder, const NameConverter& names, bool overwrite,
               InspectStreams io);
