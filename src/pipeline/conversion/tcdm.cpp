#include "pipeline/conversion/tcdm.h"

#include <chrono>
#include <stdexcept>
#include <utility>

#include "formats/binary_file.h"
#include "pipeline/stages/acm_wrapper_stage.h"
#include "pipeline/stages/dv_video_decoder_stage.h"
#include "pipeline/stages/dv_video_encoder_stage.h"
#include "pipeline/stages/stage_factory.h"

namespace moraven {

namespace {

constexpr std::chrono::milliseconds kProgressInterval{100};
// How long an aborted conversion waits for the stages to pass on what they hold before it drops it.
constexpr std::chrono::milliseconds kAbortDrainTimeout{10000};

std::vector<Pin*> freeOutputs(const Stage& stage) {
    std::vector<Pin*> free;
    for (Pin* pin : stage.pins(PinDirection::Output)) {
        if (!pin->isConnected()) free.push_back(pin);
    }
    return free;
}

Pin* firstFreeInput(const Stage& stage) {
    for (Pin* pin : stage.pins(PinDirection::Input)) {
        if (!pin->isConnected()) return pin;
    }
    return nullptr;
}

// The type a free output offers first; an empty type when it offers none.
MediaType offeredType(const Pin& output) {
    const std::vector<MediaType> types = output.stage().outputTypes(output);
    return types.empty() ? MediaType() : types.front();
}

int soundOutputCount(const Stage& splitter) {
    int count = 0;
    for (const Pin* pin : splitter.pins(PinDirection::Output)) count += offeredType(*pin).isAudio() ? 1 : 0;
    return count;
}

bool anyInputConnected(const Stage& stage) {
    for (const Pin* pin : stage.pins(PinDirection::Input)) {
        if (pin->isConnected()) return true;
    }
    return false;
}

}  // namespace

TCdm::TCdm(std::size_t codecWorkers) : m_superposer(m_sceneDetect), m_codecWorkers(codecWorkers) {
    m_graph.add(m_source, "source");
    m_graph.add(m_destination, "destination");
    // Completion and failure end the run; the flag is all that crosses from the streaming thread.
    m_graph.setNoticeHandler([this](GraphNotice notice) {
        if (notice != GraphNotice::Paused) m_conversionDone.store(true);
    });
}

TCdm::~TCdm() { m_graph.stop(); }

bool TCdm::fail(std::string reason) {
    m_buildError = std::move(reason);
    ResetConversionGraph();
    return false;
}

void TCdm::ResetConversionGraph() {
    m_graph.stop();
    m_seeking = nullptr;
    m_graph.setIntermediates({});
    for (Stage* stage : m_graph.stages()) {
        if (stage != &m_source && stage != &m_destination) m_graph.remove(*stage);
    }
    for (Stage* stage : {static_cast<Stage*>(&m_source), static_cast<Stage*>(&m_destination)}) {
        for (PinDirection direction : {PinDirection::Input, PinDirection::Output}) {
            for (Pin* pin : stage->pins(direction)) m_graph.disconnect(*pin);
        }
    }
}

Stage& TCdm::addNew(const char* displayName, const std::string& name) {
    std::unique_ptr<Stage> stage = createStage(displayName);
    if (!stage) throw std::logic_error(std::string("no stage named ") + displayName);
    return m_graph.adopt(std::move(stage), name);
}

AcmWrapperStage& TCdm::addAcm(const std::string& name) {
    return static_cast<AcmWrapperStage&>(m_graph.adopt(std::make_unique<AcmWrapperStage>(), name));
}

std::unique_ptr<DvVideoDecoderStage> TCdm::makeDvDecoder() const {
    auto decoder = std::make_unique<DvVideoDecoderStage>();
    decoder->setWorkerCount(m_codecWorkers);
    return decoder;
}

Stage& TCdm::addDvEncoder(DvSystem system) {
    auto encoder = std::make_unique<DvVideoEncoderStage>();
    encoder->setSystem(system);
    encoder->setWorkerCount(m_codecWorkers);
    return m_graph.adopt(std::move(encoder), "DV Video Encoder");
}

void TCdm::prepareTwoPairs(const Stage& soundSource, AcmWrapperStage& acm1, AcmWrapperStage& acm2) {
    // A DV frame carries two stereo pairs only as 32 kHz sound: with two sound streams, both are converted
    // to it, so that neither is lost.
    if (soundOutputCount(soundSource) < 2) return;
    const WaveFormat pair = WaveFormat::pcm(2, 32000, 16);
    acm1.setOutputFormat(pair);
    acm2.setOutputFormat(pair);
}

Stage* TCdm::begin(const std::string& input, const std::string& output) {
    m_buildError.clear();
    m_conversionDone.store(false);
    m_conversionProgress.store(0);
    m_conversionDuration.store(0);
    ResetConversionGraph();
    if (!m_source.load(input)) {
        fail(FileError(FileErrorCode::NotFound, input, 0).what());
        return nullptr;
    }
    m_destination.setFileName(output);
    Stage& splitter = addNew("AVI Splitter", "AVI Splitter");
    Pin* source = m_source.output(0);
    Pin* in = splitter.input(0);
    if (!source || !in || !m_graph.connect(*source, *in)) {
        fail(input + " is not an AVI file that can be read");
        return nullptr;
    }
    return &splitter;
}

bool TCdm::connectToFree(Pin& output, Stage& target, const MediaType* partial) {
    for (Pin* in : target.pins(PinDirection::Input)) {
        if (in->isConnected()) continue;
        if (m_graph.connect(output, *in, partial)) return true;
    }
    return false;
}

bool TCdm::connectFirst(const std::vector<Pin*>& outputs, Pin& input) {
    for (Pin* out : outputs) {
        if (m_graph.connect(*out, input)) return true;
    }
    return false;
}

bool TCdm::connectSoundThrough(Stage& splitter, Stage& adapter, Pin& target) {
    Pin* adapterIn = adapter.input(0);
    if (!adapterIn) return false;
    for (Pin* out : freeOutputs(splitter)) {
        if (!m_graph.connect(*out, *adapterIn)) continue;
        Pin* adapterOut = adapter.output(0);
        if (adapterOut && m_graph.connect(*adapterOut, target)) return true;
        m_graph.disconnect(*adapterIn);
    }
    return false;
}

bool TCdm::finishWithMux(Stage& mux) {
    if (!anyInputConnected(mux)) return fail("No stream of " + *m_source.fileName() + " can be written");
    Pin* muxOut = mux.output(0);
    Pin* writerIn = m_destination.input(0);
    if (!muxOut || !writerIn || !m_graph.connect(*muxOut, *writerIn)) {
        return fail("The output " + *m_destination.fileName() + " cannot be written");
    }
    m_seeking = mux.seeking();
    return true;
}

bool TCdm::BuildType1Graph(const std::string& input, const std::string& output) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    if (freeOutputs(*splitter).empty()) return fail(input + " has no stream");
    Stage& dvMuxer = addNew("DV Muxer", "DV Muxer");
    AcmWrapperStage& acm1 = addAcm("acm1");
    AcmWrapperStage& acm2 = addAcm("acm2");
    Stage& dvSplitter = addNew("DV Splitter", "DV Splitter");
    Stage& aviMux = addNew("AVI Mux", "AVI Mux");
    Pin* muxVideo = dvMuxer.findPin("Video");
    Pin* muxAudio1 = dvMuxer.findPin("Audio 1");
    Pin* muxAudio2 = dvMuxer.findPin("Audio 2");

