// The station window provisioning sixteen emulated adapters plugged in at the same moment,
// against one, each taking 1 ms per feature transfer: firmware update, settings written and read
// back, every adapter on its own thread and the window showing them all. The window's event
// loop must stay responsive meanwhile: a 1 ms timer measures its longest stall (the aim: at most
// 50 ms), and the sixteen should take little longer than the one (the aim: at most 1.3 times).
//
//   build/bench/bench_station --benchmark_repetitions=3 --benchmark_report_aggregates_only

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "station/StationTile.h"
#include "station/StationWindow.h"
#include "tests/FakeUserDialogs.h"
#include "tests/HexFiles.h"
#include "ui/RadioGroup.h"

namespace {

using namespace quillon;

const testing::TempDir& Folder() {
    static const testing::TempDir folder;
    return folder;
}

const std::string& UpdateFile() {
    static const std::string file =
        Folder().Write("update.hex", testing::HexFileFor(testing::PatternImage()));
    return file;
}

struct RunFigures {
    double Seconds = -1;  // -1: not every adapter passed
    double LongestStallMs = 0;
};

// One station run in a window until `adapters` adapters, all there at the start, have passed.
RunFigures StationRun(int adapters) {
    emu::EmulatedBus bus;
    for (int i = 1; i <= adapters; ++i) {
        emu::PlugOptions options;
        options.TransferDelayMs = 1;
        options.Location = "1-" + std::to_string(i);
        bus.Plug(std::make_shared<emu::QuillonAdapter>(), options);
    }
    FakeUserDialogs dialogs;
    station::TStationWindow window(bus, dialogs);
    window.SetRecords({}, QString::fromStdString(Folder().PathOf("records.db")));
    window.resize(1366, 768);
    window.show();
    window.ChooseFirmwareFile(QString::fromStdString(UpdateFile()));
    window.findChild<TRadioGroup*>("rgSettings")->SetItemIndex(2);
    window.findChild<QComboBox*>("edBaud")->setCurrentText("9600");
    window.findChild<QComboBox*>("rgEnterCtrl")->setCurrentIndex(2);
    window.SetTakeAdaptersPresent(true);
    QCoreApplication::processEvents();

    const auto passed = [&] {
        int count = 0;
        for (int i = 1; i <= adapters; ++i) {
            station::TStationTile* tile = window.Tile(QString("1-%1").arg(i));
            count += tile != nullptr && tile->ResultText() == "PASS";
        }
        return count;
    };
    RunFigures figures;
    QEventLoop loop;
    QElapsedTimer sinceLastBeat;
    qint64 longestGapNs = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, sinceLastBeat.nsecsElapsed());
        sinceLastBeat.restart();
        if (passed() == adapters || !window.Running()) {
            loop.quit();
        }
    });
    QElapsedTimer took;
    took.start();
    window.bnStartClick();
    sinceLastBeat.start();
    heartbeat.start();
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = static_cast<double>(took.nsecsElapsed()) / 1e9;
    heartbeat.stop();
    if (passed() == adapters) {
        figures.Seconds = seconds;
        // The timer's own period is not a stall.
        figures.LongestStallMs = std::max(0.0, static_cast<double>(longestGapNs) / 1e6 - 1.0);
    }
    window.bnStopClick();
    while (window.Running()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return figures;
}

void BM_StationWindow(benchmark::State& state) {
    const int adapters = static_cast<int>(state.range(0));
    double stall = 0;
    for (auto _ : state) {
        const RunFigures figures = StationRun(adapters);
        if (figures.Seconds < 0) {
            state.SkipWithError("not every adapter passed");
            return;
        }
        state.SetIterationTime(figures.Seconds);
        stall = std::max(stall, figures.LongestStallMs);
    }
    state.counters["adapters"] = adapters;
    state.counters["longest_stall_ms"] = stall;
}

// The figures asked for: sixteen over one, each the best of three runs, and the longest stall
// of the window's loop in the sixteen's runs.
void BM_StationWindowRatio(benchmark::State& state) {
    for (auto _ : state) {
        double one = 1e9;
        double many = 1e9;
        double stall = 0;
        for (int repeat = 0; repeat < 3; ++repeat) {
            const RunFigures single = StationRun(1);
            const RunFigures sixteen = StationRun(16);
            if (single.Seconds < 0 || sixteen.Seconds < 0) {
                state.SkipWithError("not every adapter passed");
                return;
            }
            one = std::min(one, single.Seconds);
            many = std::min(many, sixteen.Seconds);
            stall = std::max(stall, sixteen.LongestStallMs);
        }
        state.counters["one_ms"] = one * 1000;
        state.counters["many_ms"] = many * 1000;
        state.counters["ratio"] = many / one;
        state.counters["longest_stall_ms"] = stall;
    }
}

}  // namespace

BENCHMARK(BM_StationWindow)
    ->Arg(1)
    ->Arg(16)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StationWindowRatio)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
