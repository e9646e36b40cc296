#include "pipeline/stage_registry.h"

#include <utility>

#include "pipeline/stages/stage_factory.h"

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
        for (const StageListing& stage : creatableStages()) stages.add(stage.category, std::string(stage.displayName));
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
