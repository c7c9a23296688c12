#include "players/curves.h"

#include "module/services.h"

std::int32_t Curve::isFinished() { return 0; }

Curve::~Curve() = default;

std::int32_t elapsedSince(std::uint32_t startTime) {
    // The clock wraps at 2^32; a difference read as signed stays right across the wrap.
    return static_cast<std::int32_t>(hostTime() - startTime);
}

TimedCurve::TimedCurve(double startValue_, double endValue_, std::int32_t duration_)
    : startTime(hostTime()), startValue(startValue_), endValue(endValue_), duration(duration_) {}

double LinearCurve::value() {
    const std::int32_t elapsed = elapsedSince(startTime);
    if (elapsed < 0) return startValue;
    if (elapsed <= duration) {
        // A zero duration read at its very start would divide zero by zero: the transition is
        // instantaneous, so it already shows the end value (finished on the next read, as always).
        if (duration == 0) return endValue;
        return ((endValue - startValue) * elapsed) / duration + startValue;
    }
    finished = 1;
    return endValue;
}

double StepCurve::value() {
    if (elapsedSince(startTime) >= duration) {
        finished = 1;
        return endValue;
    }
    return startValue;
}

double EaseCurve::value() {
    const std::int32_t elapsed = elapsedSince(startTime);
    if (elapsed < 0) return startValue;
    if (elapsed <= duration) {
        if (duration == 0) return endValue;  // as for LinearCurve: no 0 / 0
        const double t = static_cast<double>(elapsed) / duration;
        const double s = (3.0 - (t + t)) * (t * t);
        const double u = (3.0 - (s + s)) * (s * s);
        return u * (endValue - startValue) + startValue;
    }
    finished = 1;
    return endValue;
}
