// The few C runtime pieces the extractor and the self-delete helper need, which are
// built without the C runtime, plus the start-up hardening both programs share.
#pragma once

#include <stddef.h>

extern "C" {
void* memcpy(void* to, const void* from, size_t n);
void* memmove(void* to, const void* from, size_t n);
void* memset(void* to, int value, size_t n);
int memcmp(const void* a, const void* b, size_t n);
size_t strlen(const char* s);
void* malloc(size_t n);
void* calloc(size_t count, size_t n);
void free(void* p);
}

// Restricts the DLL search to the system folder, so that a DLL planted beside a
// downloaded program is never loaded. Looked up at run time: the call is missing on
// systems without the update that brought it, and there the default search stays.
void RestrictDllSearch();
