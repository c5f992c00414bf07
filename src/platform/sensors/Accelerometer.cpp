#include "Accelerometer.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace tx {

namespace {

// IIO reports metres per second squared; samples are in g.
constexpr double kStandardGravity = 9.80665;
constexpr double kShortestIntervalSeconds = 0.01;

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool readNumber(const std::filesystem::path& file, double& value) {
    std::ifstream in(file);
    return static_cast<bool>(in >> value);
}

// An axis reading: (raw + offset) × scale, with a per-axis scale or offset where the driver has
// one.
bool readAxis(const std::filesystem::path& dir, char axis, double& g) {
    const std::string prefix = std::string("in_accel_") + axis;
    double raw = 0;
    if (!readNumber(dir / (prefix + "_raw"), raw)) {
        return false;
    }
    double scale = 1;
    if (!readNumber(dir / (prefix + "_scale"), scale) &&
        !readNumber(dir / "in_accel_scale", scale)) {
        scale = 1;
    }
    double offset = 0;
    if (!readNumber(dir / (prefix + "_offset"), offset)) {
        readNumber(dir / "in_accel_offset", offset);
    }
    g = (raw + offset) * scale / kStandardGravity;
    return true;
}

} // namespace

std::string findIioAccelerometer(const std::string& root) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
        const auto& dir = entry.path();
        if (std::filesystem::exists(dir / "in_accel_x_raw", ec) &&
            std::filesystem::exists(dir / "in_accel_y_raw", ec)) {
            return dir.string();
        }
    }
    return {};
}

bool readIioAcceleration(const std::string& devicePath, Acceleration& out) {
    const std::filesystem::path dir(devicePath);
    Acceleration sample;
    if (!readAxis(dir, 'x', sample.x) || !readAxis(dir, 'y', sample.y)) {
        return false;
    }
    if (!readAxis(dir, 'z', sample.z)) {
        sample.z = 0;
    }
    sample.timestamp = monotonicSeconds();
    out = sample;
    return true;
}

Accelerometer& Accelerometer::sharedAccelerometer() {
    static auto* shared = new Accelerometer();
    return *shared;
}

Accelerometer::Accelerometer() : _iioPath(findIioAccelerometer()) {}

void Accelerometer::setDelegate(AccelerometerDelegate* delegate) {
    _delegate = delegate;
    restartTimer();
}

void Accelerometer::setUpdateInterval(double seconds) {
    _updateIntervalSeconds = std::max(seconds, kShortestIntervalSeconds);
    restartTimer();
}

void Accelerometer::setSimulatedAcceleration(double x, double y, double z) {
    _simulated = Acceleration{x, y, z, 0};
}

void Accelerometer::useDevicePath(const std::string& path) {
    _iioPath = path;
}

Acceleration Accelerometer::currentAcceleration() const {
    Acceleration sample = _simulated;
    if (!_iioPath.empty() && readIioAcceleration(_iioPath, sample)) {
        return sample;
    }
    // A sensor that cannot be read (unplugged, permissions) gives the simulated reading.
    sample = _simulated;
    sample.timestamp = monotonicSeconds();
    return sample;
}

void Accelerometer::restartTimer() {
    if (_timer) {
        _timer->invalidate();
        _timer.reset();
    }
    if (_delegate == nullptr) {
        return;
    }
    _timer = Timer::scheduled(_updateIntervalSeconds, true, [this](Timer&) { deliverSample(); });
}

void Accelerometer::deliverSample() {
    if (_delegate != nullptr) {
        _delegate->accelerometerDidAccelerate(*this, currentAcceleration());
    }
}

} // namespace tx
