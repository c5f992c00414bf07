// Rational media time and time ranges, with the arithmetic the render engine and capture rely on.
#pragma once

#include <cstdint>

namespace tx {

// The timescale of every time made from a number of seconds: microseconds.
constexpr std::int32_t kMicrosecondTimescale = 1000000;

struct MediaTime {
    enum Flags : std::uint32_t {
        Valid = 1u << 0,
        HasBeenRounded = 1u << 1,
        PositiveInfinity = 1u << 2,
        NegativeInfinity = 1u << 3,
        Indefinite = 1u << 4,
    };

    std::int64_t value = 0;
    std::int32_t timescale = 0;
    std::uint32_t flags = 0;
    std::int64_t epoch = 0;

    static MediaTime make(std::int64_t value, std::int32_t timescale);
    static MediaTime makeWithSeconds(double seconds, std::int32_t preferredTimescale);
    static MediaTime zero() { return make(0, 1); }
    static MediaTime invalid() { return {}; }
    static MediaTime positiveInfinity();
    static MediaTime negativeInfinity();

    bool isValid() const { return (flags & Valid) != 0; }
    bool isNumeric() const;
    double seconds() const;

    // A time at another timescale, rounded half away from zero.
    MediaTime convertScale(std::int32_t newTimescale) const;
    // Multiplies by a 64-bit float factor, keeping the timescale.
    MediaTime multiplyByFloat64(double factor) const;

    friend MediaTime operator+(const MediaTime& a, const MediaTime& b);
    friend MediaTime operator-(const MediaTime& a, const MediaTime& b);
    // -1, 0 or 1. Invalid times equal each other and are greater than every other time.
    static int compare(const MediaTime& a, const MediaTime& b);
    friend bool operator==(const MediaTime& a, const MediaTime& b) { return compare(a, b) == 0; }
    friend bool operator<(const MediaTime& a, const MediaTime& b) { return compare(a, b) < 0; }
    friend bool operator>(const MediaTime& a, const MediaTime& b) { return compare(a, b) > 0; }
    friend bool operator<=(const MediaTime& a, const MediaTime& b) { return compare(a, b) <= 0; }
    friend bool operator>=(const MediaTime& a, const MediaTime& b) { return compare(a, b) >= 0; }
};

struct TimeRange {
    MediaTime start;
    MediaTime duration;

    static TimeRange make(MediaTime start, MediaTime duration) { return {start, duration}; }
    static TimeRange empty() { return {MediaTime::zero(), MediaTime::zero()}; }
    MediaTime end() const { return start + duration; }
    bool containsTime(const MediaTime& t) const { return t >= start && t < end(); }
    bool isValid() const { return start.isValid() && duration.isValid(); }
};

} // namespace tx
