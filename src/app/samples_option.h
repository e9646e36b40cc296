#pragma once

#include <cstdio>
#include <string>
#include <vector>

// `moraven --samples`: the window on the program's sample recordings, made into the user's cache folder the
// first time (pipeline/samples/sample_recordings.h). The run command uses it when it is given no file.
namespace moraven {

// The folder of the samples: "moraven/samples" in the user's cache folder ($XDG_CACHE_HOME, else ~/.cache).
std::string sampleRecordingsFolder();

// Makes what is missing and answers the samples' paths; says on `errors` what it is doing the first time and
// why a sample could not be made (the window then starts with those that exist).
std::vector<std::string> prepareSampleRecordings(std::FILE* errors);

}  // namespace moraven
