#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace moraven {

// The groups in which stages are listed: most stages are in the general group; the DV encoder is listed
// among the video compressors.
enum class StageCategory {
    General,
    VideoCompressor,
};

// The stages that the media framework can put into a graph, listed by display name ("AVI Splitter") within
// their category. Graph modules find their stages here by name.
class StageRegistry {
public:
    // Lists a stage; a name listed twice in one category stays listed once.
    void add(StageCategory category, std::string displayName);

    // Whether `displayName` (compared exactly) is listed in `category`.
    bool contains(StageCategory category, std::string_view displayName) const;

    // The names listed in `category`, in the order they were added.
    std::vector<std::string> displayNames(StageCategory category) const;

private:
    struct Entry {
        StageCategory category;
        std::string displayName;
    };
    std::vector<Entry> m_entries;
};

// The stages this program provides: those the stage factory makes (pipeline/stages/stage_factory.h), under
// the names the graphs ask for, among them "Pinnacle Video Deinterlacer" and "WAV Dest", and the program's
// three own processing stages. Made once, on first use, from the factory's list.
const StageRegistry& installedStages();

// Whether a stage of that display name is listed in the general category.
bool FindFilter(std::string_view name, const StageRegistry& registry = installedStages());

// Whether a stage of that display name is listed in `category`.
bool FindFilterIn(StageCategory category, std::string_view name,
                  const StageRegistry& registry = installedStages());

}  // namespace moraven
