// Helpers shared by the app's test groups.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>

#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QString>
#include <QTest>

#include "about_window_controller.h"
#include "app_delegate.h"
#include "benchmark_coordinator.h"
#include "main_view_controller.h"
#include "runner_window_controller.h"
#include "../runner/fake_runs.h"

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

inline QColor textColor(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

// A dark desktop: the window darker than its text.
inline const QColor darkText(235, 235, 235);
inline void useDarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, darkText);
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
}

// The machine card's facts: five rows, no frequency row.
inline void testMachine(SystemInfo* info)
{
    std::strcpy(info->cpu_model, "Intel(R) Xeon(R) Processor");
    info->cpu_cores_physical = 2;
    info->cpu_cores_logical = 2;
    info->total_memory_mb = 24576;
    std::strcpy(info->os_name, "Debian GNU/Linux");
    std::strcpy(info->os_version, "12 (bookworm)");
    std::strcpy(info->architecture, "x86_64");
    info->success = 1;
}
inline void noMachine(SystemInfo* info) { info->success = 0; }

// Six rows with long values: a 36-character brand string with its clock,
// a frequency line and a long OS name.
inline void longNames(SystemInfo* info)
{
    std::strcpy(info->cpu_model, "13th Gen Intel(R) Core(TM) i9-13900K");
    info->cpu_cores_physical = 24;
    info->cpu_cores_logical = 32;
    info->cpu_cores_performance = 8;
    info->cpu_cores_efficiency = 16;
    info->cpu_frequency_mhz = 3000;
    info->cpu_frequency_p_max_mhz = 5800;
    info->total_memory_mb = 65536;
    std::strcpy(info->os_name, "Fedora Linux");
    std::strcpy(info->os_version, "39 (Workstation Edition)");
    std::strcpy(info->architecture, "x86_64");
    info->success = 1;
}

// Label `which` (0 the name, 2 the value) of the machine card's row `row`.
inline QLabel* infoLabel(const MainViewController& view, int row, int which)
{
    return qobject_cast<QLabel*>(view.systemInfoStackView()->itemAt(row)->widget()->layout()->itemAt(which)->widget());
}

// A menu's items as "Text Shortcut", "-" for a separator.
inline QStringList menuItems(const QAction* menu)
{
    QStringList items;
    for (const QAction* item : menu->menu()->actions())
        items << (item->isSeparator() ? QStringLiteral("-")
                                      : (item->text() + QLatin1Char(' ') + item->shortcut().toString()).trimmed());
    return items;
}

// The main window up and the active one.
inline bool launch(AppDelegate& delegate)
{
    delegate.applicationDidFinishLaunching();
    QApplication::setActiveWindow(delegate.window());
    return QTest::qWaitForWindowActive(delegate.window());
}

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
    // The result the series ends with: score 9876.4 in 12.3456 s, or the failure.
    void ends(bool success, const QString& message = {})
    {
        result = BenchmarkResult{};
        result.success = success;
        result.digits_calculated = success ? 8388608 : 0;
        result.elapsed_time = success ? 12.3456 : 0;
        result.score = success ? 9876.4 : 0;
        std::snprintf(result.error_message, sizeof result.error_message, "%s", message.toUtf8().constData());
    }
    BenchmarkCoordinator::SeriesFunction function()
    {
        return [this](BenchmarkProgressFn callback, void* context) { return run(callback, context); };
    }
};

// The runner windows' set-up: fake runs on these CPUs, no memory guard
// unless asked, ticks every 20 ms.
inline RunnerSetup setupFor(FakeRuns& fake, std::vector<SysinfoCpu> cpus, int64_t availableBytes = -2)
{
    RunnerSetup setup;
    setup.cpus = std::move(cpus);
    setup.run = FakeRuns::run;
    setup.runContext = &fake;
    setup.availableBytes = availableBytes;
    setup.tickSeconds = 0.02;
    return setup;
}
