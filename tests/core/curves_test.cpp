#include <gtest/gtest.h>

#include <cstdint>

#include "core/allocator.h"
#include "host/core/host_engine.h"
#include "players/curves.h"

namespace {

enum class Kind { Linear, Step, Ease };

Curve* makeCurve(Kind kind, double from, double to, std::int32_t duration) {
    if (kind == Kind::Linear) return create<LinearCurve>(from, to, duration);
    if (kind == Kind::Step) return create<StepCurve>(from, to, duration);
    return create<EaseCurve>(from, to, duration);
}

}  // namespace

// Nothing finishes before its end was read; durations of no time or less never yield NaN: the start
// before them, the end from them, a step finished at them and the others past them.
TEST(Curves, ValueAndFinishedFlagAtEachMomentOfTheTransition) {
    const struct {
        Kind kind;
        double from, to;
        std::int32_t duration, elapsed;  // elapsed from the curve's creation; negative: the clock ran backwards
        double value;
        std::int32_t finished;
    } reads[] = {
        {Kind::Linear, 0, 100, 1000, 333, 33.3, 0},       {Kind::Linear, 0, 100, 1000, 1000, 100.0, 0},  // the end, still running
        {Kind::Linear, 0, 100, 1000, 1001, 100.0, 1},     {Kind::Linear, 480, 280, 400, 100, 430.0, 0},
        {Kind::Linear, 0, 100, 1000, -1, 0.0, 0},         {Kind::Step, 0, 1, 83, 82, 0.0, 0},
        {Kind::Step, 0, 1, 83, 83, 1.0, 1},               {Kind::Step, 0, 1, 83, -5, 0.0, 0},
        {Kind::Ease, 0, 1, 1000, 250, 2.6875 * 0.0244140625, 0},  // s = 0.15625 at t = 0.25
        {Kind::Ease, 1, 0, 600, 300, 0.5, 0},             {Kind::Ease, 0, 1, 1000, 1000, 1.0, 0},
        {Kind::Ease, 0, 1, 1000, 1001, 1.0, 1},
        {Kind::Ease, 0, 1, 1000, -1, 0.0, 0},             {Kind::Linear, 480, 280, 0, 0, 280.0, 0},
        {Kind::Linear, 480, 280, INT32_MIN, -2, 480.0, 0}, {Kind::Ease, 480, 280, -1, 0, 280.0, 1},
        {Kind::Ease, 480, 280, 0, 5000, 280.0, 1},        {Kind::Step, 480, 280, -1000, -2, 280.0, 1},
        {Kind::Step, 480, 280, 0, -2, 480.0, 0},
    };
    for (const auto& read : reads) {
        hostengine::HostEngine host;
        host.setTime(5000);
        Curve* curve = makeCurve(read.kind, read.from, read.to, read.duration);
        host.setTime(static_cast<std::uint32_t>(5000 + read.elapsed + 100000));
        EXPECT_EQ(curve->isFinished(), 0) << "not before a read";
        host.setTime(static_cast<std::uint32_t>(5000 + read.elapsed));
        SCOPED_TRACE(testing::Message() << static_cast<int>(read.kind) << " " << read.duration << " ms at " << read.elapsed);
        // Callers compare a step with 0.0 for equality, so values must be exact where they can be.
        EXPECT_NEAR(curve->value(), read.value, read.kind == Kind::Step ? 0.0 : 1e-12);
        EXPECT_EQ(curve->isFinished(), read.finished);
        destroy(curve);
    }
}
