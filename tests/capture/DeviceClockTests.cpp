#include "platform/media/capture/DeviceClock.h"

#include <gtest/gtest.h>

#include <vector>

using tx::DeviceClock;

namespace {

struct Step {
    double deviceSeconds;
    double nowSeconds;
    double wantHostSeconds;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

} // namespace

TEST(DeviceClock, KeepsTheDeviceSpacingAndLaysItAnewOnlyWhenTheDeviceClockJumps) {
    const std::vector<Case> cases = {
        {"the first sample is laid on the moment it arrives", {{1234.5, 100.0, 100.0}}},
        {"late deliveries keep the device's spacing",
         {{10.0, 100.0, 100.0},
          {10.1, 100.3, 100.1},
          {10.2, 100.31, 100.2},
          {10.3, 100.32, 100.3}}},
        {"falling behind by almost the device buffering keeps the spacing",
         {{0.0, 50.0, 50.0}, {1.0, 55.9, 51.0}}},
        {"falling behind further than any device buffers is a jump",
         {{0.0, 50.0, 50.0}, {1.0, 56.1, 56.1}, {1.1, 56.2, 56.2}}},
        {"a device time in the future is a jump",
         {{0.0, 50.0, 50.0}, {2.0, 50.4, 50.4}, {2.1, 50.5, 50.5}}},
        {"a device clock that wraps or restarts is laid anew, then keeps its spacing",
         {{4000.0, 10.0, 10.0}, {4000.5, 10.5, 10.5}, {0.25, 11.0, 11.0}, {0.5, 11.4, 11.25}}},
        {"a device clock running 2 % fast is followed until it is half a second ahead",
         {{0.0, 0.0, 0.0}, {10.2, 10.0, 10.2}, {20.4, 20.0, 20.4}, {25.6, 25.0, 25.0}}},
        {"a device clock running 2 % slow is followed until it is five seconds behind",
         {{0.0, 0.0, 0.0}, {98.0, 100.0, 98.0}, {294.0, 300.0, 300.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceClock clock;
        for (const Step& step : c.steps) {
            EXPECT_NEAR(clock.hostSeconds(step.deviceSeconds, step.nowSeconds),
                        step.wantHostSeconds, 1e-9)
                << "device " << step.deviceSeconds << " s arriving at " << step.nowSeconds << " s";
        }
    }
}
