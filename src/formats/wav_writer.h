#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "formats/binary_file.h"
#include "formats/byte_order.h"
#include "formats/wave_format.h"

// Writing a new WAV file of sound samples (PCM or any format the wave-format header describes):
//
//   RIFF "WAVE"
//     JUNK   28 bytes, kept for a ds64 chunk
//     fmt    the wave-format header (16 bytes for plain PCM)
//     data   the samples, then a pad byte when their count is odd
//
// The sizes are written by close(). A file whose RIFF size or data size passes 4 GiB (rf64Threshold, lowered
// by tests) becomes RF64 (EBU Tech 3306) at close: "RF64" in place of "RIFF", the JUNK chunk turned into
// "ds64" holding the 64-bit RIFF size, data size and sample count, and 0xFFFFFFFF in both 32-bit size
// fields. Smaller files stay plain RIFF WAVE, which every reader takes.
//
// Like the AVI writer, the file is written under a temporary name beside `path` and renamed to `path` by
// close() without ever replacing a file (formats/new_file.h); a writer destroyed without close() or after a
// failure removes what it wrote. I/O failures throw FileError, after which every call throws it again.
// Threads: one thread uses a writer at a time.
namespace moraven {

class NewFile;

class WavWriter {
  public:
    struct Options {
        // RF64 once the RIFF size or the data size would not fit a 32-bit size field: above this many bytes.
        std::uint64_t rf64Threshold = 0xFFFFFFFFu;
        std::size_t writeBufferBytes = std::size_t{4} << 20;
    };

    // Refuses a `path` that names anything already (FileError AlreadyExists), and a format without a block
    // size or byte rate (std::invalid_argument).
    WavWriter(const std::string& path, const WaveFormat& format);
    WavWriter(const std::string& path, const WaveFormat& format, const Options& options);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    const std::string& path() const { return m_path; }
    const WaveFormat& format() const { return m_format; }

    // Appends samples: whole blocks (format().blockAlign bytes each) in the order they play.
    void write(Bytes samples);

    // Completes the header and renames the file to `path`.
    void close();
    // Removes what was written; nothing is left on disk.
    void discard() noexcept;

    bool isOpen() const;
    std::uint64_t dataBytes() const { return m_dataBytes; }

  private:
    void checkUsable() const;
    [[noreturn]] void fail(const FileError& error);

    std::string m_path;
    WaveFormat m_format;
    Options m_options;
    std::unique_ptr<NewFile> m_file;
    std::optional<FileError> m_error;
    std::uint64_t m_dataStart = 0;  // file offset of the first sample
    std::uint64_t m_dataBytes = 0;
    bool m_closed = false;     // closed or discarded: no more samples
    bool m_committed = false;  // closed: the file exists under its name
};

}  // namespace moraven
