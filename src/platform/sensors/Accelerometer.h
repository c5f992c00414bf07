// The device's accelerometer: samples of the acceleration in g, delivered to one delegate on the
// main thread at a chosen interval. Reads an IIO sensor where the machine has one; otherwise a
// simulated sensor whose x and y the application sets (bound to keys).
#pragma once

#include "platform/foundation/Object.h"
#include "platform/foundation/Timer.h"

#include <memory>
#include <string>

namespace tx {

// One sample, in g: x to the right of the screen, y up the screen, z out of it.
struct Acceleration {
    double x = 0;
    double y = 0;
    double z = 0;
    double timestamp = 0; // seconds of the monotonic clock
};

class Accelerometer;

class AccelerometerDelegate {
public:
    virtual ~AccelerometerDelegate() = default;
    virtual void accelerometerDidAccelerate(Accelerometer& accelerometer,
                                            const Acceleration& acceleration) = 0;
};

class Accelerometer : public Object {
public:
    // The one accelerometer of the process, created on first use and never destroyed.
    static Accelerometer& sharedAccelerometer();

    // Not retained: a delegate clears itself (setDelegate(nullptr)) before it dies. Samples flow
    // only while a delegate is set.
    void setDelegate(AccelerometerDelegate* delegate);
    AccelerometerDelegate* delegate() const { return _delegate; }
    void setUpdateInterval(double seconds);
    double updateInterval() const { return _updateIntervalSeconds; }

    // Whether samples come from the simulated sensor (no IIO accelerometer was found).
    bool isSimulated() const { return _iioPath.empty(); }
    // The IIO device folder in use, empty when simulated.
    const std::string& devicePath() const { return _iioPath; }

    // The simulated sensor's reading; ignored while a real sensor is in use. Starts upright
    // (x 0, y -1, z 0).
    void setSimulatedAcceleration(double x, double y, double z = 0);
    Acceleration simulatedAcceleration() const { return _simulated; }

    // Reads the sensor once, as the next sample would.
    Acceleration currentAcceleration() const;

    // Uses the IIO device folder `path` (holding in_accel_x_raw ...) instead of the one found at
    // start-up; an empty path selects the simulated sensor.
    void useDevicePath(const std::string& path);

    Accelerometer();

private:
    void restartTimer();
    void deliverSample();

    AccelerometerDelegate* _delegate = nullptr;
    double _updateIntervalSeconds = 0.1;
    Acceleration _simulated{0, -1, 0, 0};
    std::string _iioPath;
    TimerPtr _timer;
};

// The first IIO accelerometer under `root` (normally /sys/bus/iio/devices), empty when none.
std::string findIioAccelerometer(const std::string& root = "/sys/bus/iio/devices");
// Reads one sample from an IIO accelerometer folder; false when it cannot be read.
bool readIioAcceleration(const std::string& devicePath, Acceleration& out);

} // namespace tx
