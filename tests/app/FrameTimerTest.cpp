#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "app/FrameTimer.h"
#include "platform/win32/TestHooks.h"

namespace {

// A clock in microseconds that moves only when told: by each counter reading (`perRead`),
// by each Sleep, or by the test itself.
class TestClock {
public:
    explicit TestClock(int64_t start, int64_t frequency = 1000000)
        : now(start)
    {
        m_Fake.frequency = frequency;
        m_Fake.now = [this] {
            // A spin that would never end fails the test instead of hanging it.
            if (reads >= kMaxReads)
                throw std::runtime_error("the spin never ends");
            lastRead = now;
            ++reads;
            now += perRead;
            return lastRead;
        };
        m_Fake.sleep = [this](DWORD ms) {
            // A wait that would never end fails the test instead of hanging it.
            if (sleeps.size() >= kMaxSleeps)
                throw std::runtime_error("the wait never ends");
            sleeps.push_back(ms);
            now += static_cast<int64_t>(ms) * m_Fake.frequency / 1000;
        };
        qv::test::SetFakeClock(&m_Fake);
    }
    ~TestClock() { qv::test::SetFakeClock(nullptr); }
    void SetFrequency(int64_t frequency) { m_Fake.frequency = frequency; }

    int64_t now;
    int64_t perRead = 0;
    int64_t lastRead = 0;
    int reads = 0;
    std::vector<DWORD> sleeps;
    static constexpr size_t kMaxSleeps = 100000;
    static constexpr int kMaxReads = 50000000;

private:
    qv::test::FakeClock m_Fake;
};

const DWORD kPeriod = 16667;

} // namespace

TEST(FrameTimer, RefusesBeforeInitAndNegativePeriods)
{
    TestClock clock(1000000);
    EXPECT_FALSE(KeepFrame(kPeriod));
    EXPECT_TRUE(clock.sleeps.empty());
    ASSERT_TRUE(InitTimer());
    EXPECT_FALSE(KeepFrame(0x80000000u));
    EXPECT_FALSE(KeepFrame(0xFFFFFFFFu));
    EXPECT_EQ(g_fFPS, 0.0f);
    EXPECT_EQ(g_fCPULoad, 0.0f);
    EXPECT_TRUE(KeepFrame(kPeriod));
    // A period of 0 is not negative: a frame that waits for nothing.
    EXPECT_TRUE(KeepFrame(0));
}

TEST(FrameTimer, FirstFrameDoesNotWait)
{
    TestClock clock(5000000);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(clock.reads, 2); // InitTimer's scratch reading and the frame's one
    // 5 s since counter 0: 0.2 frames a second, averaged with nine empty entries.
    EXPECT_FLOAT_EQ(g_fFPS, 0.02f);
}

TEST(FrameTimer, OverrunFrameRecordsLoadAboveOneWithoutWaiting)
{
    TestClock clock(1000000);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    // Ten frames of 20 ms push the first one out of the averages.
    for (int i = 0; i < 10; ++i) {
        clock.now = clock.lastRead + 20000;
        const int readsBefore = clock.reads;
        ASSERT_TRUE(KeepFrame(kPeriod));
        EXPECT_EQ(clock.reads - readsBefore, 1); // no spin
    }
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_NEAR(g_fCPULoad, 1.0 - (16667.0 - 20000.0) / 16667.0, 1e-5);
    EXPECT_NEAR(g_fCPULoad, 1.2, 0.001);
    EXPECT_NEAR(g_fFPS, 50.0, 1e-3);
}

