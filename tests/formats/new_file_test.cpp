#include "formats/new_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace moraven {
namespace {

std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

// Small appends stay in the buffer; a gathered append of large parts goes to the file with what the buffer
// holds: whichever way each append takes, the file holds every byte in the order appended, and a patch of
// bytes appended earlier lands in place.
TEST(NewFileTest, AppendsInEveryWayKeepTheirOrder) {
    struct Case {
        const char* name;
        std::vector<std::vector<std::size_t>> appends;  // one entry per append: the sizes of its parts
        std::size_t bufferBytes;
    };
    const std::size_t large = NewFile::kGatherBytes;
    const std::vector<Case> cases = {
        {"small parts only", {{8}, {8, 1000, 1}, {3}}, 4096},
        {"a frame after buffered bytes", {{8}, {8, large, 1}, {8, 7680}}, 1 << 20},
        {"frames one after another", {{8, large + 3, 1}, {8, large, 0}, {8, large * 2}}, 1 << 20},
        {"a large part into a small buffer", {{5000}, {8, large / 2, large / 2}, {100}}, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string target = dir.file("out.bin");
        NewFile file(target, c.bufferBytes);
        std::vector<std::uint8_t> expected;
        std::uint8_t seed = 1;
        for (const auto& sizes : c.appends) {
            std::vector<std::vector<std::uint8_t>> pieces;
            for (std::size_t size : sizes) pieces.push_back(pattern(size, seed++));
            for (const auto& piece : pieces) expected.insert(expected.end(), piece.begin(), piece.end());
            const std::vector<Bytes> parts(pieces.begin(), pieces.end());
            file.append(parts);
            EXPECT_EQ(file.size(), expected.size());
        }
        const std::vector<std::uint8_t> patch = {0xAA, 0xBB, 0xCC};
        file.overwrite(4, patch);
        std::copy(patch.begin(), patch.end(), expected.begin() + 4);
        file.commit();
        EXPECT_EQ(test::readWholeFile(target), expected);
    }
}

}  // namespace
}  // namespace moraven
