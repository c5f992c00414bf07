#include "MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace tx {

namespace {

constexpr std::int32_t kMaxTimescale = std::numeric_limits<std::int32_t>::max();

// value * num / den rounded half away from zero, in 128 bits so nothing overflows midway.
__int128 scaleRounded(__int128 value, __int128 num, __int128 den) {
    const __int128 product = value * num;
    const __int128 half = den / 2;
    return product >= 0 ? (product + half) / den : -((-product + half) / den);
}

std::int64_t clampToInt64(__int128 v, bool& clamped) {
    const auto hi = static_cast<__int128>(std::numeric_limits<std::int64_t>::max());
    const auto lo = static_cast<__int128>(std::numeric_limits<std::int64_t>::min());
    clamped = v > hi || v < lo;
    return static_cast<std::int64_t>(v > hi ? hi : (v < lo ? lo : v));
}

MediaTime addOrSubtract(const MediaTime& a, const MediaTime& b, int sign) {
    if (!a.isValid() || !b.isValid()) {
        return MediaTime::invalid();
    }
    const bool aInf = (a.flags & (MediaTime::PositiveInfinity | MediaTime::NegativeInfinity)) != 0;
    const bool bInf = (b.flags & (MediaTime::PositiveInfinity | MediaTime::NegativeInfinity)) != 0;
    if ((a.flags & MediaTime::Indefinite) || (b.flags & MediaTime::Indefinite)) {
        MediaTime t = MediaTime::invalid();
        t.flags = MediaTime::Valid | MediaTime::Indefinite;
        return t;
    }
    if (aInf || bInf) {
        const bool aPos = (a.flags & MediaTime::PositiveInfinity) != 0;
        bool bPos = (b.flags & MediaTime::PositiveInfinity) != 0;
        if (sign < 0 && bInf) {
            bPos = !bPos;
        }
        if (aInf && bInf && aPos != bPos) {
            return MediaTime::invalid();
        }
        return (aInf ? aPos : bPos) ? MediaTime::positiveInfinity() : MediaTime::negativeInfinity();
    }
    std::int32_t scale = a.timescale;
    __int128 av = a.value;
    __int128 bv = b.value;
    std::uint32_t rounded = (a.flags | b.flags) & MediaTime::HasBeenRounded;
    if (a.timescale != b.timescale) {
        const long long lcm =
            std::lcm(static_cast<long long>(a.timescale), static_cast<long long>(b.timescale));
        if (lcm <= kMaxTimescale) {
            scale = static_cast<std::int32_t>(lcm);
            av = av * (lcm / a.timescale);
            bv = bv * (lcm / b.timescale);
        } else {
            // No exact common timescale fits: use the finer one and round.
            scale = std::max(a.timescale, b.timescale);
            av = scaleRounded(av, scale, a.timescale);
            bv = scaleRounded(bv, scale, b.timescale);
            rounded = MediaTime::HasBeenRounded;
        }
    }
    bool clamped = false;
    MediaTime t = MediaTime::make(clampToInt64(av + sign * bv, clamped), scale);
    t.flags |= rounded;
    if (clamped) {
        return sign * bv + av > 0 ? MediaTime::positiveInfinity() : MediaTime::negativeInfinity();
    }
    return t;
}

} // namespace

MediaTime MediaTime::make(std::int64_t value, std::int32_t timescale) {
    if (timescale <= 0) {
        return invalid();
    }
    return MediaTime{value, timescale, Valid, 0};
}

MediaTime MediaTime::makeWithSeconds(double seconds, std::int32_t preferredTimescale) {
    if (std::isnan(seconds) || preferredTimescale <= 0) {
        return invalid();
    }
    if (std::isinf(seconds)) {
        return seconds > 0 ? positiveInfinity() : negativeInfinity();
    }
    const double scaled = seconds * preferredTimescale;
    if (std::fabs(scaled) >= 9.2e18) {
        return seconds > 0 ? positiveInfinity() : negativeInfinity();
    }
    MediaTime t = make(static_cast<std::int64_t>(std::llround(scaled)), preferredTimescale);
    if (static_cast<double>(t.value) != scaled) {
        t.flags |= HasBeenRounded;
    }
    return t;
}

MediaTime MediaTime::positiveInfinity() {
    MediaTime t{0, 0, Valid | PositiveInfinity, 0};
    return t;
}

MediaTime MediaTime::negativeInfinity() {
    MediaTime t{0, 0, Valid | NegativeInfinity, 0};
    return t;
}

bool MediaTime::isNumeric() const {
    return (flags & (Valid | PositiveInfinity | NegativeInfinity | Indefinite)) == Valid;
}

double MediaTime::seconds() const {
    if (!isValid() || (flags & Indefinite)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (flags & PositiveInfinity) {
        return std::numeric_limits<double>::infinity();
    }
    if (flags & NegativeInfinity) {
        return -std::numeric_limits<double>::infinity();
    }
    return static_cast<double>(value) / static_cast<double>(timescale);
}

MediaTime MediaTime::convertScale(std::int32_t newTimescale) const {
    if (!isNumeric() || newTimescale <= 0) {
        return *this;
    }
    bool clamped = false;
    const __int128 v = scaleRounded(value, newTimescale, timescale);
    MediaTime t = make(clampToInt64(v, clamped), newTimescale);
    if (v * timescale != static_cast<__int128>(value) * newTimescale) {
        t.flags |= HasBeenRounded;
    }
    return t;
}

MediaTime MediaTime::multiplyByFloat64(double factor) const {
    if (!isNumeric()) {
        return *this;
    }
    const double scaled = static_cast<double>(value) * factor;
    MediaTime t = make(static_cast<std::int64_t>(std::llround(scaled)), timescale);
    if (static_cast<double>(t.value) != scaled) {
        t.flags |= HasBeenRounded;
    }
    return t;
}

MediaTime operator+(const MediaTime& a, const MediaTime& b) {
    return addOrSubtract(a, b, 1);
}
MediaTime operator-(const MediaTime& a, const MediaTime& b) {
    return addOrSubtract(a, b, -1);
}

int MediaTime::compare(const MediaTime& a, const MediaTime& b) {
    const bool aValid = a.isValid() && !(a.flags & Indefinite);
    const bool bValid = b.isValid() && !(b.flags & Indefinite);
    if (!aValid || !bValid) {
        return aValid == bValid ? 0 : (aValid ? -1 : 1);
    }
    auto rank = [](const MediaTime& t) {
        return (t.flags & PositiveInfinity) ? 1 : ((t.flags & NegativeInfinity) ? -1 : 0);
    };
    if (rank(a) != 0 || rank(b) != 0) {
        return rank(a) == rank(b) ? 0 : (rank(a) < rank(b) ? -1 : 1);
    }
    const __int128 lhs = static_cast<__int128>(a.value) * b.timescale;
    const __int128 rhs = static_cast<__int128>(b.value) * a.timescale;
    return lhs == rhs ? 0 : (lhs < rhs ? -1 : 1);
}

} // namespace tx
