#include "CodePageCharset.h"

std::string CodePageCharset(uint32_t codePage) {
  if (codePage == 65001) return "UTF-8";
  return "CP" + std::to_string(codePage == 0 ? 1252 : codePage);
}
