// Names in the archive's code page through iconv, exactly or not at all.
#include "ArchiveName.h"

#include "CodePageCharset.h"

#include <errno.h>
#include <iconv.h>

#include <memory>

namespace {

// Converts every byte or fails: no transliteration, no replacement character.
bool Convert(const char* to, const char* from, const std::string& input, std::string& output) {
  iconv_t conversion = iconv_open(to, from);
  if (conversion == reinterpret_cast<iconv_t>(-1)) return false;
  std::unique_ptr<void, int (*)(iconv_t)> owner(conversion, iconv_close);
  output.assign(input.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* out = &output[0];
  size_t outLeft = output.size();
  if (iconv(conversion, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) ||
      iconv(conversion, nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1))
    return false;
  output.resize(output.size() - outLeft);
  return inLeft == 0;
}

}  // namespace

bool ToArchiveName(const std::u16string& name, uint32_t codePage, std::string& archiveName) {
  if (name.empty()) return false;
  std::string charset = CodePageCharset(codePage);
  std::string utf16;
  for (char16_t c : name) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  // Back to UTF-16: a lookalike or a best fit comes back as another character.
  std::string back;
  return Convert(charset.c_str(), "UTF-16LE", utf16, archiveName) &&
         Convert("UTF-16LE", charset.c_str(), archiveName, back) && back == utf16;
}

bool FromArchiveName(const std::string& archiveName, uint32_t codePage, std::u16string& name) {
  std::string utf16;
  if (!Convert("UTF-16LE", CodePageCharset(codePage).c_str(), archiveName, utf16)) return false;
  name.clear();
  for (size_t i = 0; i + 1 < utf16.size(); i += 2)
    name += static_cast<char16_t>(static_cast<unsigned char>(utf16[i]) | static_cast<unsigned char>(utf16[i + 1]) << 8);
  return true;
}
