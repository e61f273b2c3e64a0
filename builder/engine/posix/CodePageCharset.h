// The name iconv knows a Windows code page by: one rule for the Linux builder, which
// converts names to the code page, and for the inspector, which reads them back.
#pragma once

#include <stdint.h>

#include <string>

// 0 stands for the Western code page, the Linux builder's default; 65001 is UTF-8.
std::string CodePageCharset(uint32_t codePage);
