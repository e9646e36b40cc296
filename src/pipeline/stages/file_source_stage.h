#pragma once

#include <string>

#include "pipeline/graph/stage.h"

// "File Source (Async.)": names the file a splitter reads. Its one output offers ("strm", "AVI "); the
// splitter downstream reads the file itself, through fileName(). Control thread only.
namespace moraven {

class FileSourceStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "File Source (Async.)";

    FileSourceStage();

    // Takes `path` when it names a readable regular file; false (and the previous name kept) otherwise.
    bool load(const std::string& path);
    const std::string* fileName() const override { return m_path.empty() ? nullptr : &m_path; }

    std::vector<MediaType> outputTypes(const Pin& output) const override;

private:
    std::string m_path;
};

}  // namespace moraven
