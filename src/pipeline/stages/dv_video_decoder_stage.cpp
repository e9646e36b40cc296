#include "pipeline/stages/dv_video_decoder_stage.h"

#include <algorithm>
#include <string>

#include "formats/dvcodes.h"
#include "pipeline/stages/codec_access.h"

namespace moraven {

namespace {

constexpr std::uint8_t kMidGrey = 128;

bool isDvStream(const MediaType& type) {
    return type.isInterleaved() || (type.isVideo() && type.subtype() == kMediaSubtypeDvsd);
}

using Entry = DvVideoDecoderStage::Entry;
using Job = DvVideoDecoderStage::Job;

void failEntry(Entry& entry) {
    // What it becomes is decided in order, where the previous good picture is known.
    entry.failed = true;
    entry.picture.typeChange.reset();
    entry.splice.reset();
}

void decodeWhole(DvVideoDecoder& decoder, Entry& entry, const PictureFormat& format) {
    PictureFormat decoded;
    if (!decoder.decode(entry.frame.bytes(), entry.picture.data, decoded) ||
        entry.picture.data.size() < pictureBytes(decoded) || pictureBytes(decoded) == 0) {
        failEntry(entry);
        return;
    }
    entry.picture.typeChange.reset();
    if (decoded != format) entry.picture.typeChange = std::make_shared<const MediaType>(pictureMediaType(decoded));
}

// The touched segments of every frame of the job moved into one frame with all else blanked, decoded once, and
// each frame's macroblocks moved back into a mid-grey picture of its own. When the packed frame cannot be made
// or decoded, each frame is decoded whole, so that one broken frame does not take its neighbours with it.
void decodePacked(DvVideoDecoder& decoder, Job& job, const PictureFormat& format) {
    const auto map = DvSegmentMap::ofFrame(job.entries.front().frame.bytes());
    bool ok = map.has_value();
    if (ok) {
        job.packed.assign(job.entries.front().frame.data.begin(), job.entries.front().frame.data.end());
        ok = DvBlankSegmentsExcept(job.packed, *map, DvSegmentSet());
    }
    for (std::size_t k = 0; k < job.count && ok; ++k) {
        for (const DvSegmentMove& move : job.entries[k].moves) {
            ok = ok && DvMoveSegment(job.entries[k].frame.bytes(), move.segment, job.packed, move.slot, *map);
        }
    }
    PictureFormat decoded;
    ok = ok && decoder.decode(job.packed, job.packedPicture, decoded) && job.packedPicture.size() == DvPictureBytes(*map) &&
         pictureBytes(decoded) == job.packedPicture.size();
    for (std::size_t k = 0; k < job.count; ++k) {
        Entry& entry = job.entries[k];
        if (!ok) {
            // A whole picture holds the touched segments where the encoder looks for them.
            decodeWhole(decoder, entry, format);
        } else {
            entry.picture.data.assign(job.packedPicture.size(), kMidGrey);
            for (const DvSegmentMove& move : entry.moves) {
                DvMovePixels(job.packedPicture, move.slot, entry.picture.data, move.segment, *map);
            }
            entry.picture.typeChange.reset();
            if (decoded != format) {
                entry.picture.typeChange = std::make_shared<const MediaType>(pictureMediaType(decoded));
            }
        }
        // The original goes on whole to the encoder.
        if (entry.splice) std::swap(entry.splice->original, entry.frame.data);
    }
}

}  // namespace

DvVideoDecoderStage::DvVideoDecoderStage(const MediaFramework* framework)
    : Stage(kDisplayName),
      m_framework(framework),
      m_input(addPin(PinDirection::Input, "Input")),
      m_output(addPin(PinDirection::Output, "Output")) {}

DvVideoDecoderStage::~DvVideoDecoderStage() = default;

bool DvVideoDecoderStage::acceptsInput(const Pin& input, const MediaType& type) const {
    return &input == &m_input && isDvStream(type) && type.dvSystem() != DvSystem::Unknown;
}

std::optional<PictureFormat> DvVideoDecoderStage::outputFormat() const {
    if (!m_input.isConnected()) return std::nullopt;
    const DvSystem system = m_input.connectionType().dvSystem();
    if (system == DvSystem::Unknown) return std::nullopt;
    // The shape is in each frame's VAUX; the first frame the upstream will deliver sets the stream's.
    MediaSample first;
    const Pin* upstream = m_input.peer();
    const bool wide = upstream != nullptr && upstream->stage().firstSample(*upstream, first) && DvIs16x9(first.bytes());
    return dvPictureFormat(system, wide);
}

std::vector<MediaType> DvVideoDecoderStage::outputTypes(const Pin&) const {
    const auto format = outputFormat();
    if (!format) return {};
    return {pictureMediaType(*format)};
}

void DvVideoDecoderStage::start() {
    const auto connected = pictureFormatOf(m_output.connectionType());
    if (!m_input.isConnected() || !m_output.isConnected() || !connected) {
        throw std::runtime_error("the DV video decoder is not connected");
    }
    m_format = *connected;
    m_typeChange.reset();
    m_undecodable = 0;
    m_haveLastGood = false;
    restartDamagedFrames();
    const MediaFramework& framework = requireMediaFramework(m_framework);
    const auto makeDecoder = [&framework] {
        std::string error;
        return requireCodec(framework.createDvVideoDecoder(&error), "the DV video cannot be decoded", error);
    };
    const PictureFormat format = m_format;
    const auto decode = [format](DvVideoDecoder& decoder, Job& job) {
        if (job.count == 1 && !job.entries.front().splice) {
            decodeWhole(decoder, job.entries.front(), format);
        } else {
            decodePacked(decoder, job, format);
        }
    };
    m_workers = std::make_unique<OrderedWorkers<DvVideoDecoder, Job>>(codecWorkerCount(m_workerCount), 0, makeDecoder, decode);
}

bool DvVideoDecoderStage::decodedAsConnected(const Entry& entry) const {
    if (entry.failed) return false;
    if (!entry.picture.typeChange) return true;
    // Another shape (4:3 among 16:9) or chroma layout (a DVCPRO frame) of the system's pictures is carried;
    // the other system's size is not.
    const auto format = pictureFormatOf(*entry.picture.typeChange);
    return format && format->width == m_format.width && format->height == m_format.height;
}

void DvVideoDecoderStage::replaceDamaged(Entry& entry) {
    m_undecodable.fetch_add(1);
    damagedFrames().add(entry.frame.start);
    MediaSample& picture = entry.picture;
    if (m_haveLastGood) {
        picture.data.assign(m_lastGood.data.begin(), m_lastGood.data.end());
        picture.typeChange = m_lastGood.typeChange;
        picture.splice = m_lastGood.splice;
    } else {
        // Nothing to repeat yet: a grey picture, coded whole.
        picture.data.assign(pictureBytes(m_format), kMidGrey);
        picture.typeChange.reset();
        picture.splice.reset();
    }
}

void DvVideoDecoderStage::deliverPictures(Job& job) {
    // A job being submitted while a flush came is still queued after it: it must not show either.
    if (job.flushes != m_flushes.load()) return;
    for (std::size_t k = 0; k < job.count; ++k) {
        Entry& entry = job.entries[k];
        MediaSample& picture = entry.picture;
        picture.copyMarksFrom(entry.frame);
        picture.splice = std::move(entry.splice);
        if (!decodedAsConnected(entry)) {
            replaceDamaged(entry);
        } else {
            // Consecutive pictures of the same other shape share one type, as a decoder's samples do.
            if (picture.typeChange) {
                if (m_typeChange && *m_typeChange == *picture.typeChange) {
                    picture.typeChange = m_typeChange;
                } else {
                    m_typeChange = picture.typeChange;
                }
            }
            // Kept before it is handed on: the inlay draws on the picture in place.
            m_lastGood.data.assign(picture.data.begin(), picture.data.end());
            m_lastGood.typeChange = picture.typeChange;
            m_lastGood.splice = picture.splice;
            m_haveLastGood = true;
        }
        deliver(m_output, picture);
    }
}

DvVideoDecoderStage::Job DvVideoDecoderStage::newJob() {
    Job job = m_workers->recycled();
    job.count = 0;
    job.flushes = m_flushes.load();
    return job;
}

void DvVideoDecoderStage::addEntry(Job& job, MediaSample& sample, std::shared_ptr<DvSplice> splice,
                                   std::vector<DvSegmentMove> moves) {
    if (job.entries.size() <= job.count) job.entries.emplace_back();
    Entry& entry = job.entries[job.count++];
    // The frame is taken by swapping buffers: the sender refills its sample for the next frame anyway.
    std::swap(entry.frame.data, sample.data);
    entry.frame.copyMarksFrom(sample);
    entry.failed = false;
    entry.splice = std::move(splice);
    entry.moves = std::move(moves);
}

void DvVideoDecoderStage::submit(Job job) {
    m_workers->submit(std::move(job), [this](Job& done) { deliverPictures(done); });
}

void DvVideoDecoderStage::submitPending() {
    m_gathering.submitGathered([this](Job job) { submit(std::move(job)); });
}

void DvVideoDecoderStage::receive(Pin&, MediaSample& sample) {
    std::optional<DvSegmentMap> map;
    DvSegmentSet segments;
    if (m_region) {
        map = DvSegmentMap::ofFrame(sample.bytes());
        if (map) {
            if (const auto changed = m_region(sample, map->width(), map->height())) {
                segments = map->segmentsTouching(*changed);
            }
        }
    }
    if (!map) {
        submitPending();
        Job job = newJob();
        addEntry(job, sample, nullptr, {});
        submit(std::move(job));
        return;
    }
    std::vector<DvSegmentMove> moves;
    Job& job = m_gathering.join(
        *map, DvIs16x9(sample.bytes()), segments, moves, [this] { return newJob(); },
        [this](Job gathered) { submit(std::move(gathered)); });
    auto splice = std::make_shared<DvSplice>();
    splice->segments = segments;
    addEntry(job, sample, std::move(splice), std::move(moves));
}

void DvVideoDecoderStage::endOfStream(Pin&) {
    submitPending();
    m_workers->drain([this](Job& done) { deliverPictures(done); });
    if (const std::string warning = ownDamagedFramesWarning(); !warning.empty()) warn(warning);
    deliverEndOfStream(m_output);
}

void DvVideoDecoderStage::stop(StopReason) {
    m_gathering.clear();
    m_workers.reset();
    m_lastGood = MediaSample();
    m_haveLastGood = false;
}

void DvVideoDecoderStage::flush() {
    m_gathering.clear();
    m_flushes.fetch_add(1);
    if (m_workers) m_workers->cancel();
}

}  // namespace moraven