TEST(FrameTimer, ShortFrameSleepsCoarselyThenSpinsToThePeriod)
{
    TestClock clock(1000000);
    clock.perRead = 100;
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    for (int i = 0; i < 10; ++i) {
        const int64_t frameStart = clock.lastRead;
        clock.now = frameStart + 5000;
        clock.sleeps.clear();
        ASSERT_TRUE(KeepFrame(kPeriod));
        // 16 ms - two periods of 1 ms early - 5 ms of work.
        ASSERT_EQ(clock.sleeps, std::vector<DWORD>{9});
        const int64_t period = clock.lastRead - frameStart;
        EXPECT_GT(period, 16667);
        EXPECT_LE(period, 16667 + 100);
    }
    EXPECT_NEAR(g_fCPULoad, 1.0 - (16667.0 - 5000.0) / 16667.0, 1e-5);
    EXPECT_NEAR(g_fFPS, 1e6 / 16700.0, 1e-3); // the first reading past 16667 µs
}

TEST(FrameTimer, LongWaitSleepsAllButTwoTimerPeriods)
{
    TestClock clock(1000000);
    clock.perRead = 50;
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(100000));
    clock.now = clock.lastRead + 2000;
    clock.sleeps.clear();
    ASSERT_TRUE(KeepFrame(100000));
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{100 - 2 - 2});
    // A frame whose work leaves less than two periods still yields once.
    clock.now = clock.lastRead + 15000;
    clock.sleeps.clear();
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{0});
}

TEST(FrameTimer, TheSleepEndsTwiceTheGrantedPeriodBeforeTheFrameEnds)
{
    // Sleep may wake up to a period late: the margin before the spin is two of them, on either
    // clock, and 10 ms where no fine period was granted.
    struct Case {
        bool counter;
        UINT minimumPeriod;
        bool noPeriod;
        DWORD sleep;
    };
    const Case cases[] = {
        {true, 1, false, 16 - 2 - 5},  {true, 2, false, 16 - 4 - 5}, {true, 5, false, 16 - 10 - 5},
        {true, 8, false, 16 - 10 - 5}, {true, 1, true, 16 - 10 - 5}, {false, 1, false, 16 - 2 - 5},
        {false, 3, false, 16 - 6 - 5},
    };
    for (const Case& c : cases) {
        TestClock clock(1000000);
        clock.perRead = 100;
        qv::test::SetQueryPerformanceCounterFails(!c.counter);
        qv::test::SetTimeBeginPeriodMinimum(c.minimumPeriod);
        qv::test::SetTimeBeginPeriodFails(c.noPeriod);
        ASSERT_TRUE(InitTimer());
        ASSERT_TRUE(KeepFrame(kPeriod));
        for (int i = 0; i < 3; ++i) {
            const int64_t frameStart = clock.now;
            clock.now += 5000;
            clock.sleeps.clear();
            ASSERT_TRUE(KeepFrame(kPeriod));
            // One sleep, then the spin (no further sleep) to the period.
            EXPECT_EQ(clock.sleeps, std::vector<DWORD>{c.sleep})
                << (c.counter ? "counter" : "multimedia timer") << ", period " << c.minimumPeriod << ", frame " << i;
            EXPECT_GE(clock.now - frameStart, c.counter ? 16667 : 16000);
            EXPECT_LE(clock.now - frameStart, (c.counter ? 16667 : 17000) + 200);
        }
        qv::test::SetTimeBeginPeriodFails(false);
        ReleaseTimer();
        qv::test::SetQueryPerformanceCounterFails(false);
        qv::test::SetTimeBeginPeriodMinimum(1);
    }
}

TEST(FrameTimer, LargeCounterValuesDoNotOverflow)
{
    // A 10 MHz counter after years of uptime: the first frame measures from 0.
    TestClock clock(int64_t(4) * 1000 * 1000 * 1000 * 1000 * 1000, 10000000);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_TRUE(clock.sleeps.empty());
    clock.now = clock.lastRead + 200000; // 20 ms at 10 MHz
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_GT(g_fFPS, 4.9f);
}

