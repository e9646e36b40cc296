#include "pipeline/framework_version.h"

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "support/external_tools.h"

namespace moraven {
namespace {

// ffprobe is built on the same shared libraries: its banner lists the versions it runs with, as
// "libavutil      57. 28.100 / 57. 28.100" (built with / running with).
LibraryVersion versionInBanner(const std::string& banner, const std::string& library) {
    const std::regex line(library + R"(\s+\d+\.\s*\d+\.\s*\d+\s*/\s*(\d+)\.\s*(\d+)\.\s*(\d+))");
    std::smatch match;
    if (!std::regex_search(banner, match, line)) return {};
    return {static_cast<unsigned>(std::stoul(match[1])), static_cast<unsigned>(std::stoul(match[2])),
            static_cast<unsigned>(std::stoul(match[3]))};
}

TEST(FrameworkVersionTest, NamesTheLibrariesThatAreLoaded) {
    if (!test::programAvailable("ffprobe")) GTEST_SKIP() << "ffprobe is not installed";
    const test::ProgramResult banner = test::runProgram({"ffprobe", "-hide_banner", "-version"});
    ASSERT_EQ(banner.exitCode, 0);
    const MediaFrameworkVersions versions = mediaFrameworkVersions();
    EXPECT_EQ(versions.avutil, versionInBanner(banner.output, "libavutil"));
    EXPECT_EQ(versions.avcodec, versionInBanner(banner.output, "libavcodec"));
    EXPECT_EQ(versions.avformat, versionInBanner(banner.output, "libavformat"));
    EXPECT_NE(versions.avutil.major, 0u);
    EXPECT_NE(banner.output.find("ffprobe version " + versions.release), std::string::npos);

    const auto text = [](const LibraryVersion& v) {
        return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.micro);
    };
    EXPECT_EQ(MediaFrameworkVersion(), "FFmpeg " + versions.release + " (libavutil " + text(versions.avutil) +
                                           ", libavcodec " + text(versions.avcodec) + ", libavformat " +
                                           text(versions.avformat) + ")");
}

}  // namespace
}  // namespace moraven
