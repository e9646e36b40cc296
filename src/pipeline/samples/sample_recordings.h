#pragma once

#include <string>
#include <vector>

#include "formats/dvcodes.h"
#include "pipeline/media_framework.h"

// A few short DV recordings that the program makes for a first start, so that a new user without a camcorder
// can try every command: PAL and NTSC, 4:3 and 16:9, DV type 1 and type 2, with a recording date and time and
// a timecode in every frame, a test picture that moves and a tone; one of them jumps in recording time
// halfway, which makes two scenes.
//
// The pictures are encoded by the codec module's DV encoder; the packs, the sound and the AVI files are
// written by the program's own format code.
namespace moraven {

struct SampleRecordingSpec {
    std::string fileName;
    DvSystem system = DvSystem::Pal625;
    bool wide = false;
    bool type1 = false;
    int frames = 0;
    std::uint32_t sampleRate = 48000;
    TDvRecDate firstRecording;  // the recording date and time of the first frame
    int jumpAtFrame = -1;       // from this frame on the recording time jumps ahead; -1: no jump
    int jumpSeconds = 0;
    int variant = 0;  // tells the samples apart: the order of the bars and the pitch of the tone
};

// The samples the program offers.
const std::vector<SampleRecordingSpec>& sampleRecordingSpecs();

struct SampleRecordingsResult {
    std::vector<std::string> paths;  // the samples that exist in the folder afterwards, in the specs' order
    std::string error;               // why a sample could not be made (the others are still made)
};

// Makes every sample that `folder` does not hold yet (the folder is created, with its parents, when missing);
// samples already there are kept as they are. `framework` null: the codec module, loaded now. Never throws.
SampleRecordingsResult ensureSampleRecordings(const std::string& folder, const MediaFramework* framework = nullptr);

// Writes one sample to `path` (which must not exist). Throws FileError or std::runtime_error.
void writeSampleRecording(const std::string& path, const SampleRecordingSpec& spec, const MediaFramework& framework);

}  // namespace moraven