TEST(FrameTimer, MultimediaTimerModeWhenTheCounterFails)
{
    TestClock clock(5000000);
    clock.perRead = 100;
    qv::test::SetQueryPerformanceCounterFails(true);
    qv::test::SetTimeBeginPeriodMinimum(3);
    ASSERT_TRUE(InitTimer());
    // The finest period granted is taken and held until ReleaseTimer.
    EXPECT_EQ(qv::test::GetTimePeriodCount(1), 0u);
    EXPECT_EQ(qv::test::GetTimePeriodCount(3), 1u);

    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_TRUE(clock.sleeps.empty()); // 5000 ms since time 0
    EXPECT_FLOAT_EQ(g_fFPS, 0.1f * 1000.0f / 5000.0f);

    for (int i = 0; i < 10; ++i) {
        clock.now += 5000; // 5 ms of work
        clock.sleeps.clear();
        ASSERT_TRUE(KeepFrame(kPeriod));
        // 16 ms - two periods of 3 ms - 5 ms, then a spin until 16 whole milliseconds have passed.
        EXPECT_EQ(clock.sleeps, std::vector<DWORD>{5});
    }
    EXPECT_NEAR(g_fFPS, 62.5, 1e-3);
    EXPECT_NEAR(g_fCPULoad, 1.0 - (16667.0 - 5000.0) / 16667.0, 1e-5);

    // Overrun: no sleep.
    clock.now += 30000;
    clock.sleeps.clear();
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_TRUE(clock.sleeps.empty());

    EXPECT_TRUE(ReleaseTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(3), 0u);
    // A second release has no period left to end, and ends none.
    EXPECT_TRUE(ReleaseTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(3), 0u);
}

TEST(FrameTimer, FailsWhenNoTimerIsAvailable)
{
    TestClock clock(1000000);
    qv::test::SetQueryPerformanceCounterFails(true);
    qv::test::SetTimeBeginPeriodFails(true);
    EXPECT_FALSE(InitTimer());
    EXPECT_FALSE(KeepFrame(kPeriod));
    EXPECT_TRUE(ReleaseTimer());
}

TEST(FrameTimer, AStartWithoutTheCounterAfterOneWithItTakesTheMultimediaTimer)
{
    // A start that fails half way is tried again from the beginning; the second start's
    // clock is the one that must be waited on.
    TestClock clock(1000000);
    clock.perRead = 100;
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    qv::test::SetQueryPerformanceCounterFails(true);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod)); // measures from time 0, as a first frame does
    const int64_t start = clock.now;
    clock.now += 5000;
    clock.sleeps.clear();
    ASSERT_TRUE(KeepFrame(kPeriod));
    // The multimedia wait sleeps, then spins on its milliseconds until 16 whole ones have passed
    // (the counter's would spin on a counter that no longer answers, and never end).
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{16 - 2 - 5});
    EXPECT_NEAR(static_cast<double>(clock.now - start), 16000.0, 1000.0);

    qv::test::SetTimeBeginPeriodFails(true);
    EXPECT_TRUE(ReleaseTimer());
    EXPECT_FALSE(InitTimer());
    EXPECT_FALSE(KeepFrame(kPeriod));
}

TEST(FrameTimer, CounterModeHoldsTheFinestPeriodUntilRelease)
{
    // Sleep wakes on the system's timer tick: without a fine period the coarse sleep before
    // the spin could overshoot the frame.
    TestClock clock(1000000);
    qv::test::SetTimeBeginPeriodMinimum(2);
    ASSERT_TRUE(InitTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(2), 1u);
    // A second start (the main object built again after a failure) asks for no second one.
    ASSERT_TRUE(InitTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(2), 1u);
    EXPECT_TRUE(ReleaseTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(2), 0u);
    EXPECT_TRUE(ReleaseTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(2), 0u);
}

TEST(FrameTimer, CounterModeRunsWithoutAnyTimerPeriod)
{
    TestClock clock(1000000);
    qv::test::SetTimeBeginPeriodFails(true);
    ASSERT_TRUE(InitTimer());
    EXPECT_TRUE(KeepFrame(kPeriod));
    EXPECT_TRUE(ReleaseTimer());
}

