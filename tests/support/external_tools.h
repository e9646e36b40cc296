#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Independent tools (ffmpeg, ffprobe, mediainfo) that tests use to make real files and to check what the
// program reads and writes. Programs are started with an argument list, never through a shell.
namespace moraven::test {

struct ProgramResult {
    int exitCode = -1;      // -1 when the program could not be started or did not exit normally
    std::string output;     // standard output
    std::string errors;     // standard error
};

ProgramResult runProgram(const std::vector<std::string>& args);
// The same, calling `whileRunning` with the started program's process id before its output is read (what the
// program writes meanwhile waits in the pipes).
ProgramResult runProgram(const std::vector<std::string>& args, const std::function<void(pid_t)>& whileRunning);

bool programAvailable(const std::string& name);

struct DvClipOptions {
    bool ntsc = false;
    int frames = 10;
    std::string creationTime = "2004-07-15T13:05:09Z";  // becomes the recording date of every frame
    std::string timecode = "01:02:03:04";               // tape timecode of the first frame
    bool withAudio = true;                               // 16-bit stereo at sampleRate
    int rightFrequency = 0;  // non-zero: the right channel's tone in hertz (left stays at 1000 Hz); 0: both 1000 Hz
    int sampleRate = 48000;  // 48000; 44100 and 32000 with PAL only (ffmpeg's DV muxer refuses them for NTSC)
    bool wide = false;                                   // 16:9 picture
};

// Makes a DV type 2 AVI with ffmpeg: testsrc frames encoded with dvvideo into a raw DV stream by ffmpeg's DV
// muxer (which writes the recording date and timecode packs), then copied frame for frame into an AVI.
// Returns the AVI's path; throws std::runtime_error with ffmpeg's messages on failure.
// The raw DV stream of the same clip, written by ffmpeg's DV muxer to `name` inside `folder` (frames one
// after the other, nothing else: such files may be joined byte for byte). Returns its path.
std::string makeRawDvWithFfmpeg(const std::string& folder, const std::string& name, const DvClipOptions& options);

// The sound of stream `audioStream` (0 = the first) of the file at `path` as ffmpeg decodes it, as 16-bit
// stereo samples (native order, interleaved) at the stream's own rate. `inputFormat`, when not empty, is
// passed as ffmpeg's "-f" before the input. Throws std::runtime_error with ffmpeg's messages on failure.
std::vector<std::int16_t> decodeSoundWithFfmpeg(const std::string& path, int audioStream = 0,
                                               const std::string& inputFormat = {});

std::string makeDvAviWithFfmpeg(const std::string& folder, const std::string& name, const DvClipOptions& options);

}  // namespace moraven::test
