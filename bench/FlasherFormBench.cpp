// A whole firmware update through the Flasher window on the offscreen platform, against the
// emulated adapter answering at once: the window's own time per transfer, repaints and the
// event handling between blocks included. Opening the window is measured on its own.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <filesystem>
#include <fstream>
#include <memory>

#include "firmware/UpdateProtocol.h"
#include "firmware/ui/FlasherForm.h"
#include "tests/AdapterDevice.h"
#include "tests/HexFiles.h"
#include "ui/UserDialogs.h"

namespace {

using namespace quillon;

class SilentDialogs : public IUserDialogs {
  public:
    void ShowMessage(QWidget*, const QString&) override { ++messages; }
    bool Confirm(QWidget*, const QString&) override { return false; }
    QString GetOpenFileName(QWidget*, const FileDialogOptions&) override { return {}; }
    QString GetSaveFileName(QWidget*, const FileDialogOptions&) override { return {}; }
    int messages = 0;
};

struct BenchFiles {
    BenchFiles() {
        std::ofstream(path, std::ios::binary) << testing::HexFileFor(testing::PatternImage());
    }
    ~BenchFiles() { std::filesystem::remove(path); }
    const std::string path =
        (std::filesystem::temp_directory_path() / "quillon-bench-flasher.hex").string();
};

// Creating and showing the window up to its first paint, which a user waits for once and
// which is no part of the transfers. Being shown starts the run, which here has no file and
// no adapter and so ends at once, sending nothing.
void BM_FlasherFormOpen(benchmark::State& state) {
    SilentDialogs dialogs;
    for (auto _ : state) {
        auto form = std::make_unique<TFlasherForm>(nullptr, dialogs);
        form->show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}

// The update as the program runs it: the window shown, its run started by the showing, the
// events waiting handled per block and the bar moved on, until the outcome is shown.
void BM_FlasherFormRun(benchmark::State& state) {
    BenchFiles files;
    emu::QuillonAdapter adapter;
    testing::AdapterDevice device(adapter);
    SilentDialogs dialogs;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<TFlasherForm>(nullptr, dialogs);
        form->RunUpdate = firmware::DirectUpdateRunner(&device);
        form->FileName = QString::fromStdString(files.path);
        const QDeadlineTimer deadline(60000);
        state.ResumeTiming();
        form->show();
        while (!form->Finished() && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
        }
        state.PauseTiming();
        const bool updated = form->Finished() && form->ResultCode() == 0;
        form.reset();
        adapter.ClearLog();
        state.ResumeTiming();
        if (!updated) {
            state.SkipWithError("the update did not end well");
            break;
        }
    }
    state.counters["per_transfer"] = benchmark::Counter(
        double(firmware::kTransfersPerUpdate),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_FlasherFormOpen)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly();
BENCHMARK(BM_FlasherFormRun)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
