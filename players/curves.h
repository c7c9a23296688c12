// Values driven by the host clock: a curve reads the clock each time its value is asked for and
// notices that it has run out only while answering. There are no timers.
#pragma once

#include <cstdint>

class Curve {
public:
    virtual double value() = 0;           // the value now; may set the finished flag
    virtual std::int32_t isFinished();    // the flag as value() last left it; never reads the clock
    virtual ~Curve();                     // every curve is destroyed through a Curve pointer
};

// Elapsed time since `startTime`: a wrapping 32-bit difference read as a signed number.
std::int32_t elapsedSince(std::uint32_t startTime);

// What every kind of curve carries, set by its constructor: the clock reading it started at, the
// values it runs between, how long, and whether a read has found it run out. Kinds differ only in
// their value().
class TimedCurve : public Curve {
public:
    TimedCurve(double startValue, double endValue, std::int32_t duration);
    std::int32_t isFinished() override { return finished; }

    std::uint32_t startTime;
    double startValue;
    double endValue;
    std::int32_t duration;
    std::int32_t finished = 0;
};

// From start to end in a straight line; finished after the first read past the duration.
class LinearCurve : public TimedCurve {
public:
    using TimedCurve::TimedCurve;
    double value() override;
};

// The start value until the duration has passed, then the end value; finished at once then.
class StepCurve : public TimedCurve {
public:
    using TimedCurve::TimedCurve;
    double value() override;
};

// Smoothstep applied twice: leaves the start and reaches the end more gently than a straight line.
class EaseCurve : public TimedCurve {
public:
    using TimedCurve::TimedCurve;
    double value() override;
};
