#include "pipeline/conversion/tcdm.h"

#include <chrono>
#include <stdexcept>
#include <utility>

#include "formats/binary_file.h"
#include "pipeline/stages/acm_wrapper_stage.h"
#include "pipeline/stages/stage_factory.h"

namespace moraven {

namespace {

constexpr std::chrono::milliseconds kProgressInterval{100};

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

TCdm::TCdm() : m_dvHeader(m_sceneDetect), m_superposer(m_sceneDetect) {
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
    // A DV frame carries two stereo pairs only as 32 kHz sound: a file with two sound streams has both
    // converted to it, so that neither is lost.
    if (soundOutputCount(*splitter) >= 2) {
        const WaveFormat pair = WaveFormat::pcm(2, 32000, 16);
        acm1.setOutputFormat(pair);
        acm2.setOutputFormat(pair);
    }
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
    bool dv = false;
    for (Pin* out : freeOutputs(*splitter)) {
        if (m_graph.connect(*out, *m_dvHeader.input(0))) {
            dv = true;
            break;
        }
    }
    if (!dv) return fail(input + " has no DV stream");
    connectToFree(*m_dvHeader.output(0), aviMux);
    if (splitter->pins(PinDirection::Output).size() > 1) {
        // The multiplexer always keeps one free input: each sound stream takes the next.
        for (Stage* acm : {&acm1, &acm2}) {
            if (Pin* next = firstFreeInput(aviMux)) connectSoundThrough(*splitter, *acm, *next);
        }
    }
    return finishWithMux(aviMux);
}

// The graphs that decode and encode pictures come with their stages.
bool TCdm::BuildNtscPalGraph(const std::string&, const std::string&, DvSystem, bool) {
    return fail("re-encoding DV is not available yet");
}

bool TCdm::BuildInlayGraph(const std::string&, const std::string&, DvSystem, bool) {
    return fail("re-encoding DV is not available yet");
}

bool TCdm::BuildRecompressGraph(const std::string&, const std::string&, DvSystem, int) {
    return fail("recompressing into DV is not available yet");
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
                m_conversionDone.store(true);
                break;
            }
        } while (!m_graph.waitForEnd(kProgressInterval));
    } catch (const std::exception& error) {
        m_graph.stop();
        result.outcome = ConversionOutcome::Failed;
        result.message = error.what();
        result.warnings = m_graph.warnings();
        ResetConversionGraph();
        return result;
    }
    m_graph.stop();
    result.warnings = m_graph.warnings();
    if (const std::string error = m_graph.error(); !error.empty()) {
        result.outcome = ConversionOutcome::Failed;
        result.message = error;
    } else if (aborted && !m_graph.isComplete()) {
        result.outcome = ConversionOutcome::Aborted;
    } else {
        result.outcome = ConversionOutcome::Completed;
    }
    ResetConversionGraph();
    return result;
}

}  // namespace moraven
