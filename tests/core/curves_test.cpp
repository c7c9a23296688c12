#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "core/allocator.h"
#include "host/core/host_engine.h"
#include "players/curves.h"

using hostengine::HostEngine;

namespace {

enum class Kind { Linear, Step, Ease };

Curve* makeCurve(Kind kind, double from, double to, std::int32_t duration) {
    switch (kind) {
        case Kind::Linear: return create<LinearCurve>(from, to, duration);
        case Kind::Step: return create<StepCurve>(from, to, duration);
        case Kind::Ease: return create<EaseCurve>(from, to, duration);
    }
    return nullptr;
}

const char* nameOf(Kind kind) { return kind == Kind::Linear ? "linear" : kind == Kind::Step ? "step" : "ease"; }

}  // namespace

TEST(Curves, ValueAndFinishedFlagAtEachMomentOfTheTransition) {
    const struct {
        Kind kind;
        double from, to;
        std::int32_t duration;
        std::int32_t elapsed;  // from the curve's creation; negative: the clock ran backwards
        double value;
        std::int32_t finished;
    } reads[] = {
        {Kind::Linear, 0, 100, 1000, 333, 33.3, 0},
        {Kind::Linear, 0, 100, 1000, 1000, 100.0, 0},  // at the duration: the end, still running
        {Kind::Linear, 0, 100, 1000, 1001, 100.0, 1},
        {Kind::Linear, 480, 280, 400, 100, 430.0, 0},
        {Kind::Linear, 0, 100, 1000, -1, 0.0, 0},  // a clock that runs backwards shows the start
        {Kind::Step, 0, 1, 83, 82, 0.0, 0},
        {Kind::Step, 0, 1, 83, 83, 1.0, 1},  // finished at once at the duration
        {Kind::Step, 0, 1, 83, -5, 0.0, 0},
        {Kind::Ease, 0, 1, 1000, 250, 2.6875 * 0.0244140625, 0},  // s = 0.15625 at t = 0.25
        {Kind::Ease, 0, 1, 1000, 500, 0.5, 0},
        {Kind::Ease, 1, 0, 600, 300, 0.5, 0},
        {Kind::Ease, 0, 1, 1000, 1000, 1.0, 0},
        {Kind::Ease, 0, 1, 1000, 1001, 1.0, 1},
        {Kind::Ease, 0, 1, 1000, -1, 0.0, 0},
    };
    for (const auto& read : reads) {
        HostEngine host;
        host.setTime(5000);
        Curve* curve = makeCurve(read.kind, read.from, read.to, read.duration);
        host.setTime(static_cast<std::uint32_t>(5000 + read.elapsed));
        SCOPED_TRACE(testing::Message() << nameOf(read.kind) << " " << read.duration << " ms at " << read.elapsed);
        // Callers compare a step with 0.0 for equality, so values must be exact where they can be.
        const double tolerance = read.kind == Kind::Step ? 0.0 : 1e-12;
        EXPECT_NEAR(curve->value(), read.value, tolerance);
        EXPECT_EQ(curve->isFinished(), read.finished);
        destroy(curve);
    }
}

TEST(Curves, NothingFinishesWithoutAReadHoweverLongItRuns) {
    HostEngine host;
    for (Kind kind : {Kind::Linear, Kind::Step, Kind::Ease}) {
        Curve* curve = makeCurve(kind, 0, 1, 10);
        host.advance(100000);
        EXPECT_EQ(curve->isFinished(), 0) << nameOf(kind);
        EXPECT_EQ(curve->value(), 1.0) << nameOf(kind);
        EXPECT_EQ(curve->isFinished(), 1) << nameOf(kind);
        destroy(curve);
    }
}

TEST(Curves, ZeroAndNegativeDurationsNeverYieldNaN) {
    for (Kind kind : {Kind::Linear, Kind::Step, Kind::Ease}) {
        for (std::int32_t duration : {0, -1, -1000, INT32_MIN}) {
            for (std::int32_t elapsed : {-2, 0, 1, 5000}) {
                HostEngine host;
                host.setTime(100);
                Curve* curve = makeCurve(kind, 480.0, 280.0, duration);
                host.setTime(static_cast<std::uint32_t>(100 + elapsed));
                const double value = curve->value();
                SCOPED_TRACE(testing::Message() << nameOf(kind) << " " << duration << " ms at " << elapsed);
                EXPECT_TRUE(std::isfinite(value));
                // A step compares with the duration alone; the others show the start before it.
                const bool started = kind == Kind::Step ? elapsed >= duration : elapsed >= 0;
                EXPECT_EQ(value, started ? 280.0 : 480.0);
                // Finished only past the duration, as for every other duration; a step at it.
                const bool over = kind == Kind::Step ? started : (started && elapsed > duration);
                EXPECT_EQ(curve->isFinished(), over ? 1 : 0);
                destroy(curve);
            }
        }
    }
}

