#pragma once

#include <cstdint>
#include <string>

#include "support/riff_builder.h"

// Sparse OpenDML files: a few real frames at the start, then a hole up to a large declared size (ftruncate:
// the hole takes no disk space and reads as zeros).
namespace moraven::test {

enum class SparseAviShape {
    // The last form's ix00 index is declared to run to the end of the file: its entries in the hole are all
    // zero, so all name the same empty chunk.
    IndexOverTheHole,
    // No index: the last movi list is declared to run to the end of the file, over the hole.
    MoviOverTheHole,
};

struct SparseAvi {
    std::string path;
    std::uint64_t lastIndexEntries = 0;  // the entries that the last ix00 can hold (IndexOverTheHole)
    int lastFormFrames = 0;              // the frames that the last form really holds
};

// Writes openDmlAvi(options) without audio and without idx1 to `path`, declares its last RIFF form and movi
// list (and, for IndexOverTheHole, its last ix00 with 0xFFFFFFFF entries in use) to end at `declaredBytes`,
// and extends the file to that size. `declaredBytes` must be at most 4 GiB past the last form.
SparseAvi writeSparseAvi(const std::string& path, OpenDmlOptions options, std::uint64_t declaredBytes,
                         SparseAviShape shape);

}  // namespace moraven::test
