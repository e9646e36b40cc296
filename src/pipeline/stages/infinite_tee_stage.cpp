#include "pipeline/stages/infinite_tee_stage.h"

#include <cstdio>

namespace moraven {

namespace {

std::string numberedName(const char* prefix, int number) {
    char text[32];
    std::snprintf(text, sizeof text, "%s %02d", prefix, number);
    return text;
}

}  // namespace

InfiniteTeeStage::InfiniteTeeStage() : Stage(kDisplayName) {
    addPin(PinDirection::Input, "Input");
    keepOneFreeOutput();
}

void InfiniteTeeStage::keepOneFreeOutput() {
    removeUnconnectedPins(PinDirection::Output);
    addPin(PinDirection::Output, numberedName("Output", m_nextOutput++));
}

std::vector<MediaType> InfiniteTeeStage::outputTypes(const Pin&) const {
    const Pin* in = input(0);
    if (!in->isConnected()) return {};
    return {in->connectionType()};
}

bool InfiniteTeeStage::firstSample(const Pin&, MediaSample& sample) const {
    const Pin* upstream = input(0)->peer();
    return upstream != nullptr && upstream->stage().firstSample(*upstream, sample);
}

void InfiniteTeeStage::connected(Pin& pin) {
    if (pin.direction() == PinDirection::Output) keepOneFreeOutput();
}

void InfiniteTeeStage::disconnected(Pin& pin) {
    if (pin.direction() == PinDirection::Output) keepOneFreeOutput();
}

void InfiniteTeeStage::receive(Pin&, MediaSample& sample) {
    const Pin* last = nullptr;
    for (Pin* out : pins(PinDirection::Output)) {
        if (out->isConnected()) last = out;
    }
    for (Pin* out : pins(PinDirection::Output)) {
        if (!out->isConnected() || out == last) continue;
        // assign() reuses the copy's buffer: no allocation per sample once it is large enough.
        m_copy.data.assign(sample.data.begin(), sample.data.end());
        m_copy.copyMarksFrom(sample);
        m_copy.typeChange = sample.typeChange;
        deliver(*out, m_copy);
    }
    if (last != nullptr) deliver(*last, sample);
}

}  // namespace moraven
