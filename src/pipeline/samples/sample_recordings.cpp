#include "pipeline/samples/sample_recordings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <system_error>

#include "formats/avi_writer.h"
#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "formats/dv_audio.h"
#include "formats/dv_frame_analysis.h"
#include "pipeline/stages/codec_access.h"
#include "pipeline/video/picture_format.h"

namespace moraven {

namespace {

struct Yuv {
    std::uint8_t y;
    std::uint8_t u;
    std::uint8_t v;
};

// Studio-range BT.601, as DV stores it.
constexpr Yuv yuvOf(int r, int g, int b) {
    return {static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
            static_cast<std::uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
            static_cast<std::uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

// Seven bars at 75 %: white, yellow, cyan, green, magenta, red, blue.
constexpr std::array kBars{yuvOf(191, 191, 191), yuvOf(191, 191, 0), yuvOf(0, 191, 191), yuvOf(0, 191, 0),
                           yuvOf(191, 0, 191),   yuvOf(191, 0, 0),   yuvOf(0, 0, 191)};
constexpr Yuv kDarkBand = yuvOf(24, 24, 40);
constexpr Yuv kWhite = yuvOf(235, 235, 235);

// The colour of picture point (x, y) in frame `frame`: bars on the upper two thirds (rotated by `shift` bars so
// that each sample looks different), a dark band below with a white square that crosses it every two seconds.
Yuv samplePoint(int x, int y, int width, int height, int frame, int framesPerTwoSeconds, int shift) {
    const int barsBottom = height * 2 / 3;
    if (y < barsBottom) {
        const int bar = x * static_cast<int>(kBars.size()) / width;
        return kBars[static_cast<std::size_t>((bar + shift) % static_cast<int>(kBars.size()))];
    }
    const int side = height / 8;
    const int travel = width - side;
    const int left = travel * (frame % framesPerTwoSeconds) / std::max(1, framesPerTwoSeconds - 1);
    const int top = barsBottom + (height - barsBottom - side) / 2;
    if (x >= left && x < left + side && y >= top && y < top + side) return kWhite;
    return kDarkBand;
}

void drawSamplePicture(const PictureView& picture, int frame, int framesPerTwoSeconds, int shift) {
    const PictureFormat& format = picture.format;
    for (int y = 0; y < format.height; ++y) {
        std::uint8_t* row = picture.planes[0] + static_cast<std::ptrdiff_t>(y) * picture.strides[0];
        for (int x = 0; x < format.width; ++x) {
            row[x] = samplePoint(x, y, format.width, format.height, frame, framesPerTwoSeconds, shift).y;
        }
    }
    // Chroma from the point at the top left of the luma pixels each chroma sample covers.
    const int stepX = format.width / planeGeometry(format, 1).width;
    const int stepY = format.height / planeGeometry(format, 1).height;
    for (int plane = 1; plane <= 2; ++plane) {
        const PlaneGeometry geometry = planeGeometry(format, plane);
        for (int cy = 0; cy < geometry.height; ++cy) {
            std::uint8_t* row = picture.planes[static_cast<std::size_t>(plane)] +
                                static_cast<std::ptrdiff_t>(cy) * picture.strides[static_cast<std::size_t>(plane)];
            for (int cx = 0; cx < geometry.width; ++cx) {
                const Yuv point =
                    samplePoint(cx * stepX, cy * stepY, format.width, format.height, frame, framesPerTwoSeconds, shift);
                row[cx] = plane == 1 ? point.u : point.v;
            }
        }
    }
}

int framesPerSecond(DvSystem system) { return system == DvSystem::Pal625 ? 25 : 30; }

// The timecode of frame `frame` counted at the system's nominal rate (non-drop).
TDvTimecode timecodeOf(DvSystem system, int frame) {
    const int rate = framesPerSecond(system);
    const int seconds = frame / rate;
    return TDvTimecode{static_cast<std::uint8_t>(seconds / 3600), static_cast<std::uint8_t>(seconds / 60 % 60),
                       static_cast<std::uint8_t>(seconds % 60), static_cast<std::uint8_t>(frame % rate)};
}

// A tone of `frequency` hertz at a quarter of full scale, on both channels, continuing from `sampleIndex`.
void toneSamples(std::vector<std::int16_t>& samples, std::uint32_t count, std::uint64_t sampleIndex,
                 double frequency, std::uint32_t sampleRate) {
    samples.resize(std::size_t{count} * 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(sampleIndex + i) / sampleRate;
        const auto value = static_cast<std::int16_t>(std::lround(8192.0 * std::sin(phase)));
        samples[std::size_t{i} * 2] = value;
        samples[std::size_t{i} * 2 + 1] = value;
    }
}

}  // namespace

const std::vector<SampleRecordingSpec>& sampleRecordingSpecs() {
    static const std::vector<SampleRecordingSpec> specs{
        {"sample_pal_4x3_two_scenes.avi", DvSystem::Pal625, false, false, 150, 48000,
         TDvRecDate{2006, 7, 14, 10, 15, 0}, 75, 5 * 3600 + 1234, 0},
        {"sample_pal_16x9_type1.avi", DvSystem::Pal625, true, true, 100, 32000, TDvRecDate{2007, 12, 24, 18, 30, 0},
         -1, 0, 1},
        {"sample_ntsc_4x3.avi", DvSystem::Ntsc525, false, false, 120, 48000, TDvRecDate{2005, 5, 1, 9, 0, 0}, -1, 0,
         2},
        {"sample_ntsc_16x9_type1.avi", DvSystem::Ntsc525, true, true, 90, 44100, TDvRecDate{2008, 8, 8, 20, 8, 8},
         -1, 0, 3},
    };
    return specs;
}

void writeSampleRecording(const std::string& path, const SampleRecordingSpec& spec, const MediaFramework& framework) {
    std::string error;
    auto encoder = requireCodec(framework.createDvVideoEncoder(spec.system, spec.wide, &error),
                                "the DV encoder is not available", error);
    const PictureFormat format = dvPictureFormat(spec.system, spec.wide);
    std::vector<std::uint8_t> picture(pictureBytes(format));
    const auto view = viewPicture(format, std::span<std::uint8_t>(picture));
    const int rate = framesPerSecond(spec.system);
    const double toneFrequency = 330.0 + 110.0 * (spec.variant % 4);

    AviWriter writer(path);
    int videoStream = -1;
    int audioStream = -1;
    std::vector<std::uint8_t> frame;
    std::vector<std::int16_t> sound;
    std::vector<std::uint8_t> soundBytes;
    std::uint64_t samplesWritten = 0;
    for (int i = 0; i < spec.frames; ++i) {
        drawSamplePicture(*view, i, rate * 2, spec.variant);
        if (!encoder->encode(picture, frame)) throw std::runtime_error("the DV encoder failed");
        const std::int64_t jump = spec.jumpAtFrame >= 0 && i >= spec.jumpAtFrame ? spec.jumpSeconds : 0;
        const auto recorded = shiftedDvRecDate(spec.firstRecording, i / rate + jump);
        if (!recorded) throw std::runtime_error("a sample's recording date is no date");
        for (int sequence = 0; sequence < kDvPackSequences; ++sequence) {
            DvWriteRecDate(frame, *recorded, sequence);
            DvWriteTimecode(frame, timecodeOf(spec.system, i), sequence);
        }
        const std::uint32_t count = DvAudioSamplesPerFrame(spec.system, spec.sampleRate, static_cast<std::uint64_t>(i));
        toneSamples(sound, count, samplesWritten, toneFrequency, spec.sampleRate);
        if (!DvWriteAudio(frame, spec.system, spec.sampleRate, sound, count)) {
            throw std::runtime_error("the sound does not fit the DV frame");
        }
        samplesWritten += count;
        if (i == 0) {
            if (spec.type1) {
                videoStream = writer.addInterleavedDvStream(spec.system, dvInfoOfFrame(frame, spec.system));
            } else {
                videoStream = writer.addVideoStream(AviVideoFormat::dv(spec.system));
                audioStream = writer.addAudioStream(WaveFormat::pcm(2, spec.sampleRate, 16));
            }
        }
        writer.writeSample(videoStream, frame);
        if (audioStream >= 0) {
            soundBytes.resize(sound.size() * 2);
            for (std::size_t k = 0; k < sound.size(); ++k) {
                putU16le(soundBytes, k * 2, static_cast<std::uint16_t>(sound[k]));
            }
            writer.writeSample(audioStream, soundBytes);
        }
    }
    writer.close();
}

SampleRecordingsResult ensureSampleRecordings(const std::string& folder, const MediaFramework* framework) {
    SampleRecordingsResult result;
    try {
        std::filesystem::create_directories(folder);
        const MediaFramework* loaded = framework;
        for (const SampleRecordingSpec& spec : sampleRecordingSpecs()) {
            const std::string path = (std::filesystem::path(folder) / spec.fileName).string();
            std::error_code ignored;
            if (!std::filesystem::exists(path, ignored)) {
                if (loaded == nullptr) loaded = &requireMediaFramework(nullptr);
                writeSampleRecording(path, spec, *loaded);
            }
            result.paths.push_back(path);
        }
    } catch (const std::exception& failure) {
        result.error = failure.what();
    }
    return result;
}

}  // namespace moraven
