#include "formats/avi_writer.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "formats/avi_demuxer.h"
#include "support/dv_frame_builder.h"
#include "support/riff_builder.h"
#include "support/temp_dir.h"

// The AVI writer read back by the demuxer, sample for sample, and the file's own structure where the
// demuxer does not show it (forms, idx1, the header area). Files made by the writer are checked by ffprobe
// and mediainfo in writer_tools_test.cpp.
namespace moraven {
namespace {

using test::ByteVector;
using Samples = std::vector<ByteVector>;

constexpr std::size_t kPalSoundBlock = 7680;  // 1920 stereo 16-bit samples: one PAL frame at 48 kHz

// A DV frame of `system` whose source control pack says 16:9 (display select 2) or 4:3 (0); `index` is
// written into a video block so that every frame differs.
ByteVector dvFrame(DvSystem system, bool wide, int index) {
    test::DvFrameBuilder builder(system);
    builder.sourceControl(0, wide ? 2 : 0);
    ByteVector frame = builder.bytes();
    frame[test::DvFrameBuilder::at(0, 7 * 80 + 10)] = static_cast<std::uint8_t>(index);
    frame[test::DvFrameBuilder::at(1, 7 * 80 + 10)] = static_cast<std::uint8_t>(index >> 8);
    return frame;
}

ByteVector sound(std::size_t bytes, int seed) {
    ByteVector out(bytes);
    for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(seed * 31 + i * 7);
    return out;
}

std::array<std::uint8_t, 32> dvInfoBlock() {
    std::array<std::uint8_t, 32> info{};
    for (std::size_t i = 0; i < info.size(); ++i) info[i] = static_cast<std::uint8_t>(0xA0 + i);
    return info;
}

// Every sample of every stream, read back.
std::vector<Samples> readBack(const AviDemuxer& demuxer) {
    std::vector<Samples> out(demuxer.streamCount());
    for (std::size_t s = 0; s < demuxer.streamCount(); ++s) {
        for (std::size_t i = 0; i < demuxer.streams()[s].sampleCount(); ++i) {
            ByteVector sample;
            EXPECT_TRUE(demuxer.readSample(s, i, sample)) << "stream " << s << " sample " << i;
            out[s].push_back(std::move(sample));
        }
    }
    return out;
}

std::vector<std::string> folderEntries(const test::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A DV type 2 file of `frames` PAL frames and `soundStreams` sound streams, one block per frame each, pushed
// in the usual order (frame k, then its sound). Returns what was pushed, stream by stream.
std::vector<Samples> writeType2(const std::string& path, int frames, int soundStreams, bool wide = false,
                                const AviWriter::Options& options = {}) {
    AviWriter writer(path, options);
    std::vector<Samples> pushed(static_cast<std::size_t>(1 + soundStreams));
    EXPECT_EQ(writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625, dvInfoBlock())), 0);
    for (int a = 0; a < soundStreams; ++a) {
        EXPECT_EQ(writer.addAudioStream(WaveFormat::pcm(2, 48000, 16)), a + 1);
    }
    for (int k = 0; k < frames; ++k) {
        pushed[0].push_back(dvFrame(DvSystem::Pal625, wide, k));
        writer.writeSample(0, pushed[0].back());
        for (int a = 0; a < soundStreams; ++a) {
            pushed[static_cast<std::size_t>(a + 1)].push_back(sound(kPalSoundBlock, k + 1000 * a));
            writer.writeSample(a + 1, pushed[static_cast<std::size_t>(a + 1)].back());
        }
    }
    writer.close();
    return pushed;
}

TEST(AviWriterTest, Type2WithTwoSoundStreamsReadsBackSampleForSample) {
    test::TempDir dir;
    const std::string path = dir.file("type2.avi");
    const auto pushed = writeType2(path, 30, 2);

    AviDemuxer demuxer(path);
    ASSERT_TRUE(demuxer.isAvi());
    EXPECT_EQ(readBack(demuxer), pushed);
    EXPECT_EQ(demuxer.riffFormCount(), 1u);

    const AviMainHeader& main = demuxer.mainHeader();
    EXPECT_EQ(main.microSecPerFrame, 40000u);
    EXPECT_EQ(main.totalFrames, 30u);
    EXPECT_EQ(main.streams, 3u);
    EXPECT_EQ(main.width, 720u);
    EXPECT_EQ(main.height, 576u);
    EXPECT_EQ(main.flags & 0x110u, 0x110u) << "has an index, is interleaved";
    EXPECT_EQ(main.suggestedBufferSize, 144008u);
    EXPECT_EQ(main.maxBytesPerSec, 144000u * 25 + 2 * 192000u);
    EXPECT_EQ(demuxer.odmlTotalFrames(), 30u);

    const AviStream& video = demuxer.streams()[0];
    EXPECT_EQ(video.kind(), AviStreamKind::Video);
    EXPECT_EQ(video.header.handler, FourCC::of("dvsd"));
    EXPECT_EQ(video.header.length, 30u);
    EXPECT_EQ(video.header.suggestedBufferSize, 144000u);
    EXPECT_EQ(video.header.rate, 25u);
    EXPECT_EQ(video.header.scale, 1u);
    ASSERT_TRUE(video.mediaType.bitmap() && video.mediaType.dvInfo());
    EXPECT_EQ(video.mediaType.bitmap()->compression, FourCC::of("dvsd"));
    EXPECT_EQ(video.mediaType.bitmap()->width, 720);
    EXPECT_EQ(video.mediaType.bitmap()->height, 576);
    EXPECT_EQ(video.mediaType.bitmap()->sizeImage, 144000u);
    EXPECT_EQ(video.mediaType.dvInfo()->aauxSrc, 0xA3A2A1A0u);
    EXPECT_EQ(video.duration(), MediaTime::fromTicks(30 * 400000));
    EXPECT_EQ(video.indexSource, AviIndexSource::Idx1);

    for (std::size_t s : {1u, 2u}) {
        const AviStream& audio = demuxer.streams()[s];
        EXPECT_EQ(audio.kind(), AviStreamKind::Audio);
        ASSERT_TRUE(audio.mediaType.wave());
        EXPECT_EQ(audio.mediaType.wave()->formatTag, 1);
        EXPECT_EQ(audio.mediaType.wave()->channels, 2);
        EXPECT_EQ(audio.mediaType.wave()->samplesPerSecond, 48000u);
        EXPECT_EQ(audio.mediaType.wave()->blockAlign, 4);
        EXPECT_EQ(audio.header.sampleSize, 4u);
        EXPECT_EQ(audio.header.length, 30u * 1920);
        EXPECT_EQ(audio.header.suggestedBufferSize, kPalSoundBlock);
        EXPECT_EQ(audio.duration(), video.duration());
        EXPECT_FALSE(audio.videoProperties);
    }

    // Interleaved: frame k, its two sound blocks, then frame k + 1.
    for (std::size_t k = 0; k + 1 < 30; ++k) {
        EXPECT_LT(video.samples[k].offset, demuxer.streams()[1].samples[k].offset);
        EXPECT_LT(demuxer.streams()[1].samples[k].offset, demuxer.streams()[2].samples[k].offset);
        EXPECT_LT(demuxer.streams()[2].samples[k].offset, video.samples[k + 1].offset);
    }
}

TEST(AviWriterTest, Type1ReadsBackWithItsDvInformationBlock) {
    test::TempDir dir;
    const std::string path = dir.file("type1.avi");
    Samples pushed;
    {
        AviWriter writer(path);
        ASSERT_EQ(writer.addInterleavedDvStream(DvSystem::Ntsc525, dvInfoBlock()), 0);
        for (int k = 0; k < 12; ++k) {
            pushed.push_back(dvFrame(DvSystem::Ntsc525, false, k));
            writer.writeSample(0, pushed.back());
        }
        EXPECT_EQ(writer.sampleCount(0), 12u);
        writer.close();
    }
    AviDemuxer demuxer(path);
    ASSERT_EQ(demuxer.streamCount(), 1u);
    EXPECT_EQ(readBack(demuxer), std::vector<Samples>{pushed});
    const AviStream& stream = demuxer.streams()[0];
    EXPECT_EQ(stream.kind(), AviStreamKind::Interleaved);
    EXPECT_EQ(stream.header.handler, FourCC::of("dvsd"));
    const auto info = dvInfoBlock();
    EXPECT_EQ(stream.mediaType.format(), ByteVector(info.begin(), info.end()));
    EXPECT_EQ(stream.header.rate, 30000u);
    EXPECT_EQ(stream.header.scale, 1001u);
    EXPECT_EQ(stream.header.length, 12u);
    EXPECT_EQ(demuxer.mainHeader().microSecPerFrame, 33367u);
    EXPECT_EQ(demuxer.mainHeader().height, 480u);
    EXPECT_EQ(demuxer.odmlTotalFrames(), 12u);
}

TEST(AviWriterTest, SoundOnlyFileReadsBack) {
    test::TempDir dir;
    const std::string path = dir.file("sound.avi");
    Samples pushed;
    {
        AviWriter writer(path);
        ASSERT_EQ(writer.addAudioStream(WaveFormat::pcm(2, 44100, 16)), 0);
        for (std::size_t bytes : {4u, 17640u, 0u, 4000u, 8820u}) {
            pushed.push_back(sound(bytes, static_cast<int>(bytes)));
            writer.writeSample(0, pushed.back());
        }
        writer.close();
    }
    AviDemuxer demuxer(path);
    EXPECT_EQ(readBack(demuxer), std::vector<Samples>{pushed});
    const AviStream& audio = demuxer.streams()[0];
    EXPECT_EQ(audio.header.length, (4u + 17640 + 4000 + 8820) / 4);
    EXPECT_EQ(audio.duration(), MediaTime::fromTicks(10'000'000LL * 7616 / 44100));
    EXPECT_EQ(demuxer.mainHeader().totalFrames, 0u) << "no video frames";
    EXPECT_EQ(demuxer.mainHeader().width, 0u);
}

// The vprp chunk of a DV stream tells players the frame aspect, from the source control pack of the frame.
TEST(AviWriterTest, VideoPropertiesCarryTheSystemAndTheFrameAspectOfTheFrames) {
    struct Case {
        DvSystem system;
        bool wide;
        bool interleaved;
        std::uint32_t standard, lines, height;
        std::uint16_t x, y;
    };
    const Case cases[] = {
        {DvSystem::Pal625, false, false, 1, 625, 576, 4, 3},
        {DvSystem::Pal625, true, false, 1, 625, 576, 16, 9},
        {DvSystem::Ntsc525, true, false, 2, 525, 480, 16, 9},
        {DvSystem::Ntsc525, false, true, 2, 525, 480, 4, 3},
        {DvSystem::Pal625, true, true, 1, 625, 576, 16, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "system " << static_cast<int>(c.system) << " wide " << c.wide
                                        << " interleaved " << c.interleaved);
        test::TempDir dir;
        const std::string path = dir.file("a.avi");
        {
            AviWriter writer(path);
            if (c.interleaved) {
                writer.addInterleavedDvStream(c.system, dvInfoBlock());
            } else {
                writer.addVideoStream(AviVideoFormat::dv(c.system));
            }
            writer.writeSample(0, dvFrame(c.system, c.wide, 0));
            writer.writeSample(0, dvFrame(c.system, !c.wide, 1));  // the first frame decides
            writer.close();
        }
        AviDemuxer demuxer(path);
        ASSERT_EQ(demuxer.streamCount(), 1u);
        const auto& properties = demuxer.streams()[0].videoProperties;
        ASSERT_TRUE(properties);
        EXPECT_EQ(properties->videoStandard, c.standard);
        EXPECT_EQ(properties->verticalTotalLines, c.lines);
        EXPECT_EQ(properties->frameWidth, 720u);
        EXPECT_EQ(properties->frameHeight, c.height);
        EXPECT_EQ(properties->aspectX, c.x);
        EXPECT_EQ(properties->aspectY, c.y);
        EXPECT_EQ(properties->fieldsPerFrame, 2u);
    }
}

// Chunks go into the file by time, whatever order the caller pushes them in within the window; with no
// window they go in the order pushed.
TEST(AviWriterTest, ChunksAreWrittenInTimeOrderWithinTheWindow) {
    for (std::size_t window : {std::size_t{32} << 20, std::size_t{0}}) {
        SCOPED_TRACE(window);
        test::TempDir dir;
        const std::string path = dir.file("a.avi");
        {
            AviWriter::Options options;
            options.interleaveWindowBytes = window;
            AviWriter writer(path, options);
            writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
            writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
            for (int k = 0; k < 10; ++k) writer.writeSample(1, sound(kPalSoundBlock, k));
            for (int k = 0; k < 10; ++k) writer.writeSample(0, dvFrame(DvSystem::Pal625, false, k));
            writer.close();
        }
        AviDemuxer demuxer(path);
        const auto& video = demuxer.streams()[0].samples;
        const auto& audio = demuxer.streams()[1].samples;
        ASSERT_EQ(video.size(), 10u);
        ASSERT_EQ(audio.size(), 10u);
        if (window == 0) {
            EXPECT_LT(audio.back().offset, video.front().offset);
            continue;
        }
        for (std::size_t k = 0; k < 10; ++k) {
            EXPECT_LT(video[k].offset, audio[k].offset);
            if (k + 1 < 10) {
                EXPECT_LT(audio[k].offset, video[k + 1].offset);
            }
        }
    }
}

// Sound that ends early holds at most the window of video back; the rest is written as it comes.
TEST(AviWriterTest, AStreamThatStopsHoldsBackNoMoreThanTheWindow) {
    test::TempDir dir;
    const std::string path = dir.file("a.avi");
    AviWriter::Options options;
    options.interleaveWindowBytes = std::size_t{1} << 20;
    options.writeBufferBytes = 4096;
    AviWriter writer(path, options);
    writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
    writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
    writer.writeSample(1, sound(kPalSoundBlock, 0));
    for (int k = 0; k < 40; ++k) writer.writeSample(0, dvFrame(DvSystem::Pal625, false, k));
    EXPECT_GE(writer.fileBytes() + options.interleaveWindowBytes + 144008, 40u * 144008);
    writer.close();
    AviDemuxer demuxer(path);
    EXPECT_EQ(demuxer.streams()[0].sampleCount(), 40u);
    EXPECT_EQ(demuxer.streams()[1].sampleCount(), 1u);
}

// Past the form size the file goes on in AVIX forms; indx and ix## index every form, idx1 the first one.
TEST(AviWriterTest, OpenDmlFileReadsBackAcrossItsForms) {
    test::TempDir dir;
    const std::string path = dir.file("odml.avi");
    AviWriter::Options options;
    options.riffFormBytes = 1 << 20;
    const auto pushed = writeType2(path, 40, 1, false, options);

    AviDemuxer demuxer(path);
    EXPECT_EQ(readBack(demuxer), pushed);
    for (const AviStream& stream : demuxer.streams()) EXPECT_EQ(stream.indexSource, AviIndexSource::OpenDml);
    EXPECT_GT(demuxer.riffFormCount(), 5u);

    const ByteVector file = test::readWholeFile(path);
    const auto avix = test::chunkPositions(file, "AVIX");
    ASSERT_EQ(avix.size() + 1, demuxer.riffFormCount());
    // Every form stays within the size asked for.
    std::vector<std::size_t> forms{0};
    forms.insert(forms.end(), avix.begin(), avix.end());
    for (std::size_t start : forms) EXPECT_LE(u32le(file, start + 4) + 8u, options.riffFormBytes) << start;
    EXPECT_EQ(forms.back() + 8 + u32le(file, forms.back() + 4), file.size());

    // avih counts the frames of the first form, dmlh and strh the whole file.
    std::uint32_t firstFormFrames = 0;
    for (const AviSample& sample : demuxer.streams()[0].samples) firstFormFrames += sample.offset < avix[0];
    EXPECT_EQ(demuxer.mainHeader().totalFrames, firstFormFrames);
    EXPECT_LT(firstFormFrames, 40u);
    EXPECT_EQ(demuxer.odmlTotalFrames(), 40u);
    EXPECT_EQ(demuxer.streams()[0].header.length, 40u);
    EXPECT_EQ(demuxer.streams()[1].header.length, 40u * 1920);

    // One idx1, in the first form, for the chunks of the first form only.
    const auto idx1 = test::chunkPositions(file, "idx1");
    ASSERT_EQ(idx1.size(), 1u);
    EXPECT_LT(idx1[0], avix[0]);
    EXPECT_EQ(u32le(file, idx1[0] + 4), 16u * 2 * firstFormFrames);
    // One standard index per stream and form, in the form's movi list.
    EXPECT_EQ(test::chunkPositions(file, "ix00").size(), forms.size());
    EXPECT_EQ(test::chunkPositions(file, "ix01").size(), forms.size());
    EXPECT_EQ(test::chunkPositions(file, "indx").size(), 2u);
}

// With small chunks the indexes weigh as much as the data: a form's limit counts them too, and a form is
// only ended when the next chunk would not fit.
TEST(AviWriterTest, FormsCountTheirIndexesAgainstTheSizeLimit) {
    test::TempDir dir;
    const std::string path = dir.file("a.avi");
    const std::uint64_t limit = 16384;
    Samples pushed;
    {
        AviWriter::Options options;
        options.riffFormBytes = limit;
        AviWriter writer(path, options);
        writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
        writer.addAudioStream(WaveFormat::pcm(1, 8000, 8));
        for (int k = 0; k < 3000; ++k) {
            pushed.push_back(sound(static_cast<std::size_t>(4 + 4 * (k % 3)), k));
            writer.writeSample(k % 2, pushed.back());
        }
        writer.close();
    }
    const ByteVector file = test::readWholeFile(path);
    auto forms = test::chunkPositions(file, "AVIX");
    ASSERT_GT(forms.size(), 3u);
    forms.insert(forms.begin(), 0);
    for (std::size_t f = 0; f + 1 < forms.size(); ++f) {  // the last form may be short
        const std::uint64_t size = u32le(file, forms[f] + 4) + 8u;
        EXPECT_LE(size, limit) << f;
        EXPECT_GT(size, limit - 80) << "form " << f << " ended early";
    }
    AviDemuxer demuxer(path);
    Samples read;
    const auto back = readBack(demuxer);
    for (std::size_t k = 0; k < pushed.size(); ++k) read.push_back(back[k % 2][k / 2]);
    EXPECT_EQ(read, pushed);
}

// Frames of another codec go in as given: odd sizes padded, key-frame marks kept in both kinds of index.
// The format is built from its fields, or copied whole from another file's strf (here with codec bytes
// after a 44-byte header).
TEST(AviWriterTest, OtherCodecsFramesKeepTheirSizesAndKeyFrameMarks) {
    for (std::uint64_t formBytes : {std::uint64_t{1} << 30, std::uint64_t{2048}}) {
        SCOPED_TRACE(formBytes);
        const bool copiedFormat = formBytes < 4096;
        ByteVector strf = test::bitmapInfoBytes(320, 240, "MJPG", 24, 0);
        if (copiedFormat) {
            strf[0] = 44;
            strf.insert(strf.end(), {1, 2, 3, 4});
        }
        test::TempDir dir;
        const std::string path = dir.file("a.avi");
        Samples pushed;
        std::vector<bool> keys;
        {
            AviWriter::Options options;
            options.riffFormBytes = formBytes;
            AviWriter writer(path, options);
            const AviVideoFormat format =
                copiedFormat ? AviVideoFormat{MediaType(FourCC::of("vids"), FourCC::of("MJPG"), strf)}
                             : AviVideoFormat::compressed(FourCC::of("MJPG"), 320, 240);
            writer.addVideoStream(format);
            for (int k = 0; k < 20; ++k) {
                pushed.push_back(sound(static_cast<std::size_t>(101 + 50 * k), k));
                keys.push_back(k % 5 == 0);
                writer.writeSample(0, pushed.back(), keys.back());
            }
            writer.close();
        }
        AviDemuxer demuxer(path);
        EXPECT_EQ(readBack(demuxer), std::vector<Samples>{pushed});
        const AviStream& video = demuxer.streams()[0];
        EXPECT_EQ(video.indexSource, formBytes < 4096 ? AviIndexSource::OpenDml : AviIndexSource::Idx1);
        for (std::size_t k = 0; k < video.samples.size(); ++k) {
            EXPECT_EQ(video.samples[k].keyFrame, keys[k]) << k;
            EXPECT_EQ(video.samples[k].offset % 2, 0u) << "chunks start at even offsets";
        }
        EXPECT_EQ(video.header.handler, FourCC::of("MJPG"));
        EXPECT_EQ(video.mediaType.format(), strf);
        EXPECT_EQ(demuxer.mainHeader().width, 320u);
        EXPECT_EQ(demuxer.mainHeader().height, 240u);
        EXPECT_EQ(video.header.frameBottom, 240);
        EXPECT_FALSE(video.videoProperties) << "no vprp for other codecs";
    }
}

TEST(AviWriterTest, AnEmptyFileIsStillAWholeAviFile) {
    test::TempDir dir;
    const std::string path = dir.file("empty.avi");
    {
        AviWriter writer(path);
        writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
        writer.close();
    }
    AviDemuxer demuxer(path);
    ASSERT_TRUE(demuxer.isAvi());
    ASSERT_EQ(demuxer.streamCount(), 1u);
    EXPECT_EQ(demuxer.streams()[0].sampleCount(), 0u);
    const ByteVector file = test::readWholeFile(path);
    EXPECT_EQ(u32le(file, 4) + 8u, file.size());
    EXPECT_EQ(test::chunkPositions(file, "idx1").size(), 1u);
    EXPECT_EQ(test::chunkPositions(file, "movi")[0] % 2048, 0u) << "the header area is padded";
}

TEST(AviWriterTest, RefusesATakenNameAndLeavesWhatHoldsIt) {
    test::TempDir dir;
    const std::string existing = dir.write("taken.avi", {1, 2, 3});
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling.avi").c_str()), 0);
    for (const std::string& path : {existing, dir.file("dangling.avi")}) {
        try {
            AviWriter writer(path);
            FAIL() << "opened " << path;
        } catch (const FileError& error) {
            EXPECT_EQ(error.code(), FileErrorCode::AlreadyExists);
        }
    }
    EXPECT_EQ(test::readWholeFile(existing), (ByteVector{1, 2, 3}));
    EXPECT_EQ(folderEntries(dir), (std::vector<std::string>{"dangling.avi", "taken.avi"}));
    try {
        AviWriter writer(dir.file("missing/out.avi"));
        FAIL() << "wrote into a missing folder";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), FileErrorCode::NotFound);
    }
}

