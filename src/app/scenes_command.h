#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "formats/date_format.h"

namespace moraven {

// `moraven --scenes FILE...`: cuts each file into scenes where its recording time jumps and writes them to
// `out`, one line per scene in the form of the scene list's body lines
// ("  1,00.00.00.00,00.00.03.24,15/07/2004 13:05:09,01.02.03.04,00.00.03.24"), each file's lines after the
// line "// ***   <path>   ***". Datecodes are formatted with `datePattern` and `locale`. A file that does
// not exist or cannot be scanned is told on `err` and makes the result 1; the other files are still
// scanned. Returns the exit status: 0 when every file was scanned and its lines written.
int runScenesCommand(const std::vector<std::string>& paths, const std::string& datePattern,
                     const DateFormatLocale& locale, std::FILE* out, std::FILE* err);

}  // namespace moraven
