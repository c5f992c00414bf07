#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/sensors/Accelerometer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace tx {
namespace {

namespace fs = std::filesystem;

void writeValue(const fs::path& file, const std::string& text) {
    std::ofstream(file) << text << "\n";
}

// A fake sysfs tree: one device without an accelerometer, one with.
fs::path makeIioTree() {
    const fs::path root = fs::path(temporaryDirectory()) / ("iio-" + uniqueString());
    fs::create_directories(root / "iio:device0");
    writeValue(root / "iio:device0" / "in_temp_raw", "300");
    const fs::path accel = root / "iio:device1";
    fs::create_directories(accel);
    writeValue(accel / "in_accel_x_raw", "-512");
    writeValue(accel / "in_accel_y_raw", "256");
    writeValue(accel / "in_accel_z_raw", "10");
    writeValue(accel / "in_accel_z_offset", "-10");
    writeValue(accel / "in_accel_scale", "0.019153");
    return root;
}

TEST(IioAccelerometer, FindsTheDeviceWithAccelerationAxesAndReadsItInG) {
    const fs::path root = makeIioTree();
    const std::string device = findIioAccelerometer(root.string());
    EXPECT_EQ(fs::path(device).filename(), "iio:device1");

    Acceleration sample;
    ASSERT_TRUE(readIioAcceleration(device, sample));
    EXPECT_NEAR(sample.x, -512 * 0.019153 / 9.80665, 1e-9);
    EXPECT_NEAR(sample.y, 256 * 0.019153 / 9.80665, 1e-9);
    EXPECT_NEAR(sample.z, 0.0, 1e-12); // the offset is applied before the scale

    // A per-axis scale wins over the shared one.
    writeValue(fs::path(device) / "in_accel_x_scale", "0.0098");
    ASSERT_TRUE(readIioAcceleration(device, sample));
    EXPECT_NEAR(sample.x, -512 * 0.0098 / 9.80665, 1e-9);

    EXPECT_FALSE(readIioAcceleration((root / "iio:device0").string(), sample));
    EXPECT_EQ(findIioAccelerometer((root / "missing").string()), "");
    fs::remove_all(root);
}

struct Recorder : AccelerometerDelegate {
    std::vector<Acceleration> samples;
    std::vector<bool> onMainThread;
    void accelerometerDidAccelerate(Accelerometer&, const Acceleration& a) override {
        samples.push_back(a);
        onMainThread.push_back(RunLoop::isMainThread());
    }
};

TEST(SimulatedAccelerometer, DeliversTheSetReadingOnTheMainThreadWhileADelegateIsSet) {
    RunLoop::ensureApplication();
    Accelerometer accelerometer;
    accelerometer.useDevicePath("");
    ASSERT_TRUE(accelerometer.isSimulated());
    EXPECT_EQ(accelerometer.currentAcceleration().y, -1.0); // upright until told otherwise

    Recorder recorder;
    accelerometer.setUpdateInterval(0.02);
    accelerometer.setSimulatedAcceleration(-1.0, 0.25);
    accelerometer.setDelegate(&recorder);
    ASSERT_TRUE(RunLoop::runUntil([&] { return recorder.samples.size() >= 3; }, 2.0));
    EXPECT_EQ(recorder.samples.back().x, -1.0);
    EXPECT_EQ(recorder.samples.back().y, 0.25);
    for (bool main : recorder.onMainThread) {
        EXPECT_TRUE(main);
    }

    accelerometer.setDelegate(nullptr);
    const std::size_t count = recorder.samples.size();
    RunLoop::runFor(0.1);
    EXPECT_EQ(recorder.samples.size(), count);
}

TEST(SimulatedAccelerometer, AnUnreadableSensorFallsBackToTheSimulatedReading) {
    Accelerometer accelerometer;
    accelerometer.useDevicePath("/nonexistent/iio:device9");
    accelerometer.setSimulatedAcceleration(0.5, -0.5);
    const Acceleration sample = accelerometer.currentAcceleration();
    EXPECT_EQ(sample.x, 0.5);
    EXPECT_EQ(sample.y, -0.5);
}

} // namespace
} // namespace tx
