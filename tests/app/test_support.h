// Helpers shared by the app's test groups.
#pragma once

#include <atomic>
#include <cstdlib>
#include <future>

#include <QColor>
#include <QString>
#include <QTest>

#include "benchmark_coordinator.h"

// Colours painted into an 8-bit image are compared with a small tolerance.
inline bool colorsNear(const QColor& a, const QColor& b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

inline QString describe(const QColor& c)
{
    return QStringLiteral("(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

#define VERIFY_COLOR(actual, expected)                                                             \
    QVERIFY2(colorsNear((actual), (expected)),                                                     \
             qPrintable(QStringLiteral("got %1, want %2").arg(describe(actual), describe(expected))))

// A stand-in for the series: reports `reports` iterations, waits at its end
// until released when `held`, and returns `result`. Must outlive its runs.
struct FakeSeries {
    int reports = BenchmarkCoordinator::iterationsPerSeries;
    bool held = false;
    BenchmarkResult result{};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};

    BenchmarkResult run(BenchmarkProgressFn callback, void* context)
    {
        calls.fetch_add(1);
        for (int i = 1; i <= reports; ++i)
            callback(i, 8388608, context, 0.001);
        if (held)
            released.wait();
        return result;
    }
    BenchmarkCoordinator::SeriesFunction function()
    {
        return [this](BenchmarkProgressFn callback, void* context) { return run(callback, context); };
    }
};
