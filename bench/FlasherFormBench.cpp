// A whole firmware update through the Flasher window on the offscreen platform, against the
// emulated adapter answering at once: the window's own time per transfer, repaints and the
// event handling between blocks included.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <fstream>

#include "app/UserDialogs.h"
#include "firmware/FlasherForm.h"
#include "firmware/UpdateProtocol.h"
#include "firmware/tests/AdapterDevice.h"
#include "firmware/tests/HexFiles.h"

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

void BM_FlasherForm(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "quillon-bench-flasher.hex").string();
    std::ofstream(path, std::ios::binary) << testing::HexFileFor(testing::PatternImage());
    emu::QuillonAdapter adapter;
    testing::AdapterDevice device(adapter);
    SilentDialogs dialogs;
    for (auto _ : state) {
        TFlasherForm form(nullptr, dialogs);
        form.Device = &device;
        form.FileName = QString::fromStdString(path);
        form.show();
        form.FormActivate();
        if (form.ResultCode() != firmware::kUpdateReady) {
            state.SkipWithError("update failed");
        }
        adapter.ClearLog();
    }
    state.counters["per_transfer"] = benchmark::Counter(
        double(firmware::kTransfersPerUpdate),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    std::filesystem::remove(path);
}

BENCHMARK(BM_FlasherForm)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
