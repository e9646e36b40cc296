#include "pipeline/preview/media_sinks.h"

#include <algorithm>
#include <cmath>

namespace moraven {

int volumeAttenuation(int level) {
    const int clamped = std::clamp(level, 0, 10000);
    return static_cast<int>(std::lround(std::log(clamped + 1.0) * 1085.73)) - 10000;
}

double volumeGain(int level) { return std::pow(10.0, volumeAttenuation(level) / 2000.0); }

}  // namespace moraven