// Nothing exists under the target's name until close(); a writer that never closes leaves nothing behind.
TEST(AviWriterTest, TheFileAppearsOnlyWhenClosedAndAnAbandonedOneLeavesNothing) {
    test::TempDir dir;
    const std::string path = dir.file("out.avi");
    for (bool useDiscard : {false, true}) {
        AviWriter writer(path);
        writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
        writer.writeSample(0, dvFrame(DvSystem::Pal625, false, 0));
        const auto during = folderEntries(dir);
        ASSERT_EQ(during.size(), 1u);
        EXPECT_EQ(during[0].rfind(".out.avi.", 0), 0u) << during[0];
        EXPECT_FALSE(std::filesystem::exists(path));
        if (useDiscard) {
            writer.discard();
            EXPECT_TRUE(folderEntries(dir).empty());
            EXPECT_THROW(writer.writeSample(0, dvFrame(DvSystem::Pal625, false, 1)), std::logic_error);
            EXPECT_THROW(writer.close(), std::logic_error) << "nothing left to close";
        }
    }
    EXPECT_TRUE(folderEntries(dir).empty());

    {
        AviWriter writer(path);
        writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
        writer.writeSample(0, dvFrame(DvSystem::Pal625, false, 0));
        writer.close();
        writer.close();  // a second close changes nothing
    }
    EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"out.avi"}) << "a closed file outlives its writer";
}

