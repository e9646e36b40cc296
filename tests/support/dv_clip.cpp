#include "support/dv_clip.h"

#include <unistd.h>

#include <stdexcept>

#include "support/temp_dir.h"

namespace moraven::test {

DvClip makeDvClipWithFfmpeg(const std::string& folder, const DvClipOptions& options) {
    const std::string avi = makeDvAviWithFfmpeg(folder, "dv-clip-source.avi", options);
    const std::string raw = folder + "/dv-clip-frames.dv";
    const std::string pcm = folder + "/dv-clip-sound.pcm";
    auto cleanUp = [&] {
        ::unlink(avi.c_str());
        ::unlink(raw.c_str());
        ::unlink(pcm.c_str());
    };
    DvClip clip;
    const auto video = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", avi, "-map", "0:v", "-c",
                                   "copy", "-f", "rawvideo", raw});
    if (video.exitCode != 0) {
        cleanUp();
        throw std::runtime_error("ffmpeg could not copy the DV frames: " + video.errors);
    }
    const std::vector<std::uint8_t> bytes = readWholeFile(raw);
    const std::size_t frameBytes = options.ntsc ? 120000 : 144000;
    for (std::size_t at = 0; frameBytes <= bytes.size() - at; at += frameBytes) {
        clip.frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
    }
    if (options.withAudio) {
        const auto sound = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", avi, "-map", "0:a",
                                       "-c:a", "pcm_s16le", "-ac", "2", "-ar", "48000", "-f", "s16le", pcm});
        if (sound.exitCode != 0) {
            cleanUp();
            throw std::runtime_error("ffmpeg could not decode the sound: " + sound.errors);
        }
        clip.pcm = readWholeFile(pcm);
    }
    cleanUp();
    return clip;
}

}  // namespace moraven::test
