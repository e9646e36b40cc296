#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "formats/date_format.h"

namespace moraven {

// `moraven --riff FILE...`: writes the RIFF structure report of each file to `out`, one report line per
// output line, in the order given. A file that does not exist gives an empty report; a file that cannot be
// opened gives the header lines the report already held. Both are also told on `err`, and make the result
// 1; every other file is still reported. The analysis date is written with `locale`'s separators. Returns
// the exit status: 0 when every report was made and written.
int runRiffCommand(const std::vector<std::string>& paths, const DateFormatLocale& locale, std::FILE* out,
                   std::FILE* err);

}  // namespace moraven