    // The picture: a DV video stream straight into the muxer, or an interleaved one through the DV splitter.
    for (Pin* out : freeOutputs(*splitter)) {
        if (m_graph.connect(*out, *muxVideo)) break;
        if (Pin* dvIn = dvSplitter.input(0); m_graph.connect(*out, *dvIn)) {
            if (Pin* dvVideo = dvSplitter.output(0); dvVideo && m_graph.connect(*dvVideo, *muxVideo)) break;
            m_graph.disconnect(*dvIn);
        }
    }
    if (!muxVideo->isConnected()) return fail(input + " has no DV video stream");
    prepareTwoPairs(*splitter, acm1, acm2);
    connectSoundThrough(*splitter, acm1, *muxAudio1);
    connectSoundThrough(*splitter, acm2, *muxAudio2);
    if (!connectToFree(*dvMuxer.output(0), aviMux)) return fail("The DV stream of " + input + " cannot be written");
    return finishWithMux(aviMux);
}

bool TCdm::BuildType2Graph(const std::string& input, const std::string& output) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    Stage& dvSplitter = addNew("DV Splitter", "DV Splitter");
    Stage& aviMux = addNew("AVI Mux", "AVI Mux");
    Pin* first = splitter->output(0);
    if (!first || !m_graph.connect(*first, *dvSplitter.input(0)))
        return fail(input + " has no interleaved DV stream");
    for (Pin* out : dvSplitter.pins(PinDirection::Output)) connectToFree(*out, aviMux);
    return finishWithMux(aviMux);
}

