#include "support/sparse_avi.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace moraven::test {

namespace {

void putU32(ByteVector& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The size field of the chunk at `pos` so that its data ends at `end`.
void declareToEnd(ByteVector& file, std::size_t pos, std::uint64_t end) {
    putU32(file, pos + 4, static_cast<std::uint32_t>(end - pos - 8));
}

}  // namespace

SparseAvi writeSparseAvi(const std::string& path, OpenDmlOptions options, std::uint64_t declaredBytes,
                         SparseAviShape shape) {
    options.withAudio = false;
    options.withIdx1 = false;
    ByteVector file = openDmlAvi(options);
    const bool oneForm = options.frames <= options.framesPerForm;
    const std::size_t lastForm = chunkPositions(file, oneForm ? "AVI " : "AVIX").back();
    const std::size_t lastMovi = chunkPositions(file, "movi").back();
    // Without audio, the last form's ix00 is the last chunk of the file.
    const std::size_t lastIndex = chunkPositions(file, "ix00").back();
    declareToEnd(file, lastForm, declaredBytes);
    declareToEnd(file, lastMovi, declaredBytes);

    SparseAvi result;
    result.path = path;
    result.lastFormFrames = options.frames - (options.frames - 1) / options.framesPerForm * options.framesPerForm;
    if (shape == SparseAviShape::IndexOverTheHole) {
        declareToEnd(file, lastIndex, declaredBytes);
        putU32(file, lastIndex + 8 + 4, 0xFFFFFFFFu);  // entries in use
        result.lastIndexEntries = (declaredBytes - lastIndex - 8 - 24) / 8;
    } else {
        for (const std::size_t pos : chunkPositions(file, "indx")) std::copy_n("JUNK", 4, file.begin() + static_cast<std::ptrdiff_t>(pos));
    }

    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    const bool written = ::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()) &&
                         ::ftruncate(fd, static_cast<off_t>(declaredBytes)) == 0;
    ::close(fd);
    if (!written) throw std::runtime_error("cannot write " + path);
    return result;
}

}  // namespace moraven::test
