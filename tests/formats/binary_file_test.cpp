#include "formats/binary_file.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <vector>

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

// Parts of many sizes, empty ones among them, and more of them than one system call takes.
TEST(BinaryFileTest, AGatheredWriteLandsItsPartsOneAfterTheOtherAtThePosition) {
    test::TempDir dir;
    const auto path = dir.write("a.bin", {7, 7, 7});
    std::vector<std::vector<std::uint8_t>> pieces;
    std::vector<std::uint8_t> expected = {7, 7};
    for (std::size_t k = 0; k < 150; ++k) {
        pieces.emplace_back(k % 7 == 0 ? 0 : k * 13 % 300, static_cast<std::uint8_t>(k));
        expected.insert(expected.end(), pieces.back().begin(), pieces.back().end());
    }
    const std::vector<Bytes> parts(pieces.begin(), pieces.end());
    BinaryFile file(path, BinaryFile::Mode::ReadWrite);
    file.seek(2);
    file.write(parts);
    EXPECT_EQ(file.position(), static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(file.size(), expected.size());
    EXPECT_EQ(test::readWholeFile(path), expected);
}

// A file size limit cuts the write short at the limit: the bytes up to it are the right ones, and the rest
// fails with the system's reason.
TEST(BinaryFileTest, AGatheredWriteCutShortKeepsWhatItWroteAndFails) {
    test::TempDir dir;
    const auto path = dir.write("a.bin", {});
    const std::vector<std::uint8_t> first(3000, 1), second(3000, 2);
    const Bytes parts[] = {first, second};
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::optional<FileError> error;
    try {
        BinaryFile file(path, BinaryFile::Mode::Write);
        file.write(parts);
    } catch (const FileError& e) {
        error = e;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), FileErrorCode::WriteFailed);
    EXPECT_EQ(error->systemError(), EFBIG);
    std::vector<std::uint8_t> expected(first);
    expected.insert(expected.end(), 4096 - first.size(), 2);
    EXPECT_EQ(test::readWholeFile(path), expected);
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