TEST(FrameTimer, RealClockFramesEndInOrder)
{
    // On the host's own clock a frame ends, after the counter read before it, and its rate
    // is measured from that clock. (The lengths of the waits are the fake clock's tests.)
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    LARGE_INTEGER before, after;
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    ASSERT_TRUE(KeepFrame(1000));
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    EXPECT_LT(before.QuadPart, after.QuadPart);
    EXPECT_GT(g_fFPS, 0.0f);
    EXPECT_TRUE(std::isfinite(g_fFPS));
}

// timeGetTime counts milliseconds in 32 bits: it wraps to 0 after 49.7 days.
const int64_t kWrapMicroseconds = (int64_t(1) << 32) * 1000;

TEST(FrameTimer, MultimediaTimerWaitsAcrossTheMillisecondWrap)
{
    // Frames of 5 ms of work from 30 ms before the wrap: each still waits out 16 whole
    // milliseconds, the one that crosses the wrap too.
    TestClock clock(kWrapMicroseconds - 30000);
    clock.perRead = 100;
    qv::test::SetQueryPerformanceCounterFails(true);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    bool crossed = false;
    for (int i = 0; i < 10; ++i) {
        const int64_t start = clock.now;
        clock.now += 5000;
        clock.sleeps.clear();
        ASSERT_NO_THROW(ASSERT_TRUE(KeepFrame(kPeriod))) << "frame " << i;
        EXPECT_EQ(clock.sleeps, std::vector<DWORD>{16 - 2 - 5}) << "frame " << i;
        EXPECT_EQ(clock.now - start, 16000) << "frame " << i;
        crossed = crossed || (start < kWrapMicroseconds && clock.now >= kWrapMicroseconds);
    }
    EXPECT_TRUE(crossed);
    EXPECT_NEAR(g_fFPS, 62.5, 1e-3);
    EXPECT_NEAR(g_fCPULoad, 1.0 - (16667.0 - 5000.0) / 16667.0, 1e-5);

    // An overrun across the wrap is an overrun: no wait.
    clock.now = kWrapMicroseconds * 2 - 10000;
    ASSERT_NO_THROW(KeepFrame(kPeriod));
    clock.now += 30000;
    clock.sleeps.clear();
    ASSERT_NO_THROW(ASSERT_TRUE(KeepFrame(kPeriod)));
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST(FrameTimer, PerformanceCounterWaitsAcrossTheMillisecondWrap)
{
    // The counter has 64 bits; its frames around the multimedia timer's wrap are frames like
    // any other: a coarse sleep, then a spin to the period.
    TestClock clock(kWrapMicroseconds - 30000);
    clock.perRead = 100;
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    bool crossed = false;
    for (int i = 0; i < 10; ++i) {
        const int64_t frameStart = clock.lastRead;
        clock.now = frameStart + 5000;
        clock.sleeps.clear();
        ASSERT_NO_THROW(ASSERT_TRUE(KeepFrame(kPeriod))) << "frame " << i;
        EXPECT_EQ(clock.sleeps, std::vector<DWORD>{16 - 2 - 5}) << "frame " << i;
        const int64_t period = clock.lastRead - frameStart;
        EXPECT_GT(period, 16667);
        EXPECT_LE(period, 16667 + 100);
        crossed = crossed || (frameStart < kWrapMicroseconds && clock.lastRead >= kWrapMicroseconds);
    }
    EXPECT_TRUE(crossed);
    EXPECT_NEAR(g_fFPS, 1e6 / 16700.0, 1e-3);
}

TEST(FrameTimer, AFrameWithOneMicrosecondLeftStillWaits)
{
    // 1 us left: the counter yields once and spins.
    TestClock clock(1000000);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    clock.now = clock.lastRead + 16666;
    clock.perRead = 1;
    clock.sleeps.clear();
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{0});
}

TEST(FrameTimer, AMultimediaTimerFrameWithOneMicrosecondLeftStillWaits)
{
    // A period of 16001 us after 16 ms of work has 1 us left: a yield, and the 16 whole
    // milliseconds are already over.
    TestClock clock(1000000);
    qv::test::SetQueryPerformanceCounterFails(true);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(16001));
    clock.now += 16000;
    clock.sleeps.clear();
    ASSERT_NO_THROW(ASSERT_TRUE(KeepFrame(16001)));
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{0});
}

