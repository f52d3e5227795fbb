// Helpers shared by the app's test groups.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
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

// The palette's table of values, as literal components: light and dark
// variants of the appearance-dependent colours, then the fixed ones.
namespace PaletteTable {
inline QColor rgb(float r, float g, float b) { return QColor::fromRgbF(r, g, b, 1.0f); }
inline const QColor cardBackgroundLight = rgb(0.827f, 0.827f, 0.827f), cardBackgroundDark = rgb(0.2f, 0.2f, 0.2f);
inline const QColor cardBorderLight = rgb(0.659f, 0.659f, 0.659f), cardBorderDark = rgb(0.4f, 0.4f, 0.4f);
inline const QColor textScoreLight = rgb(0.0f, 0.0f, 0.502f), textScoreDark = rgb(0.4f, 0.6f, 1.0f);
inline const QColor textError = rgb(1.0f, 0.392f, 0.392f);
inline const QColor buttonNormal = rgb(0.259f, 0.529f, 0.961f);
inline const QColor buttonHovered = rgb(0.314f, 0.588f, 0.902f);
inline const QColor buttonPressed = rgb(0.176f, 0.471f, 0.824f);
inline const QColor buttonDisabled = rgb(0.588f, 0.588f, 0.588f);
inline const QColor progressBackground = rgb(0.8f, 0.8f, 0.8f);
inline const QColor progressActive = rgb(0.298f, 0.686f, 0.314f);
}  // namespace PaletteTable

// A stand-in for the series: reports `reports` iterations, waits at its end
// until released when `held`, and returns `result`; a stop while held ends
// it as the engine does, with "Cancelled". Must outlive its runs.
struct FakeSeries {
    int reports = BenchmarkCoordinator::iterationsPerSeries;
    bool held = false;
    BenchmarkResult result{};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};
    std::atomic<bool> sawStop{false};

    BenchmarkResult run(BenchmarkProgressFn callback, void* context)
    {
        calls.fetch_add(1);
        const std::atomic<bool>* stop = BenchmarkCoordinator::seriesStop(context);
        for (int i = 1; i <= reports; ++i)
            callback(i, 8388608, context, 0.001);
        while (held && released.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
            if (stop && stop->load()) {
                sawStop = true;
                BenchmarkResult cancelled{};
                std::snprintf(cancelled.error_message, sizeof cancelled.error_message, "%s", pi_message_cancelled);
                return cancelled;
            }
        }
        return result;
    }
    BenchmarkCoordinator::SeriesFunction function()
    {
        return [this](BenchmarkProgressFn callback, void* context) { return run(callback, context); };
    }
};
