#include "pipeline/stage_registry.h"

#include <utility>

namespace moraven {

void StageRegistry::add(StageCategory category, std::string displayName) {
    if (contains(category, displayName)) return;
    m_entries.push_back({category, std::move(displayName)});
}

bool StageRegistry::contains(StageCategory category, std::string_view displayName) const {
    for (const Entry& entry : m_entries) {
        if (entry.category == category && entry.displayName == displayName) return true;
    }
    return false;
}

std::vector<std::string> StageRegistry::displayNames(StageCategory category) const {
    std::vector<std::string> names;
    for (const Entry& entry : m_entries) {
        if (entry.category == category) names.push_back(entry.displayName);
    }
    return names;
}

const StageRegistry& installedStages() {
    static const StageRegistry registry = [] {
        StageRegistry stages;
        for (const char* name : {
                 "File Source (Async.)",
                 "AVI Splitter",
                 "DV Splitter",
                 "DV Video Decoder",
                 "DV Muxer",
                 "AVI Mux",
                 "File writer",
                 "ACM Wrapper",
                 "WAV Dest",
                 "Color Space Converter",
                 "Infinite Pin Tee Filter",
                 "Null Renderer",
                 "Pinnacle Video Deinterlacer",
                 "Sample Grabber",
                 "Video Renderer",
                 "Velloran cf_Superposer",
                 "Velloran dv_sceneDetect",
                 "Velloran cf_DVHeader",
             }) {
            stages.add(StageCategory::General, name);
        }
        stages.add(StageCategory::VideoCompressor, "DV Video Encoder");
        return stages;
    }();
    return registry;
}

bool FindFilter(std::string_view name, const StageRegistry& registry) {
    return registry.contains(StageCategory::General, name);
}

bool FindFilterIn(StageCategory category, std::string_view name, const StageRegistry& registry) {
    return registry.contains(category, name);
}

}  // namespace moraven
