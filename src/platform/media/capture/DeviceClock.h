// Internal to the capture layer. Lays a device's own clock on the host clock: the first picture
// or sound sets the offset between them and it is kept, so pictures keep the spacing the device
// gave them when this process falls behind. The offset is set anew only when the device clock
// jumps: backwards (a restart or a wrap), into the future, or further behind than any device
// buffers.
#pragma once

namespace tx {

class DeviceClock {
public:
    // A device time more than this ahead of the host clock is a jump.
    static constexpr double kAheadSeconds = 0.5;
    // ... and more than this behind it.
    static constexpr double kBehindSeconds = 5.0;

    // The host time of what the device stamped `deviceSeconds`, arriving at `nowSeconds`.
    double hostSeconds(double deviceSeconds, double nowSeconds);

private:
    bool _anchored = false;
    double _offset = 0; // host seconds minus device seconds
    double _lastDeviceSeconds = 0;
};

} // namespace tx