bool TCdm::BuildRemuxGraph(const std::string& input, const std::string& output) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    Stage& dvSplitter = addNew("DV Splitter", "DV Splitter");
    Stage& aviMux = addNew("AVI Mux", "AVI Mux");
    const std::vector<Pin*> outputs = splitter->pins(PinDirection::Output);
    for (std::size_t k = 0; k < outputs.size() && k < 2; ++k) {
        Pin& out = *outputs[k];
        const MediaType video(kMediaTypeVideo, FourCC(), {});
        const MediaType audio(kMediaTypeAudio, FourCC(), {});
        const MediaType interleaved(kMediaTypeInterleaved, FourCC(), {});
        if (connectToFree(out, aviMux, &video) || connectToFree(out, aviMux, &audio)) continue;
        Pin* dvIn = dvSplitter.input(0);
        if (dvIn->isConnected() || !m_graph.connect(out, *dvIn, &interleaved)) continue;
        if (Pin* dvVideo = dvSplitter.output(0)) connectToFree(*dvVideo, aviMux);
    }
    return finishWithMux(aviMux);
}

bool TCdm::BuildTimeShiftGraph(const std::string& input, const std::string& output) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    if (freeOutputs(*splitter).empty()) return fail(input + " has no stream");
    Stage& aviMux = addNew("AVI Mux", "AVI Mux");
    Stage& acm1 = addNew("ACM Wrapper", "acm1");
    Stage& acm2 = addNew("ACM Wrapper", "acm2");
    m_graph.add(m_dvHeader, "DVHeader");
    if (!connectFirst(freeOutputs(*splitter), *m_dvHeader.input(0))) return fail(input + " has no DV stream");
    connectToFree(*m_dvHeader.output(0), aviMux);
    if (splitter->pins(PinDirection::Output).size() > 1) {
        // The multiplexer always keeps one free input: each sound stream takes the next.
        for (Stage* acm : {&acm1, &acm2}) {
            if (Pin* next = firstFreeInput(aviMux)) connectSoundThrough(*splitter, *acm, *next);
        }
    }
    return finishWithMux(aviMux);
}

// ---- the graphs that decode and encode pictures ----

bool TCdm::BuildNtscPalGraph(const std::string& input, const std::string& output, DvSystem system,
                             bool type1Source) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    Stage& deinterlacer = addNew("Pinnacle Video Deinterlacer", "Pinnacle Video Deinterlacer");
    return buildReencodeGraph(*splitter, input, system, type1Source, deinterlacer, ReencodeKind::NtscPal);
}

bool TCdm::BuildInlayGraph(const std::string& input, const std::string& output, DvSystem system,
                           bool type1Source) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    m_graph.add(m_superposer, "Superposer");
    // The encoder writes frames without recording date or timecode: the header stage must put the source's
    // back, whatever the last run left it set to, or the burnt-in file would lose its datecode.
    m_dvHeader.RestoreHeader = true;
    return buildReencodeGraph(*splitter, input, system, type1Source, m_superposer, ReencodeKind::Inlay);
}

