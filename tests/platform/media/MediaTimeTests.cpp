#include "platform/media/FFmpeg.h"
#include "platform/media/MediaTime.h"

#include <gtest/gtest.h>

using namespace tx;

TEST(MediaTime, AddsAndSubtractsExactlyAcrossTimescales) {
    struct Case {
        MediaTime a;
        MediaTime b;
        double sum;
        double difference;
        std::int32_t sumTimescale;
    };
    const Case cases[] = {
        {MediaTime::make(1, 3), MediaTime::make(1, 6), 0.5, 1.0 / 6, 6},
        {MediaTime::make(600, 600), MediaTime::make(44100, 44100), 2.0, 0.0, 88200},
        {MediaTime::makeWithSeconds(3.4, 1000000), MediaTime::makeWithSeconds(1, 1000000), 4.4, 2.4,
         1000000},
        {MediaTime::make(1, 1000000), MediaTime::make(1, 44100), 1.0 / 1000000 + 1.0 / 44100,
         1.0 / 1000000 - 1.0 / 44100, 441000000},
    };
    for (const Case& c : cases) {
        const MediaTime sum = c.a + c.b;
        EXPECT_DOUBLE_EQ(sum.seconds(), c.sum);
        EXPECT_EQ(sum.timescale, c.sumTimescale);
        EXPECT_FALSE(sum.flags & MediaTime::HasBeenRounded);
        EXPECT_NEAR((c.a - c.b).seconds(), c.difference, 1e-12);
    }
    // Timescales whose least common multiple does not fit 32 bits round, and say so.
    const MediaTime rounded = MediaTime::make(1, 2147483629) + MediaTime::make(1, 2147483587);
    EXPECT_TRUE(rounded.flags & MediaTime::HasBeenRounded);
    EXPECT_NEAR(rounded.seconds(), 2.0 / 2147483600.0, 1e-15);
}

TEST(MediaTime, ComparesMultipliesAndHandlesInvalidAndInfinite) {
    EXPECT_EQ(MediaTime::make(1, 2), MediaTime::make(500000, 1000000));
    EXPECT_LT(MediaTime::make(1, 3), MediaTime::make(333334, 1000000));
    EXPECT_GT(MediaTime::invalid(), MediaTime::positiveInfinity());
    EXPECT_EQ(MediaTime::compare(MediaTime::invalid(), MediaTime::invalid()), 0);
    EXPECT_LT(MediaTime::negativeInfinity(), MediaTime::make(-1000, 1));
    EXPECT_FALSE((MediaTime::invalid() + MediaTime::make(1, 1)).isValid());

    // 13 s at x1.3: the factor 100/130 computed in single precision, applied as a double.
    const MediaTime video = MediaTime::makeWithSeconds(13.0, 1000000);
    const MediaTime actual = video.multiplyByFloat64(static_cast<double>(100.0f / 130));
    EXPECT_EQ(actual.timescale, 1000000);
    EXPECT_NEAR(actual.seconds(), 10.0, 1e-6);
    EXPECT_NEAR(MediaTime::makeWithSeconds(7.0, 1000000)
                    .multiplyByFloat64(static_cast<double>(100.0f / 70))
                    .seconds(),
                10.0, 1e-6);
    EXPECT_EQ(MediaTime::makeWithSeconds(0.5, 600).value, 300);
    EXPECT_EQ(MediaTime::make(1001, 30000).convertScale(600).value, 20);
}

TEST(TimeRange, HasStartDurationAndEnd) {
    const TimeRange range = TimeRange::make(MediaTime::makeWithSeconds(2.4, 1000000),
                                            MediaTime::makeWithSeconds(1.0, 1000000));
    EXPECT_DOUBLE_EQ(range.end().seconds(), 3.4);
    EXPECT_TRUE(range.containsTime(MediaTime::makeWithSeconds(2.4, 1000000)));
    EXPECT_FALSE(range.containsTime(MediaTime::makeWithSeconds(3.4, 1000000)));
}

TEST(MediaTime, RescalingRoundsHalfAwayFromZeroAndSaysSo) {
    struct Case {
        std::int64_t value;
        std::int32_t timescale;
        std::int32_t newTimescale;
        std::int64_t want;
        bool rounded;
    };
    const Case cases[] = {
        {1, 2, 1, 1, true},      {-1, 2, 1, -1, true},     {1, 4, 2, 1, true},
        {-1, 4, 2, -1, true},    {1, 5, 2, 0, true},       {-1, 5, 2, 0, true},
        {1, 3, 2, 1, true},      {-1, 3, 2, -1, true},     {3, 10, 2, 1, true},
        {1001, 30000, 600, 20, true}, {3003, 30000, 600, 60, true},
        {1, 1, 600, 600, false}, {-7, 600, 1200, -14, false},
    };
    for (const Case& c : cases) {
        const MediaTime t = MediaTime::make(c.value, c.timescale).convertScale(c.newTimescale);
        EXPECT_EQ(t.value, c.want) << c.value << "/" << c.timescale << " to " << c.newTimescale;
        EXPECT_EQ(t.timescale, c.newTimescale);
        EXPECT_EQ((t.flags & MediaTime::HasBeenRounded) != 0, c.rounded) << c.value << "/" << c.timescale;
    }
}

TEST(MediaTime, StreamTicksRoundDownForSeeksAndUpForRangeStarts) {
    struct Case {
        MediaTime time;
        AVRational tick;
        std::int64_t atOrBefore;
        std::int64_t atOrAfter;
    };
    const Case cases[] = {
        {MediaTime::make(1, 7), {1, 10}, 1, 2},
        {MediaTime::make(-1, 7), {1, 10}, -2, -1},
        {MediaTime::make(1, 2), {1, 10}, 5, 5},
        {MediaTime::make(1001, 30000), {1, 600}, 20, 21},
        {MediaTime::make(-1001, 30000), {1, 600}, -21, -20},
        {MediaTime::make(1, 3), {1, 90000}, 30000, 30000},
        {MediaTime::make(1, 1000000), {1001, 30000}, 0, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ff::streamFromTime(c.time, c.tick), c.atOrBefore) << c.time.value;
        EXPECT_EQ(ff::streamTickAtOrAfter(c.time, c.tick), c.atOrAfter) << c.time.value;
    }
    // Ticks that are not whole microseconds are rounded to the nearest one, half away from zero.
    struct Back {
        std::int64_t ticks;
        AVRational tick;
        std::int64_t wantMicroseconds;
    };
    for (const Back& b : {Back{1, {1, 3}, 333333}, Back{2, {1, 3}, 666667},
                          Back{-2, {1, 3}, -666667}, Back{1, {1, 2000000}, 1},
                          Back{-1, {1, 2000000}, -1}, Back{3, {1001, 30000}, 100100}}) {
        const MediaTime t = ff::timeFromStream(b.ticks, b.tick);
        EXPECT_EQ(t.convertScale(kMicrosecondTimescale).value, b.wantMicroseconds) << b.ticks;
    }
}