TEST(AviWriterTest, CloseNeverReplacesAFileThatTookTheNameMeanwhile) {
    test::TempDir dir;
    const std::string path = dir.file("out.avi");
    AviWriter writer(path);
    writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
    writer.writeSample(0, sound(4000, 1));
    dir.write("out.avi", {9, 9});
    try {
        writer.close();
        FAIL() << "close replaced the file";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), FileErrorCode::AlreadyExists);
    }
    EXPECT_EQ(test::readWholeFile(path), (ByteVector{9, 9}));
    EXPECT_EQ(folderEntries(dir), std::vector<std::string>{"out.avi"}) << "the written file is removed";
    EXPECT_THROW(writer.close(), FileError) << "a failed writer keeps failing";
}

// Runs in a child process under a file size limit of 1 MiB: the writer's writes fail past it. Returns 0
// when the writer reported the failure as WriteFailed and removed its file.
int writePastTheFileSizeLimit(const test::TempDir& dir) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    AviWriter::Options options;
    options.writeBufferBytes = 65536;
    AviWriter writer(dir.file("out.avi"), options);
    writer.addVideoStream(AviVideoFormat::dv(DvSystem::Pal625));
    try {
        for (int k = 0; k < 20; ++k) writer.writeSample(0, dvFrame(DvSystem::Pal625, false, k));
    } catch (const FileError& error) {
        if (error.code() != FileErrorCode::WriteFailed || !folderEntries(dir).empty()) return 2;
        try {
            writer.writeSample(0, dvFrame(DvSystem::Pal625, false, 0));
        } catch (const FileError&) {
            return 0;
        }
        return 3;
    }
    return 1;
}