bool TCdm::buildReencodeGraph(Stage& splitter, const std::string& input, DvSystem system, bool type1Source,
                              Stage& middle, ReencodeKind kind) {
    if (system == DvSystem::Unknown) return fail(input + " has no television system to encode for");
    Stage& encoder = addDvEncoder(system);
    auto& decoder = static_cast<DvVideoDecoderStage&>(m_graph.adopt(makeDvDecoder(), DvVideoDecoderStage::kDisplayName));
    if (kind == ReencodeKind::Inlay && m_segmentSplice) {
        // The text changes a few percent of each picture: only the segments it touches are decoded and coded
        // again. A standards conversion changes every pixel and codes whole pictures.
        decoder.setChangedRegion([this](const MediaSample& frame, int width, int height) {
            return m_superposer.textRegion(frame, width, height);
        });
    }
    Stage& dvMuxer = addNew("DV Muxer", "DV Muxer");
    Stage& dvSplitter = addNew("DV Splitter", "DV Splitter");
    Stage& aviMux = addNew("AVI Mux", "AVI Mux");
    AcmWrapperStage& acm1 = addAcm("acm1");
    AcmWrapperStage& acm2 = addAcm("acm2");
    m_graph.add(m_sceneDetect, "SceneDetect");
    m_graph.add(m_dvHeader, "DVHeader");

    if (!connectFirst(freeOutputs(splitter), *m_sceneDetect.input(0))) return fail(input + " has no DV stream");

    // The pictures: decoded, converted or drawn on, encoded, given the source frame's header back.
    Stage* soundSource = &splitter;
    if (type1Source) {
        if (!m_graph.connect(*m_sceneDetect.output(0), *dvSplitter.input(0)))
            return fail("The DV frames of " + input + " cannot be split");
        if (!connectFirst(dvSplitter.pins(PinDirection::Output), *decoder.input(0))) return fail("The DV pictures of " + input + " cannot be decoded");
        soundSource = &dvSplitter;
    } else if (!m_graph.connect(*m_sceneDetect.output(0), *decoder.input(0))) {
        return fail("The DV pictures of " + input + " cannot be decoded");
    }
    if (!m_graph.connect(*decoder.output(0), *middle.input(0)) ||
        !m_graph.connect(*middle.output(0), *encoder.input(0)) ||
        !m_graph.connect(*encoder.output(0), *m_dvHeader.input(0)))
        return fail("The pictures of " + input + " cannot be encoded as DV");

    if (kind == ReencodeKind::Inlay && !type1Source) {
        // Only the pictures change: the sound streams are copied as they are.
        if (!connectToFree(*m_dvHeader.output(0), aviMux)) return fail("The DV stream cannot be written");
        for (AcmWrapperStage* acm : {&acm1, &acm2}) {
            if (Pin* next = firstFreeInput(aviMux)) connectSoundThrough(splitter, *acm, *next);
        }
        return finishWithMux(aviMux);
    }

    if (!m_graph.connect(*m_dvHeader.output(0), *dvMuxer.findPin("Video")))
        return fail("The DV stream cannot be written");
    if (kind == ReencodeKind::NtscPal) prepareTwoPairs(*soundSource, acm1, acm2);
    connectSoundThrough(*soundSource, acm1, *dvMuxer.findPin("Audio 1"));
    connectSoundThrough(*soundSource, acm2, *dvMuxer.findPin("Audio 2"));
    if (type1Source) {
        if (!connectToFree(*dvMuxer.output(0), aviMux)) return fail("The DV stream cannot be written");
        return finishWithMux(aviMux);
    }
    // A type 2 output: the interleaved frames split again into a video stream and sound streams.
    if (!m_graph.connect(*dvMuxer.output(0), *dvSplitter.input(0))) return fail("The DV stream cannot be written");
    for (Pin* out : dvSplitter.pins(PinDirection::Output)) connectToFree(*out, aviMux);
    return finishWithMux(aviMux);
}

