// Identifiers of the extractor's own resources, shared by sfxhead.rc and the code; plain
// defines because the resource compiler reads this file too.
#pragma once

#define WebAddressStringId 1
