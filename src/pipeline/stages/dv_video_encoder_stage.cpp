#include "pipeline/stages/dv_video_encoder_stage.h"

#include <stdexcept>
#include <string>

#include "pipeline/stages/codec_access.h"

namespace moraven {

namespace {

using Entry = DvVideoEncoderStage::Entry;
using Job = DvVideoEncoderStage::Job;

void encodeWhole(DvVideoEncoder& encoder, Entry& entry, std::size_t pictureSize) {
    if (entry.picture.data.size() < pictureSize || !encoder.encode(entry.picture.bytes(), entry.frame.data)) {
        throw std::runtime_error("a picture could not be encoded as DV");
    }
}

// The touched macroblocks of every picture of the job moved into one mid-grey picture, coded once, and each
// coded segment moved back into a copy of its own original frame.
void encodePacked(DvVideoEncoder& encoder, Job& job, std::size_t pictureSize) {
    bool any = false;
    for (std::size_t k = 0; k < job.count; ++k) any = any || !job.entries[k].moves.empty();
    const auto map = DvSegmentMap::ofFrame(job.entries.front().splice->original);
    if (any) {
        constexpr std::uint8_t kMidGrey = 128;
        job.packedPicture.assign(pictureSize, kMidGrey);
        for (std::size_t k = 0; k < job.count; ++k) {
            const Entry& entry = job.entries[k];
            for (const DvSegmentMove& move : entry.moves) {
                if (!map || !DvMovePixels(entry.picture.bytes(), move.segment, job.packedPicture, move.slot, *map)) {
                    throw std::runtime_error("a picture could not be encoded as DV");
                }
            }
        }
        if (!encoder.encode(job.packedPicture, job.packedFrame)) throw std::runtime_error("a picture could not be encoded as DV");
        if (DvSegmentMap::ofFrame(job.packedFrame) != map) {
            // The coding is of another layout than the originals': each picture is coded whole.
            for (std::size_t k = 0; k < job.count; ++k) encodeWhole(encoder, job.entries[k], pictureSize);
            return;
        }
    }
    for (std::size_t k = 0; k < job.count; ++k) {
        Entry& entry = job.entries[k];
        entry.frame.data.assign(entry.splice->original.begin(), entry.splice->original.end());
        for (const DvSegmentMove& move : entry.moves) {
            DvMoveSegment(job.packedFrame, move.slot, entry.frame.data, move.segment, *map);
        }
    }
}

}  // namespace

DvVideoEncoderStage::DvVideoEncoderStage(const MediaFramework* framework)
    : Stage(kDisplayName),
      m_framework(framework),
      m_input(addPin(PinDirection::Input, "Input")),
      m_output(addPin(PinDirection::Output, "Output")) {}

DvVideoEncoderStage::~DvVideoEncoderStage() = default;

bool DvVideoEncoderStage::acceptsInput(const Pin& input, const MediaType& type) const {
    const auto format = pictureFormatOf(type);
    const PictureFormat wanted = dvPictureFormat(m_system, m_wide);
    return &input == &m_input && format && wanted.width > 0 && format->layout == wanted.layout &&
           format->width == wanted.width && format->height == wanted.height;
}

std::vector<MediaType> DvVideoEncoderStage::outputTypes(const Pin&) const {
    if (m_system == DvSystem::Unknown) return {};
    return {MediaType::dvVideo(m_system)};
}

void DvVideoEncoderStage::start() {
    if (!m_input.isConnected() || !m_output.isConnected()) throw std::runtime_error("the DV video encoder is not connected");
    const MediaFramework& framework = requireMediaFramework(m_framework);
    const DvSystem system = m_system;
    // The frames take the shape of the pictures they are given; setWide() decides for pictures without one.
    const auto format = pictureFormatOf(m_input.connectionType());
    const bool wide = format && format->aspectY != 0 ? isWideAspect(format->aspectX, format->aspectY) : m_wide;
    const auto makeEncoder = [&framework, system, wide] {
        std::string error;
        return requireCodec(framework.createDvVideoEncoder(system, wide, &error), "the DV video cannot be encoded",
                            error);
    };
    const std::size_t pictureSize = pictureBytes(dvPictureFormat(system, wide));
    const auto encode = [pictureSize](DvVideoEncoder& encoder, Job& job) {
        if (job.count == 1 && !job.entries.front().splice) {
            encodeWhole(encoder, job.entries.front(), pictureSize);
        } else {
            encodePacked(encoder, job, pictureSize);
        }
    };
    m_workers = std::make_unique<OrderedWorkers<DvVideoEncoder, Job>>(codecWorkerCount(m_workerCount), 0, makeEncoder, encode);
}

void DvVideoEncoderStage::deliverFrames(Job& job) {
    for (std::size_t k = 0; k < job.count; ++k) {
        Entry& entry = job.entries[k];
        MediaSample& frame = entry.frame;
        frame.copyMarksFrom(entry.picture);
        frame.typeChange.reset();
        frame.splice.reset();
        entry.splice.reset();
        deliver(m_output, frame);
    }
}

DvVideoEncoderStage::Job DvVideoEncoderStage::newJob() {
    Job job = m_workers->recycled();
    job.count = 0;
    return job;
}

void DvVideoEncoderStage::addEntry(Job& job, MediaSample& sample, std::shared_ptr<const DvSplice> splice,
                                   std::vector<DvSegmentMove> moves) {
    if (job.entries.size() <= job.count) job.entries.emplace_back();
    Entry& entry = job.entries[job.count++];
    std::swap(entry.picture.data, sample.data);
    entry.picture.copyMarksFrom(sample);
    entry.splice = std::move(splice);
    entry.moves = std::move(moves);
}

void DvVideoEncoderStage::submit(Job job) {
    m_workers->submit(std::move(job), [this](Job& done) { deliverFrames(done); });
}

void DvVideoEncoderStage::submitPending() {
    m_gathering.submitGathered([this](Job job) { submit(std::move(job)); });
}

void DvVideoEncoderStage::receive(Pin&, MediaSample& sample) {
    std::shared_ptr<const DvSplice> splice = std::move(sample.splice);
    sample.splice.reset();
    std::optional<DvSegmentMap> map;
    if (splice) map = DvSegmentMap::ofFrame(splice->original);
    if (!map || map->system() != m_system) {
        submitPending();
        Job job = newJob();
        addEntry(job, sample, nullptr, {});
        submit(std::move(job));
        return;
    }
    // The pictures all have the connection's shape: only the layout and the room part them.
    std::vector<DvSegmentMove> moves;
    Job& job = m_gathering.join(
        *map, false, splice->segments, moves, [this] { return newJob(); },
        [this](Job gathered) { submit(std::move(gathered)); });
    addEntry(job, sample, std::move(splice), std::move(moves));
}

void DvVideoEncoderStage::endOfStream(Pin&) {
    submitPending();
    m_workers->drain([this](Job& done) { deliverFrames(done); });
    deliverEndOfStream(m_output);
}

void DvVideoEncoderStage::stop(StopReason) {
    m_gathering.clear();
    m_workers.reset();
}

}  // namespace moraven
