#include "pipeline/graph/stage.h"

#include <algorithm>

#include "pipeline/graph/graph.h"

namespace moraven {

Stage::~Stage() {
    // A stage destroyed while still in a graph (one the caller added and did not remove) leaves it first, so
    // that no peer points at its pins.
    if (m_graph != nullptr) m_graph->remove(*this);
}

std::vector<Pin*> Stage::pins(PinDirection direction) const {
    std::vector<Pin*> result;
    for (const auto& pin : m_pins) {
        if (pin->direction() == direction) result.push_back(pin.get());
    }
    return result;
}

Pin* Stage::input(std::size_t index) const {
    const auto inputs = pins(PinDirection::Input);
    return index < inputs.size() ? inputs[index] : nullptr;
}

Pin* Stage::output(std::size_t index) const {
    const auto outputs = pins(PinDirection::Output);
    return index < outputs.size() ? outputs[index] : nullptr;
}

Pin* Stage::findPin(std::string_view name) const {
    for (const auto& pin : m_pins) {
        if (pin->name() == name) return pin.get();
    }
    return nullptr;
}

std::vector<MediaType> Stage::outputTypes(const Pin&) const { return {}; }

bool Stage::acceptsInput(const Pin&, const MediaType&) const { return true; }

void Stage::connected(Pin&) {}

void Stage::disconnected(Pin&) {}

bool Stage::firstSample(const Pin&, MediaSample&) const { return false; }

void Stage::receive(Pin&, MediaSample&) {}

void Stage::endOfStream(Pin&) {
    for (Pin* out : pins(PinDirection::Output)) deliverEndOfStream(*out);
}

Pin& Stage::addPin(PinDirection direction, std::string name) {
    m_pins.push_back(std::make_unique<Pin>(*this, direction, std::move(name)));
    return *m_pins.back();
}

void Stage::removeUnconnectedPins(PinDirection direction) {
    std::erase_if(m_pins, [direction](const std::unique_ptr<Pin>& pin) {
        return pin->direction() == direction && !pin->isConnected();
    });
}

void Stage::deliver(const Pin& output, MediaSample& sample) {
    Pin* peer = output.peer();
    if (peer != nullptr) peer->stage().receive(*peer, sample);
}

void Stage::endEarly() {
    for (const Pin* output : pins(PinDirection::Output)) deliverEndOfStream(*output);
}

void Stage::deliverEndOfStream(const Pin& output) {
    Pin* peer = output.peer();
    if (peer == nullptr) return;
    Stage& receiver = peer->stage();
    receiver.endOfStream(*peer);
    // A renderer whose stream is over counts as ready for a pause: it will have no sample to show.
    if (receiver.isRenderer() && receiver.m_graph != nullptr) receiver.m_graph->onRendererEnded(receiver);
}

bool Stage::rendered(const MediaSample& sample, bool paced) {
    return m_graph == nullptr || m_graph->onRendered(*this, sample, paced);
}

void Stage::warn(const std::string& text) {
    if (m_graph != nullptr) m_graph->onWarning(text);
}

}  // namespace moraven
