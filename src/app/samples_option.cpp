#include "app/samples_option.h"

#include <filesystem>

#include <QStandardPaths>

#include "pipeline/samples/sample_recordings.h"

namespace moraven {

std::string sampleRecordingsFolder() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return (std::filesystem::path(cache.toStdString()) / "moraven" / "samples").string();
}

std::vector<std::string> prepareSampleRecordings(std::FILE* errors) {
    const std::string folder = sampleRecordingsFolder();
    bool missing = false;
    for (const SampleRecordingSpec& spec : sampleRecordingSpecs()) {
        std::error_code ignored;
        if (!std::filesystem::exists(std::filesystem::path(folder) / spec.fileName, ignored)) missing = true;
    }
    if (missing) std::fprintf(errors, "moraven: making the sample recordings in %s\n", folder.c_str());
    const SampleRecordingsResult result = ensureSampleRecordings(folder);
    if (!result.error.empty()) {
        std::fprintf(errors, "moraven: the sample recordings could not all be made: %s\n", result.error.c_str());
    }
    return result.paths;
}

}  // namespace moraven
