#include "pipeline/graph/graph.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "pipeline/stages/infinite_tee_stage.h"
#include "pipeline/stages/null_renderer_stage.h"
#include "test_stages.h"

namespace moraven {
namespace {

using test::Converter;
using test::NoticeLog;
using test::NumberSource;
using test::RecordingSink;
using test::typeOf;

// Adds `source` and `sink` to `graph` and connects the source's output to the sink.
bool addSourceToSink(Graph& graph, Stage& source, Stage& sink) {
    graph.add(source, "source");
    graph.add(sink, "sink");
    return graph.connect(*source.output(0), *sink.input(0));
}

TEST(GraphBuildingTest, ConnectTakesTheFirstOfferedTypeTheInputAccepts) {
    Graph graph;
    NumberSource source({typeOf("auds", "aaaa"), typeOf("vids", "dvsd"), typeOf("vids", "mjpg")}, 1);
    RecordingSink sink(FourCC::of("vids"));
    ASSERT_TRUE(graph.add(source, "source"));
    ASSERT_TRUE(graph.add(sink, "sink"));
    EXPECT_FALSE(graph.add(sink, "again"));
    NumberSource other({}, 0);
    EXPECT_FALSE(graph.add(other, "sink")) << "the name is taken";

    // Wrong directions are refused without asking anyone.
    EXPECT_FALSE(graph.connect(*sink.input(0), *source.output(0)));
    ASSERT_TRUE(graph.connect(*source.output(0), *sink.input(0)));
    EXPECT_EQ(sink.input(0)->connectionType().subtype(), FourCC::of("dvsd"));
    EXPECT_EQ(source.output(0)->peer(), sink.input(0));
    EXPECT_FALSE(graph.connect(*source.output(0), *sink.input(0))) << "already connected";

    graph.disconnect(*sink.input(0));
    EXPECT_FALSE(source.output(0)->isConnected());
    EXPECT_FALSE(sink.input(0)->isConnected());
    EXPECT_EQ(graph.find("sink"), &sink);
    EXPECT_EQ(graph.find("nobody"), nullptr);
}

TEST(GraphBuildingTest, PartialTypesNarrowTheChoice) {
    struct Case {
        const char* major;
        const char* subtype;
        bool connects;
        const char* chosen;
    };
    const Case cases[] = {
        {"vids", "\0\0\0\0", true, "dvsd"},
        {"vids", "mjpg", true, "mjpg"},
        {"vids", "h264", false, ""},
        {"auds", "\0\0\0\0", false, ""},  // offered, but the sink takes video only
    };
    for (const Case& c : cases) {
        Graph graph;
        NumberSource source({typeOf("auds", "aaaa"), typeOf("vids", "dvsd"), typeOf("vids", "mjpg")}, 1);
        RecordingSink sink(FourCC::of("vids"));
        graph.add(source, "source");
        graph.add(sink, "sink");
        FourCC major = FourCC::at(Bytes(reinterpret_cast<const std::uint8_t*>(c.major), 4), 0);
        FourCC subtype = FourCC::at(Bytes(reinterpret_cast<const std::uint8_t*>(c.subtype), 4), 0);
        const MediaType partial(major, subtype, {});
        EXPECT_EQ(graph.connect(*source.output(0), *sink.input(0), &partial), c.connects) << c.subtype;
        if (c.connects) {
            EXPECT_EQ(sink.input(0)->connectionType().subtype(),
                      FourCC::at(Bytes(reinterpret_cast<const std::uint8_t*>(c.chosen), 4), 0));
        } else {
            EXPECT_FALSE(source.output(0)->isConnected());
        }
    }
}

TEST(GraphBuildingTest, RenderPutsIntermediatesBetweenAndLeavesNothingWhenNoChainIsFound) {
    const FourCC raw = FourCC::of("rawd");
    const FourCC mid = FourCC::of("midl");
    const FourCC vids = FourCC::of("vids");
    const FourCC none = FourCC::of("none");
    const std::vector<Graph::StageMaker> makers = {
        [=] { return std::make_unique<Converter>(mid, vids); },
        [=] { return std::make_unique<Converter>(raw, mid); },
        [=] { return std::make_unique<Converter>(none, none); },
    };
    {
        Graph graph;
        graph.setIntermediates(makers);
        NumberSource source({typeOf("rawd")}, 3);
        RecordingSink sink(vids);
        graph.add(source, "source");
        graph.add(sink, "sink");
        ASSERT_TRUE(graph.render(*source.output(0), sink));
        EXPECT_EQ(graph.stages().size(), 4u);
        // raw -> mid -> vids: the chain the samples take.
        Stage& first = source.output(0)->peer()->stage();
        EXPECT_EQ(first.input(0)->connectionType().majorType(), raw);
        EXPECT_EQ(sink.input(0)->connectionType().majorType(), vids);
        graph.run();
        ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
        graph.stop();
        EXPECT_EQ(sink.values(), (std::vector<int>{0, 1, 2}));
    }
    {
        // Three steps would be needed (raw -> mid -> vids -> auds): more than two intermediates.
        Graph graph;
        auto longer = makers;
        longer.push_back([=] { return std::make_unique<Converter>(vids, FourCC::of("auds")); });
        graph.setIntermediates(longer);
        NumberSource source({typeOf("rawd")}, 3);
        RecordingSink sink(FourCC::of("auds"));
        graph.add(source, "source");
        graph.add(sink, "sink");
        EXPECT_FALSE(graph.render(*source.output(0), sink));
        EXPECT_EQ(graph.stages().size(), 2u);
        EXPECT_FALSE(source.output(0)->isConnected());
        EXPECT_FALSE(sink.input(0)->isConnected());
    }
}

TEST(GraphBuildingTest, PinsAreCreatedAsTheyAreConnected) {
    Graph graph;
    NumberSource source({typeOf("vids")}, 2);
    InfiniteTeeStage tee;
    RecordingSink first;
    RecordingSink second;
    graph.add(source, "source");
    graph.add(tee, "tee");
    graph.add(first, "first");
    graph.add(second, "second");
    ASSERT_TRUE(graph.connect(*source.output(0), *tee.input(0)));
    ASSERT_EQ(tee.pins(PinDirection::Output).size(), 1u);
    ASSERT_TRUE(graph.connect(*tee.output(0), *first.input(0)));
    ASSERT_EQ(tee.pins(PinDirection::Output).size(), 2u);
    EXPECT_EQ(tee.output(1)->name(), "Output 02");
    ASSERT_TRUE(graph.connect(*tee.output(1), *second.input(0)));
    EXPECT_EQ(tee.pins(PinDirection::Output).size(), 3u);

    // The first sink changes the bytes it gets; the second must still see the original.
    first.onSample = [](MediaSample& sample) { sample.data[0] = 0xEE; };
    graph.run();
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    graph.stop();
    EXPECT_EQ(second.values(), (std::vector<int>{0, 1}));
    EXPECT_EQ(first.values(), (std::vector<int>{0, 1}));

    graph.remove(second);
    EXPECT_EQ(graph.stages().size(), 3u);
    EXPECT_EQ(tee.pins(PinDirection::Output).size(), 2u) << "one connected, one free";
}

TEST(GraphRunTest, RunsToCompletionWithTheCompleteNoticeOnTheStreamingThread) {
    Graph graph;
    NoticeLog log;
    graph.setNoticeHandler(log.handler());
    NumberSource source({typeOf("vids")}, 5);
    RecordingSink sink;
    ASSERT_TRUE(addSourceToSink(graph, source, sink));
    graph.run();
    EXPECT_EQ(graph.state(), GraphState::Running);
    ASSERT_TRUE(log.waitFor(GraphNotice::Complete));
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    EXPECT_TRUE(graph.isComplete());
    graph.stop();
    EXPECT_EQ(graph.state(), GraphState::Stopped);
    EXPECT_EQ(sink.values(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(sink.endOfStreams.load(), 1);
    EXPECT_EQ(sink.stopReasons, std::vector<StopReason>{StopReason::Completed});
    EXPECT_EQ(source.stopReasons, std::vector<StopReason>{StopReason::Completed});
    EXPECT_EQ(log.notices(), std::vector<GraphNotice>{GraphNotice::Complete});
    EXPECT_NE(log.threads().front(), std::this_thread::get_id());
    EXPECT_TRUE(graph.error().empty());
    EXPECT_EQ(graph.position(), MediaTime::fromTicks(4 * 400'000));
}

TEST(GraphRunTest, PausesOnceEveryConnectedRendererHadASample) {
    Graph graph;
    NoticeLog log;
    graph.setNoticeHandler(log.handler());
    NumberSource video({typeOf("vids")}, -1);
    NumberSource sound({typeOf("auds")}, -1);
    RecordingSink videoSink;
    RecordingSink soundSink;
    NullRendererStage unconnected;  // not connected: does not count
    graph.add(video, "video");
    graph.add(sound, "sound");
    graph.add(videoSink, "video sink");
    graph.add(soundSink, "sound sink");
    graph.add(unconnected, "unconnected");
    ASSERT_TRUE(graph.connect(*video.output(0), *videoSink.input(0)));
    ASSERT_TRUE(graph.connect(*sound.output(0), *soundSink.input(0)));

    graph.pause();
    EXPECT_EQ(graph.state(), GraphState::Paused);
    ASSERT_TRUE(log.waitFor(GraphNotice::Paused));
    EXPECT_GE(videoSink.count(), 1u);
    EXPECT_GE(soundSink.count(), 1u);
    // Samples so far; the run below must bring more.
    const std::size_t held = videoSink.count() + soundSink.count();
    // Seeking while paused shows the new position's first samples and pauses again.
    ASSERT_TRUE(graph.setPosition(MediaTime::fromTicks(40 * 400'000).ticks()));
    ASSERT_TRUE(log.waitFor(GraphNotice::Paused, 2));
    ASSERT_FALSE(video.seekedTo.empty());
    EXPECT_EQ(video.seekedTo.back(), MediaTime::fromTicks(40 * 400'000));
    graph.run();
    ASSERT_TRUE(videoSink.waitForCount(held + 10));
    graph.stop();
    EXPECT_EQ(videoSink.stopReasons, std::vector<StopReason>{StopReason::Stopped});
    const auto notices = log.notices();
    EXPECT_GE(std::count(notices.begin(), notices.end(), GraphNotice::Paused), 1);
    EXPECT_EQ(std::count(notices.begin(), notices.end(), GraphNotice::Complete), 0);
    const auto values = videoSink.values();
    EXPECT_NE(std::find(values.begin(), values.end(), 40), values.end()) << "the seek took effect";
}

TEST(GraphRunTest, StopEndsASourceThatWouldRunForever) {
    Graph graph;
    NumberSource source({typeOf("vids")}, -1);
    RecordingSink sink;
    ASSERT_TRUE(addSourceToSink(graph, source, sink));
    graph.run();
    ASSERT_TRUE(sink.waitForCount(3));
    graph.stop();
    const std::size_t atStop = sink.count();
    EXPECT_EQ(static_cast<std::size_t>(source.produced.load()), atStop);
    EXPECT_FALSE(graph.isComplete());
    EXPECT_EQ(sink.stopReasons, std::vector<StopReason>{StopReason::Stopped});
    EXPECT_EQ(sink.count(), atStop) << "nothing flows after stop() returned";
    EXPECT_EQ(sink.endOfStreams.load(), 0);
}

TEST(GraphRunTest, AThrowingStageFailsTheRunWithItsMessage) {
    Graph graph;
    NoticeLog log;
    graph.setNoticeHandler(log.handler());
    NumberSource source({typeOf("vids")}, -1);
    RecordingSink sink;
    sink.onSample = [](MediaSample& sample) {
        if (sample.data[0] == 3) throw std::runtime_error("the disk is full");
    };
    ASSERT_TRUE(addSourceToSink(graph, source, sink));
    graph.run();
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    ASSERT_TRUE(log.waitFor(GraphNotice::Failed));
    EXPECT_EQ(graph.error(), "the disk is full");
    EXPECT_FALSE(graph.isComplete());
    EXPECT_EQ(sink.count(), 4u) << "the failing sample was the last";
    graph.stop();
    EXPECT_EQ(sink.stopReasons, std::vector<StopReason>{StopReason::Failed});
    EXPECT_EQ(source.stopReasons, std::vector<StopReason>{StopReason::Failed});
}

TEST(GraphRunTest, AStageThatCannotStartFailsTheRunBeforeAnyThread) {
    Graph graph;
    NoticeLog log;
    graph.setNoticeHandler(log.handler());
    NumberSource source({typeOf("vids")}, 5);
    source.throwAtStart = true;
    RecordingSink sink;
    graph.add(sink, "sink");
    graph.add(source, "source");
    ASSERT_TRUE(graph.connect(*source.output(0), *sink.input(0)));
    graph.run();
    EXPECT_EQ(graph.state(), GraphState::Stopped);
    EXPECT_EQ(graph.error(), "the source cannot start");
    EXPECT_EQ(log.notices(), std::vector<GraphNotice>{GraphNotice::Failed});
    EXPECT_EQ(sink.stopReasons, std::vector<StopReason>{StopReason::Failed});
    EXPECT_EQ(sink.count(), 0u);
    EXPECT_TRUE(graph.waitForEnd(std::chrono::milliseconds(0)));
}

TEST(GraphRunTest, AReferenceClockHoldsEachSampleUntilItsStartTime) {
    const MediaTime step = MediaTime::fromTicks(100'000);  // 10 ms
    Graph graph;
    graph.setReferenceClock(true);
    NumberSource source({typeOf("vids")}, 6, step);
    RecordingSink sink;
    ASSERT_TRUE(addSourceToSink(graph, source, sink));
    const auto before = std::chrono::steady_clock::now();
    graph.run();
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    graph.stop();
    const auto arrivals = sink.arrivals();
    const auto starts = sink.starts();
    ASSERT_EQ(arrivals.size(), 6u);
    // Each sample was rendered no earlier than its start time after run(): a lower bound, never a race.
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        EXPECT_GE(arrivals[i] - before, std::chrono::nanoseconds(starts[i].ticks() * 100)) << i;
        if (i > 0) {
            EXPECT_GE(arrivals[i], arrivals[i - 1]);
        }
    }
}

// An early end: the endless source tells its output that the stream is over, every sample it produced was
// received, and the run completes (told apart from a natural end) with the stages stopped as completed.
TEST(GraphRunTest, AnEarlyEndCompletesTheRunWithEverythingProducedSoFar) {
    NumberSource source({typeOf("vids")}, -1);
    RecordingSink sink;
    Graph graph;
    ASSERT_TRUE(addSourceToSink(graph, source, sink));
    graph.run();
    ASSERT_TRUE(sink.waitForCount(5));
    graph.endEarly();
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    EXPECT_TRUE(graph.isComplete());
    EXPECT_TRUE(graph.endedEarly());
    graph.stop();
    EXPECT_EQ(sink.endOfStreams.load(), 1);
    EXPECT_EQ(sink.count(), static_cast<std::size_t>(source.produced.load()));
    EXPECT_EQ(sink.stopReasons, std::vector<StopReason>{StopReason::Completed});

    // The next run starts afresh: stopped, it did not end early.
    graph.run();
    ASSERT_TRUE(sink.waitForCount(sink.count() + 3));
    graph.stop();
    EXPECT_FALSE(graph.endedEarly());
    EXPECT_FALSE(graph.isComplete());
}

TEST(GraphRunTest, DestroyingARunningGraphStopsAndJoinsIt) {
    NumberSource source({typeOf("vids")}, -1);
    RecordingSink sink;
    {
        Graph graph;
        ASSERT_TRUE(addSourceToSink(graph, source, sink));
        graph.run();
        ASSERT_TRUE(sink.waitForCount(2));
    }
    EXPECT_EQ(sink.stopReasons, std::vector<StopReason>{StopReason::Stopped});
    EXPECT_EQ(source.graph(), nullptr);
    EXPECT_FALSE(source.output(0)->isConnected());
}

TEST(GraphRunTest, AdoptedStagesAreOwnedAndNamedUniquely) {
    Graph graph;
    Stage& first = graph.adopt(std::make_unique<NullRendererStage>(), "");
    Stage& second = graph.adopt(std::make_unique<NullRendererStage>(), "");
    EXPECT_EQ(first.name(), "Null Renderer");
    EXPECT_NE(second.name(), first.name());
    graph.remove(first);
    EXPECT_EQ(graph.stages(), std::vector<Stage*>{&second});
}

TEST(GraphSeekingTest, DurationAndPositionInTicksAndFrames) {
    Graph graph;
    NumberSource source({typeOf("vids")}, 10, kNtscFrameDuration);
    RecordingSink sink;
    ASSERT_TRUE(addSourceToSink(graph, source, sink));
    EXPECT_EQ(graph.durationInFormat(), 10 * 333'667);
    graph.setTimeFormat(TimeFormat::Frame);
    EXPECT_EQ(graph.durationInFormat(), 10);
    ASSERT_TRUE(graph.setPosition(7));
    EXPECT_EQ(source.seekedTo.back(), MediaTime::fromTicks(7 * 333'667));
    EXPECT_EQ(graph.positionInFormat(), 7);
    graph.setTimeFormat(TimeFormat::MediaTime);
    EXPECT_EQ(graph.positionInFormat(), 7 * 333'667);

    graph.run();
    ASSERT_TRUE(graph.waitForEnd(std::chrono::seconds(30)));
    graph.stop();
    EXPECT_EQ(sink.values(), (std::vector<int>{7, 8, 9}));
    graph.setTimeFormat(TimeFormat::Frame);
    EXPECT_EQ(graph.positionInFormat(), 9);
    EXPECT_FALSE(graph.setPosition(-1));
}

// A picture stream that lasts 40 samples and a sound stream that ends after 4, the way a file whose sound
// is shorter than its picture plays. Each renderer that reached its stream's end counts as ready: a pause or
// a seek holds on the picture asked for, whether the sound ended while playing or the seek put it past its
// end, and a stop and pause again (which starts the sources at the position) holds as well.
class GraphShortSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        graph.setNoticeHandler(log.handler());
        graph.add(video, "video");
        graph.add(sound, "sound");
        graph.add(videoSink, "video sink");
        graph.add(soundSink, "sound sink");
        ASSERT_TRUE(graph.connect(*video.output(0), *videoSink.input(0)));
        ASSERT_TRUE(graph.connect(*sound.output(0), *soundSink.input(0)));
        graph.setPositionRenderer(&videoSink);
        graph.setTimeFormat(TimeFormat::Frame);
    }
    // Waits for the next Paused notice, then checks that the position holds there.
    void expectHeldAt(long frame) {
        ASSERT_TRUE(log.waitFor(GraphNotice::Paused, ++pauses));
        expectHolds(frame);
    }
    // No further picture comes in a while (a broken pause runs to the end within it; one picture may wait
    // at its renderer, unshown).
    void expectHolds(long frame) {
        EXPECT_TRUE(graph.prerolled());
        EXPECT_EQ(graph.positionInFormat(), frame);
        const std::size_t count = videoSink.count();
        EXPECT_FALSE(videoSink.waitForCount(count + 2, std::chrono::milliseconds(100)));
        EXPECT_EQ(graph.positionInFormat(), frame);
        EXPECT_FALSE(graph.isComplete());
    }

    Graph graph;
    NoticeLog log;
    static constexpr std::int64_t kStep = 100'000;  // 10 ms
    NumberSource video{{typeOf("vids")}, 40, MediaTime::fromTicks(kStep)};
    NumberSource sound{{typeOf("auds")}, 4, MediaTime::fromTicks(kStep)};
    RecordingSink videoSink{FourCC::of("vids")};
    RecordingSink soundSink{FourCC::of("auds")};
    long pauses = 0;
};

TEST_F(GraphShortSoundTest, PausesSeeksAndStepsHoldAfterTheSoundEnded) {
    graph.setReferenceClock(true);
    graph.pause();
    expectHeldAt(0);
    graph.run();
    ASSERT_TRUE(videoSink.waitForCount(12));  // 10 ms each on the clock: the sound ended long ago
    graph.pause();
    ASSERT_TRUE(log.waitFor(GraphNotice::Paused, ++pauses));
    const long reached = graph.positionInFormat();
    EXPECT_GE(reached, 10);
    expectHolds(reached);
    EXPECT_EQ(soundSink.endOfStreams.load(), 1);

    struct Move {
        const char* name;
        long frame;
    };
    for (const Move move : {Move{"past the sound's end", 30}, Move{"a step on", 31}, Move{"a step back", 30},
                            Move{"into the sound", 2}, Move{"the last frame", 39}}) {
        SCOPED_TRACE(move.name);
        ASSERT_TRUE(graph.setPosition(move.frame));
        EXPECT_EQ(graph.positionInFormat(), move.frame) << "the target at once";
        expectHeldAt(move.frame);
        EXPECT_EQ(video.seekedTo.back(), MediaTime::fromTicks(move.frame * kStep));
    }
    // Stopped and paused again: the sources start at the position, past the sound's end.
    ASSERT_TRUE(graph.setPosition(20));
    expectHeldAt(20);
    graph.stop();
    graph.pause();
    expectHeldAt(20);
    graph.run();
    ASSERT_TRUE(log.waitFor(GraphNotice::Complete, 1));
    EXPECT_EQ(graph.positionInFormat(), 39);
    EXPECT_EQ(graph.state(), GraphState::Running);

    // A complete graph plays again from a seek, on the same streaming thread.
    ASSERT_TRUE(graph.setPosition(35));
    EXPECT_FALSE(graph.isComplete());
    ASSERT_TRUE(log.waitFor(GraphNotice::Complete, 2));
    EXPECT_EQ(graph.positionInFormat(), 39);
    graph.stop();
    EXPECT_EQ(videoSink.stopReasons, (std::vector<StopReason>{StopReason::Stopped, StopReason::Completed}));
    const auto values = videoSink.values();
    EXPECT_EQ(values.back(), 39);
    EXPECT_NE(std::find(values.end() - 5, values.end(), 35), values.end());
}

// While running, a seek is carried out by the streaming thread without pausing: the pictures go on from
// the new position.
TEST_F(GraphShortSoundTest, ASeekWhileRunningPlaysOnFromTheNewPosition) {
    graph.setReferenceClock(true);
    graph.run();
    ASSERT_TRUE(videoSink.waitForCount(3));
    ASSERT_TRUE(graph.setPosition(25));
    ASSERT_TRUE(log.waitFor(GraphNotice::Complete, 1));
    graph.stop();
    const auto values = videoSink.values();
    const auto landed = std::find(values.rbegin(), values.rend(), 25);
    ASSERT_NE(landed, values.rend());
    std::vector<int> after(landed.base() - 1, values.end());
    std::vector<int> expected;
    for (int i = 25; i < 40; ++i) expected.push_back(i);
    EXPECT_EQ(after, expected);
    const auto notices = log.notices();
    EXPECT_EQ(std::count(notices.begin(), notices.end(), GraphNotice::Paused), 0);
}


}  // namespace
}  // namespace moraven