TEST(FrameTimer, TheCoarseSleepTruncatesEachPartToWholeMilliseconds)
{
    // 99900 us is 99 whole milliseconds, 2999 us of work 2 of them: a sleep of 99 - 2 - 2.
    TestClock clock(1000000);
    clock.perRead = 50;
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(99900));
    clock.now = clock.lastRead + 2999;
    clock.sleeps.clear();
    ASSERT_TRUE(KeepFrame(99900));
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{95});
}

TEST(FrameTimer, OnANanosecondCounterTheSpinEndsOnTheFirstTickPastThePeriod)
{
    // The host's counter runs at 1 GHz: 16667 us are 16667000 ticks exactly, and the frame
    // ends at the first reading past them.
    TestClock clock(5000000000, 1000000000);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    const int64_t frameStart = clock.lastRead;
    clock.now = frameStart + 5000000;
    clock.perRead = 1;
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_EQ(clock.lastRead - frameStart, 16667001);
}

TEST(FrameTimer, LoadsOfLongFramesAreExactToTheMicrosecond)
{
    // Ten frames of 2 s on a 10 MHz counter: each one's load is 1 - (16667 - 2000000) / 16667.
    TestClock clock(1000000, 10000000);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    for (int i = 0; i < 10; ++i) {
        clock.now = clock.lastRead + 20000000;
        ASSERT_TRUE(KeepFrame(kPeriod));
    }
    EXPECT_NEAR(g_fCPULoad, 1.0 + (2000000.0 - 16667.0) / 16667.0, 2e-5);
    EXPECT_NEAR(g_fFPS, 0.5, 1e-6);
}

TEST(FrameTimer, ACounterOfOneTickASecondIsStillTheCounter)
{
    // Any frequency above 0 picks the counter: a frame with time left sleeps coarsely once
    // (16 - 2 ms) and spins on the counter's whole seconds.
    TestClock clock(10, 1);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    clock.perRead = 1;
    clock.sleeps.clear();
    ASSERT_NO_THROW(ASSERT_TRUE(KeepFrame(kPeriod)));
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>{14});
}

TEST(FrameTimer, TheMultimediaTimerTakesOneMillisecondWhenItIsGranted)
{
    TestClock clock(1000000);
    qv::test::SetQueryPerformanceCounterFails(true);
    ASSERT_TRUE(InitTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(1), 1u);
    EXPECT_EQ(qv::test::GetTimePeriodCount(2), 0u);
    EXPECT_TRUE(ReleaseTimer());
    EXPECT_EQ(qv::test::GetTimePeriodCount(1), 0u);
}

TEST(FrameTimer, TheFirstFrameMeasuresFromCounterZero)
{
    // 16668 us after counter 0, one past the period: no wait, and the rate of a frame of
    // 16668 us, averaged with nine empty entries.
    TestClock clock(16668);
    ASSERT_TRUE(InitTimer());
    ASSERT_TRUE(KeepFrame(kPeriod));
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_FLOAT_EQ(g_fFPS, float(1e6 / 16668.0) * 0.1f);
}

TEST(FrameTimer, ACounterOfNoFrequencyIsNoCounter)
{
    // A frequency of 0 would divide by zero: the multimedia timer serves instead (the fake
    // clock's milliseconds need a frequency of their own once the timer has chosen).
    TestClock clock(1000000, 0);
    clock.perRead = 100;
    ASSERT_TRUE(InitTimer());
    clock.SetFrequency(1000000);
    ASSERT_TRUE(KeepFrame(kPeriod));
    clock.now += 5000;
    clock.sleeps.clear();
    ASSERT_NO_THROW(ASSERT_TRUE(KeepFrame(kPeriod)));
    EXPECT_FALSE(clock.sleeps.empty());
}

