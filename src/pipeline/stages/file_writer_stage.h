#pragma once

#include <string>

#include "pipeline/graph/stage.h"

// "File writer": names the file that the multiplexer upstream (AVI Mux, WAV Dest) writes through the
// program's own writers. One input accepting ("strm", any subtype); it receives no samples itself.
// Control thread only.
namespace moraven {

class FileWriterStage final : public Stage {
public:
    static constexpr const char* kDisplayName = "File writer";

    FileWriterStage();

    void setFileName(std::string path) { m_path = std::move(path); }
    const std::string* fileName() const override { return m_path.empty() ? nullptr : &m_path; }

    bool acceptsInput(const Pin& input, const MediaType& type) const override;

private:
    std::string m_path;
};

}  // namespace moraven