bool TCdm::BuildRecompressGraph(const std::string& input, const std::string& output, DvSystem system,
                                int samplesPerSecond) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    if (system == DvSystem::Unknown) return fail("No television system to encode " + input + " for");
    Stage& encoder = addDvEncoder(system);
    Stage& dvMuxer = addNew("DV Muxer", "DV Muxer");
    Stage& dvSplitter = addNew("DV Splitter", "DV Splitter");
    Stage& aviMux = addNew("AVI Mux", "AVI Mux");
    AcmWrapperStage& acm1 = addAcm("acm1");
    AcmWrapperStage& acm2 = addAcm("acm2");

    // Whatever decoders and converters a stream needs are put in between by the graph.
    m_graph.setIntermediates({
        [] { return createStage("DV Splitter"); },
        [] { return createStage("Video Decoder"); },
        [this]() -> std::unique_ptr<Stage> { return makeDvDecoder(); },
        [] { return createStage("Color Space Converter"); },
        [] { return createStage("Audio Decoder"); },
    });
    bool picture = false;
    for (Pin* out : freeOutputs(*splitter)) {
        if (!offeredType(*out).isVideo() && !offeredType(*out).isInterleaved()) continue;
        if (m_graph.render(*out, encoder)) {
            picture = true;
            break;
        }
    }
    if (!picture || !m_graph.connect(*encoder.output(0), *dvMuxer.findPin("Video")))
        return fail(input + " has no picture that can be decoded: there is nothing to write into a DV file");

    // The sound: 16-bit stereo at the rate asked for, the first stream and a second one when there is.
    const WaveFormat sound = WaveFormat::pcm(2, static_cast<std::uint32_t>(samplesPerSecond), 16);
    if (!acm1.setOutputFormat(sound) || !acm2.setOutputFormat(sound))
        return fail(std::to_string(samplesPerSecond) + " Hz is no sampling rate of DV sound");
    for (AcmWrapperStage* acm : {&acm1, &acm2}) {
        Pin* target = dvMuxer.findPin(acm == &acm1 ? "Audio 1" : "Audio 2");
        for (Pin* out : freeOutputs(*splitter)) {
            if (!offeredType(*out).isAudio()) continue;
            if (!m_graph.render(*out, *acm)) continue;
            if (m_graph.connect(*acm->output(0), *target)) break;
            m_graph.disconnect(*acm->input(0));
        }
    }
    if (!m_graph.connect(*dvMuxer.output(0), *dvSplitter.input(0))) return fail("The DV stream cannot be written");
    for (Pin* out : dvSplitter.pins(PinDirection::Output)) connectToFree(*out, aviMux);
    return finishWithMux(aviMux);
}