// A write that fails removes the partial file, and the writer keeps failing afterwards.
TEST(AviWriterTest, AFailedWriteRemovesWhatWasWritten) {
    test::TempDir dir;
    EXPECT_EXIT(std::exit(writePastTheFileSizeLimit(dir)), testing::ExitedWithCode(0), "");
    EXPECT_TRUE(folderEntries(dir).empty());
}

TEST(AviWriterTest, MisuseIsRefusedWithoutHarmingTheFile) {
    test::TempDir dir;
    const std::string path = dir.file("out.avi");
    AviWriter writer(path);
    AviVideoFormat noRate = AviVideoFormat::dv(DvSystem::Pal625);
    noRate.rate.numerator = 0;
    EXPECT_THROW(writer.addVideoStream(noRate), std::invalid_argument);
    EXPECT_THROW(writer.addAudioStream(WaveFormat::pcm(0, 48000, 16)), std::invalid_argument);
    EXPECT_THROW(writer.addInterleavedDvStream(DvSystem::Unknown, dvInfoBlock()), std::invalid_argument);
    writer.addAudioStream(WaveFormat::pcm(2, 48000, 16));
    EXPECT_THROW(writer.writeSample(1, sound(4, 0)), std::invalid_argument);
    EXPECT_THROW(writer.writeSample(-1, sound(4, 0)), std::invalid_argument);
    writer.writeSample(0, sound(4, 0));
    EXPECT_THROW(writer.addAudioStream(WaveFormat::pcm(2, 48000, 16)), std::logic_error);
    writer.close();
    AviDemuxer demuxer(path);
    ASSERT_EQ(demuxer.streamCount(), 1u);
    EXPECT_EQ(demuxer.streams()[0].sampleCount(), 1u);
}

}  // namespace
}  // namespace moraven
