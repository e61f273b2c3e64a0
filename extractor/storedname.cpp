#include "archivecore.h"

bool IsSafeStoredName(const char* name, size_t length) { return IsSafeEntryName(name, length); }