bool TCdm::BuildAudioGraph(const std::string& input, const std::string& output) {
    Stage* splitter = begin(input, output);
    if (!splitter) return false;
    Stage& wavDest = addNew("WAV Dest", "WAV Dest");
    Stage& nullRenderer = addNew("Null Renderer", "Null Renderer");
    Stage& dvSplitter = addNew("DV Splitter", "DV Splitter");
    Stage& tee = addNew("Infinite Pin Tee Filter", "Infinite Pin Tee Filter");

    // The first video and the first sound output, an interleaved DV stream counting through its splitter.
    Pin* videoOut = nullptr;
    Pin* audioOut = nullptr;
    for (Pin* out : splitter->pins(PinDirection::Output)) {
        const MediaType type = offeredType(*out);
        if (type.isVideo() && !videoOut) videoOut = out;
        if (type.isAudio() && !audioOut) audioOut = out;
        if (type.isInterleaved() && !dvSplitter.input(0)->isConnected() && m_graph.connect(*out, *dvSplitter.input(0))) {
            for (Pin* dvOut : dvSplitter.pins(PinDirection::Output)) {
                const MediaType dvType = offeredType(*dvOut);
                if (dvType.isVideo() && !videoOut) videoOut = dvOut;
                if (dvType.isAudio() && !audioOut) audioOut = dvOut;
            }
        }
    }
    if (!audioOut) return fail(input + " has no sound");
    bool connected = false;
    if (videoOut) {
        // A DV type 1 file's frames must be read for their sound; another file's video stream is left
        // unread (nothing of it goes into the WAV file).
        if (&videoOut->stage() == &dvSplitter) m_graph.connect(*videoOut, *nullRenderer.input(0));
        connected = m_graph.connect(*audioOut, *wavDest.input(0));
    } else if (m_graph.connect(*audioOut, *tee.input(0))) {
        Pin* first = tee.output(0);
        connected = first && m_graph.connect(*first, *wavDest.input(0));
        if (Pin* second = tee.output(1)) m_graph.connect(*second, *nullRenderer.input(0));
    }
    if (!connected) return fail("The sound of " + input + " cannot be written to a WAV file");
    Pin* wavOut = wavDest.output(0);
    if (!wavOut || !m_graph.connect(*wavOut, *m_destination.input(0)))
        return fail("The output " + output + " cannot be written");
    m_seeking = &m_graph;
    return true;
}

ConversionResult TCdm::RunConversionGraph(const std::function<bool(int percent)>& tick) {
    ConversionResult result;
    const MediaTime duration = m_graph.duration();
    m_conversionDuration.store(duration.ticks());
    if (duration.ticks() <= 0) {
        ResetConversionGraph();
        result.outcome = ConversionOutcome::ZeroDuration;
        return result;
    }
    m_graph.setReferenceClock(false);
    // Every stage that replaces damaged frames counts them into one tally: a frame that several stages meet
    // (its sound and its picture) counts once, in one warning at the end.
    m_damagedFrames.clear();
    for (Stage* stage : m_graph.stages()) {
        if (auto* counting = dynamic_cast<DamagedFrameCounting*>(stage)) counting->shareDamagedFrames(&m_damagedFrames);
    }
    bool aborted = false;
    try {
        m_graph.run();
        // The first look comes at once: an abort asked for while the run was being set up stops it at its
        // first sample.
        do {
            const MediaTime position = m_seeking ? m_seeking->position() : m_graph.position();
            m_conversionProgress.store(progressPercent(position.ticks(), duration.ticks()));
            if (tick && tick(m_conversionProgress.load())) {
                aborted = true;
                break;
            }
        } while (!m_graph.waitForEnd(kProgressInterval));
        if (aborted) {
            // What was read still reaches the file: the frames in the codecs' hands and the sound beside them,
            // so that the shortened file's picture and sound end together.
            m_graph.endEarly();
            m_graph.waitForEnd(kAbortDrainTimeout);
            m_conversionDone.store(true);
            result.nothingWritten = (m_seeking ? m_seeking->position() : m_graph.position()).ticks() <= 0;
        }
    } catch (const std::exception& error) {
        m_graph.stop();
        result.outcome = ConversionOutcome::Failed;
        result.message = error.what();
        result.warnings = runWarnings();
        ResetConversionGraph();
        return result;
    }
    m_graph.stop();
    result.warnings = runWarnings();
    if (const std::string error = m_graph.error(); !error.empty()) {
        result.outcome = ConversionOutcome::Failed;
        result.message = error;
    } else if (aborted && (!m_graph.isComplete() || m_graph.endedEarly())) {
        result.outcome = ConversionOutcome::Aborted;
    } else {
        result.outcome = ConversionOutcome::Completed;
    }
    ResetConversionGraph();
    return result;
}

std::vector<std::string> TCdm::runWarnings() const {
    std::vector<std::string> warnings = m_graph.warnings();
    if (const std::uint64_t damaged = m_damagedFrames.count(); damaged > 0) {
        warnings.push_back(damagedFramesWarning(damaged));
    }
    return warnings;
}

}  // namespace moraven
