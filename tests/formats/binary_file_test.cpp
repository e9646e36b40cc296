#include "formats/binary_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "formats/fourcc.h"
#include "support/temp_dir.h"

namespace moraven {
namespace {

TEST(FourCCTest, BytesLowestFirstAreTheCharactersInFileOrder) {
    EXPECT_EQ(FourCC::of("dvsd").value(), 0x64737664u);
    EXPECT_EQ(FourCC(0x64737664u).text(), "dvsd");
    EXPECT_EQ(FourCC::of("DVSD").lowerCase(), FourCC::of("dvsd"));
    const std::uint8_t bytes[] = {'x', 'i', 'a', 'v', 's'};
    EXPECT_EQ(FourCC::at(bytes, 1), FourCC::of("iavs"));
    EXPECT_EQ(FourCC::at(bytes, 2).value(), 0u) << "a code that does not fit reads as zero";
}

TEST(ByteOrderTest, ReadsPastTheEndGiveZeroAndWritesPastTheEndDoNothing) {
    std::uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(u32le(bytes, 2), 0x06050403u);
    EXPECT_EQ(u32le(bytes, 3), 0u);
    EXPECT_EQ(u16le(bytes, SIZE_MAX), 0u);
    putU32le(bytes, 4, 0xFFFFFFFF);
    EXPECT_EQ(bytes[4], 5);
    putU16le(bytes, 4, 0xABCD);
    EXPECT_EQ(u16le(bytes, 4), 0xABCD);
}

TEST(BinaryFileTest, ReadsComeUpShortAtTheEndAndPositionsMayPassIt) {
    test::TempDir dir;
    const auto path = dir.write("a.bin", {1, 2, 3, 4, 5});
    BinaryFile file(path, BinaryFile::Mode::Read);
    EXPECT_EQ(file.size(), 5u);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(file.read(buffer), 4u);
    EXPECT_EQ(file.read(buffer), 1u);
    EXPECT_EQ(buffer[0], 5);
    file.seek(100);
    EXPECT_EQ(file.read(buffer), 0u);
    file.seek(-3);
    EXPECT_EQ(file.read(buffer), 0u);
}

TEST(BinaryFileTest, WritesOnlyTheGivenBytesInPlace) {
    test::TempDir dir;
    const auto path = dir.write("a.bin", {1, 2, 3, 4, 5});
    {
        BinaryFile file(path, BinaryFile::Mode::Write);
        file.seek(1);
        const std::uint8_t patch[] = {9, 9};
        file.write(patch);
    }
    EXPECT_EQ(test::readWholeFile(path), (std::vector<std::uint8_t>{1, 9, 9, 4, 5}));
}

TEST(BinaryFileTest, OpenFailuresCarryTheirReason) {
    test::TempDir dir;
    const struct {
        std::string path;
        FileErrorCode code;
    } cases[] = {
        {dir.file("missing.avi"), FileErrorCode::NotFound},
        {dir.path().string(), FileErrorCode::NotAFile},
        {dir.file("missing/deeper.avi"), FileErrorCode::NotFound},
    };
    for (const auto& c : cases) {
        try {
            BinaryFile file(c.path, BinaryFile::Mode::Read);
            ADD_FAILURE() << c.path << " opened";
        } catch (const FileError& e) {
            EXPECT_EQ(e.code(), c.code) << c.path;
            EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(fileExists(dir.path().string()));
    EXPECT_FALSE(fileExists(dir.file("missing.avi")));
    EXPECT_TRUE(fileExists(dir.write("x", {})));
}

TEST(BinaryFileTest, ANamedPipeIsRefusedWithoutBlocking) {
    test::TempDir dir;
    const auto path = dir.file("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_THROW(BinaryFile(path, BinaryFile::Mode::Read), FileError);
}

}  // namespace
}  // namespace moraven
