#pragma once

#include <vector>

#include "base/bytes.h"
#include "dat/dat.h"
#include "verify/verify.h"

// A fixdat: the DAT of what a collection still lacks, for a ROM manager or a
// trade, in Logiqx XML. Its header is named after the DAT with " (fixdat)";
// each game not complete holds only its missing ROMs, with every value the
// DAT gives for them. Text that XML 1.0 cannot hold (control characters,
// bytes that are not UTF-8) is written as U+FFFD.
Bytes fixdatXml(const Dat& dat, const std::vector<IncompleteGame>& games);
