// How the raw-report page keeps up with a high-speed adapter: the emulated adapter sends 8000
// input reports a second for 10 seconds to the main window on the offscreen platform. Prints
// the lines shown against the reports sent (the run fails when they differ), the longest stall
// of the GUI thread's event loop and the CPU time used. Run by hand:
//   build/bench/bench_history_list [reports-per-second] [seconds]

#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListView>
#include <QStackedWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/MainForm.h"
#include "device/ui/HistoryModel.h"
#include "device/ui/RawReportPage.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "ui/QtEventLoop.h"
#include "ui/UserDialogs.h"

namespace {

class SilentDialogs : public quillon::IUserDialogs {
  public:
    void ShowMessage(QWidget*, const QString&) override {}
    bool Confirm(QWidget*, const QString&) override { return true; }
    QString GetOpenFileName(QWidget*, const FileDialogOptions&) override { return {}; }
    QString GetSaveFileName(QWidget*, const FileDialogOptions&) override { return {}; }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop itself (not a test's wait, which naps between rounds) until the
// condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, int ms) {
    QEventLoop nested;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition()) {
            nested.quit();
        }
    });
    QTimer::singleShot(ms, &nested, &QEventLoop::quit);
    check.start(1);
    if (!condition()) {
        nested.exec();
    }
    return condition();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const double rate = argc > 1 ? std::atof(argv[1]) : 8000.0;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    quillon::emu::EmulatedBus bus;
    quillon::QtEventLoop loop;
    SilentDialogs dialogs;
    auto adapter = std::make_shared<quillon::emu::QuillonAdapter>();
    const uint32_t instance = bus.Plug(adapter);
    auto form = std::make_unique<quillon::TMainForm>(dialogs, QStringList{}, bus, loop);
    form->show();
    if (!WaitUntil([&] { return form->findChild<QComboBox*>("cbDevListBox")->count() == 1; },
                   10000) ||
        !WaitUntil([&] { return bus.Stats(instance).WaitersNow > 0; }, 10000)) {
        std::fprintf(stderr, "the adapter was not listed\n");
        return 2;
    }
    auto* special = form->findChild<quillon::TRawReportPage*>("tsSpecial");
    form->findChild<QStackedWidget*>("PageControl")->setCurrentWidget(special);
    QApplication::processEvents();

    // A precise 2 ms timer: the longest gap between two of its ticks is the longest time the
    // loop could not get to it.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGapNs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGapNs = std::max(longestGapNs, now - lastTick);
        lastTick = now;
    });

    const qint64 shownBefore = special->HistoryModel()->AppendedCount();
    const double cpuBefore = CpuSeconds();
    clock.start();
    ticker.start();
    adapter->StartInputReports(rate);
    WaitUntil([] { return false; }, seconds * 1000);
    adapter->StopInputReports();
    const uint64_t sent = adapter->InputReportsSent();
    // The last reports may still be on their way to the window.
    WaitUntil(
        [&] { return uint64_t(special->HistoryModel()->AppendedCount() - shownBefore) >= sent; },
        10000);
    ticker.stop();
    const double wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds() - cpuBefore;
    const qint64 shown = special->HistoryModel()->AppendedCount() - shownBefore;
    special->HistoryModel()->Flush();

    std::printf("reports sent:           %llu (%.0f per second for %d s)\n",
                static_cast<unsigned long long>(sent), rate, seconds);
    std::printf("lines shown:            %lld\n", static_cast<long long>(shown));
    std::printf("lines kept in the list: %d (at most %d)\n", special->HistoryModel()->rowCount(),
                special->HistoryModel()->Capacity());
    std::printf("view follows:           %lld\n",
                static_cast<long long>(special->Follower()->FollowCount()));
    std::printf("longest loop stall:     %.1f ms (2 ms timer)\n", double(longestGapNs) / 1e6);
    std::printf("CPU time:               %.2f s in %.2f s (%.0f %% of one core)\n", cpu,
                wallSeconds, 100.0 * cpu / wallSeconds);

    form.reset();
    bus.UnplugAll();
    return uint64_t(shown) == sent ? 0 : 1;
}
