// The upper-casing by which Windows file systems compare names: one UTF-16 unit to one, the
// simple mappings of Unicode (no unit maps to two), across every script that has case.
#pragma once

#include <stdint.h>

// `unit` in upper case, or `unit` itself when it has no simple upper-case mapping.
uint16_t UpcaseUnit(uint16_t unit);
