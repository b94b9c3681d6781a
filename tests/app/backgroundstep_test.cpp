#include "backgroundstep.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

// Whoever gets to a step first runs it, the helper or the caller of finish(): once, never twice.
// Without finish(), the helper alone runs them before the object is gone.
TEST(BackgroundStep, EveryStepRunsExactlyOnce)
{
    for (const bool finish : {true, false}) {
        for (int round = 0; round < 25; ++round) {
            std::atomic<int> first{0}, second{0};
            {
                BackgroundStep steps({[&first] { ++first; }, [&second] { ++second; }});
                if (finish) {
                    steps.finish();
                    EXPECT_EQ(first.load(), 1);
                    EXPECT_EQ(second.load(), 1);
                }
            }
            EXPECT_EQ(first.load(), 1);
            EXPECT_EQ(second.load(), 1);
        }
    }
}

// A step that fails on the helper is run again by finish(), where its error can be reported.
TEST(BackgroundStep, AFailingStepReachesTheCallerOfFinish)
{
    std::atomic<int> runs{0};
    BackgroundStep steps({[&runs] {
        ++runs;
        throw std::runtime_error("cannot read");
    }});
    EXPECT_THROW(steps.finish(), std::runtime_error);
    EXPECT_GE(runs.load(), 1);
}
