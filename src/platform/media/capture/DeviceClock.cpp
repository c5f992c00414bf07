#include "DeviceClock.h"

namespace tx {

double DeviceClock::hostSeconds(double deviceSeconds, double nowSeconds) {
    const double mapped = deviceSeconds + _offset;
    if (!_anchored || deviceSeconds < _lastDeviceSeconds || mapped > nowSeconds + kAheadSeconds ||
        mapped < nowSeconds - kBehindSeconds) {
        _offset = nowSeconds - deviceSeconds;
        _anchored = true;
    }
    _lastDeviceSeconds = deviceSeconds;
    return deviceSeconds + _offset;
}

} // namespace tx
