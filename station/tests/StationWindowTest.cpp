#include "station/StationWindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <fstream>

#include "device/records/SqliteRecordStore.h"
#include "firmware/UpdateProtocol.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "station/StationTile.h"
#include "tests/FakeUserDialogs.h"
#include "tests/GuiTestSupport.h"
#include "tests/HexFiles.h"
#include "ui/RadioGroup.h"

namespace quillon::station {
namespace {

using Adapter = emu::QuillonAdapter;
using State = TStationTile::State;

// Runs the window's events until the condition holds; false after 30 s.
bool WaitFor(const std::function<bool()>& condition) {
    const QDeadlineTimer deadline(30000);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool Contains(const QString& text, const char* part) {
    return text.contains(QString::fromUtf8(part));
}

// The station window against an emulated bus whose adapters sit at USB ports the test names,
// driven as an operator drives it.
class StationWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<TStationWindow>(bus, dialogs);
        // The tests' records go to a folder of their own, not to the user's.
        window->SetRecords({}, QString::fromStdString(folder.PathOf("records.db")));
        ASSERT_TRUE(ShowActive(*window));
        hexFile =
            QString::fromStdString(folder.Write("update.hex", quillon::testing::HexFileFor(image)));
    }

    std::shared_ptr<Adapter> PlugAt(const std::string& port) {
        auto adapter = std::make_shared<Adapter>();
        emu::PlugOptions options;
        options.Location = port;
        bus.Plug(adapter, options);
        return adapter;
    }

    void ChooseFirmware() {
        dialogs.OpenAnswer = hexFile;
        Child<QPushButton>(*window, "bnFirmware")->click();
    }
    // 9600 baud and LF at the line end, edited in the settings page's controls.
    void EditSettings() {
        Child<TRadioGroup>(*window, "rgSettings")->SetItemIndex(2);
        Child<QComboBox>(*window, "edBaud")->setCurrentText("9600");
        Child<QComboBox>(*window, "rgEnterCtrl")->setCurrentIndex(2);
    }
    // F5 presses Start, which then takes its time to look pressed.
    void PressStart() {
        const size_t messages = dialogs.Messages.size();
        const size_t confirmations = dialogs.Confirmations.size();
        QTest::keyClick(window.get(), Qt::Key_F5);
        EXPECT_TRUE(WaitFor([&] {
            return window->Running() || dialogs.Messages.size() > messages ||
                   dialogs.Confirmations.size() > confirmations;
        }));
    }
    void StartWithThoseThere() {
        Child<QCheckBox>(*window, "cbAllPresent")->setChecked(true);
        PressStart();
    }
    State StateOf(const char* port) const {
        TStationTile* tile = window->Tile(port);
        return tile == nullptr ? State::Running : tile->CurrentState();
    }
    bool Finished(const char* port, int jobs = 1) const {
        TStationTile* tile = window->Tile(port);
        return tile != nullptr && tile->Jobs() == jobs && tile->CurrentState() != State::Running;
    }
    QString Count(const char* name) const { return Child<QLabel>(*window, name)->text(); }

    void ExpectProvisioned(const Adapter& adapter) const {
        const std::vector<uint8_t> flash = adapter.Flash();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + firmware::kImageBase));
        EXPECT_EQ(adapter.Settings()[3], 8);
        EXPECT_EQ(adapter.Settings()[11], 2);
    }

    quillon::testing::TempDir folder;
    emu::EmulatedBus bus;
    FakeUserDialogs dialogs;
    std::unique_ptr<TStationWindow> window;
    const firmware::FirmwareImage image = quillon::testing::PatternImage();
    QString hexFile;
};

TEST_F(StationWindowTest, ThreeAdaptersPassAreCountedAndTheirRecordsSavedAsTheToolsCsv) {
    std::vector<std::shared_ptr<Adapter>> adapters;
    for (const char* port : {"1-1", "1-2", "1-3"}) {
        adapters.push_back(PlugAt(port));
    }
    ChooseFirmware();
    EXPECT_TRUE(Contains(Child<QLabel>(*window, "lbFirmware")->text(), "update.hex"));
    EditSettings();
    StartWithThoseThere();
    EXPECT_FALSE(Child<QWidget>(*window, "gbPlan")->isEnabled());  // locked while it runs
    ASSERT_TRUE(WaitFor([&] { return Finished("1-1") && Finished("1-2") && Finished("1-3"); }));
    for (const char* port : {"1-1", "1-2", "1-3"}) {
        EXPECT_EQ(window->Tile(port)->ResultText(), "PASS")
            << window->Tile(port)->ReasonText().toStdString();
    }
    for (const auto& adapter : adapters) {
        ExpectProvisioned(*adapter);
    }
    EXPECT_EQ(Count("lbPassed"), "3");
    EXPECT_EQ(Count("lbFailed"), "0");
    EXPECT_EQ(Count("lbYield"), "100.0 %");
    EXPECT_EQ(Child<QTreeWidget>(*window, "twRecords")->topLevelItemCount(), 3);
    // Kept in the station's records as the command-line tool keeps them.
    auto store = records::SqliteRecordStore::Open(folder.PathOf("records.db"));
    ASSERT_TRUE(store) << store.Error().Message;
    const auto kept = (*store)->Query({});
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::count_if(kept->begin(), kept->end(), [](const auto& r) { return r.Passed; }), 3);
    // A station started again on the same file shows them.
    TStationWindow restarted(bus, dialogs);
    restarted.SetRecords({}, QString::fromStdString(folder.PathOf("records.db")));
    EXPECT_EQ(Child<QTreeWidget>(restarted, "twRecords")->topLevelItemCount(), 3);

    // Stop with its key: the station ends and the plan can be changed again.
    QTest::keyClick(window.get(), Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([&] { return !window->Running(); }));
    EXPECT_TRUE(Child<QWidget>(*window, "gbPlan")->isEnabled());

    dialogs.SaveAnswer = QString::fromStdString(folder.PathOf("shift.csv"));
    Child<QPushButton>(*window, "bnSaveRecords")->click();
    std::ifstream file(folder.PathOf("shift.csv"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(text.rfind(ProvisionLog::HeaderLine(), 0), 0u) << text;
    size_t passes = 0;
    for (size_t at = text.find(",PASS,"); at != std::string::npos;
         at = text.find(",PASS,", at + 1)) {
        ++passes;
    }
    EXPECT_EQ(passes, 3u) << text;
    EXPECT_NE(text.find("baud=9600 char-delay=0 line-delay=0 flow=RTS/CTS enter=LF"),
              std::string::npos)
        << text;
}

TEST_F(StationWindowTest, APullFailsWithItsReasonWhileTheOthersPassAndAReplugGetsTheSameTile) {
    auto pulled = PlugAt("1-1");
    pulled->UnplugAtTransfer(101);  // block 6's command before its data
    auto second = PlugAt("1-2");
    auto third = PlugAt("1-3");
    ChooseFirmware();
    EditSettings();
    StartWithThoseThere();
    ASSERT_TRUE(WaitFor([&] { return Finished("1-1") && Finished("1-2") && Finished("1-3"); }));
    TStationTile* tile = window->Tile("1-1");
    EXPECT_EQ(tile->ResultText(), "FAIL");
    EXPECT_EQ(tile->StepText(), "pulled during the job");
    EXPECT_TRUE(Contains(tile->ReasonText(),
                         "update: a report could not be sent to the adapter at block 7 of 20"))
        << tile->ReasonText().toStdString();
    EXPECT_EQ(StateOf("1-2"), State::Passed);
    EXPECT_EQ(StateOf("1-3"), State::Passed);
    ExpectProvisioned(*second);
    ExpectProvisioned(*third);
    EXPECT_EQ(Count("lbFailed"), "1");
    EXPECT_EQ(Count("lbYield"), "66.7 %");

    // Another adapter in the same port: a new job on the same tile, which no longer fails.
    bus.Unplug(1);
    auto replugged = PlugAt("1-1");
    ASSERT_TRUE(WaitFor([&] { return Finished("1-1", 2); }));
    EXPECT_EQ(window->Tile("1-1"), tile);
    EXPECT_EQ(tile->ResultText(), "PASS");
    EXPECT_EQ(tile->ReasonText(), "");
    EXPECT_EQ(window->TileCount(), 3);
    ExpectProvisioned(*replugged);
    EXPECT_EQ(Count("lbPassed"), "3");
    EXPECT_EQ(Child<QTreeWidget>(*window, "twRecords")->topLevelItem(0)->text(1), "1-1");
}

TEST_F(StationWindowTest, AnAdapterHeldByAnotherProgramFailsUntouched) {
    auto held = PlugAt("1-1");
    auto free = PlugAt("1-2");
    auto otherProgram = bus.Open(emu::EmulatedBus::PathOf(1), HidAccess::ReadWrite);
    ASSERT_TRUE(otherProgram);
    ASSERT_TRUE((*otherProgram)->TryLockExclusive());
    EditSettings();
    StartWithThoseThere();
    ASSERT_TRUE(WaitFor([&] { return Finished("1-1") && Finished("1-2"); }));
    EXPECT_EQ(window->Tile("1-1")->ResultText(), "FAIL");
    EXPECT_EQ(window->Tile("1-1")->ReasonText(), "in use by another program");
    EXPECT_EQ(held->TransferCount(), 0u);
    EXPECT_EQ(StateOf("1-2"), State::Passed);
    EXPECT_EQ(free->Settings()[3], 8);
}

TEST_F(StationWindowTest, ClosingOrASecondStopAsksAndTheFirstStopWaitsForTheJobs) {
    std::vector<std::shared_ptr<Adapter>> adapters;
    for (const char* port : {"1-1", "1-2"}) {
        adapters.push_back(PlugAt(port));
        adapters.back()->SetTransferDelay(std::chrono::milliseconds(2));
    }
    const auto updating = [&] {
        return window->Tile("1-1") != nullptr && window->Tile("1-2") != nullptr &&
               Contains(window->Tile("1-1")->StepText(), "updating") &&
               Contains(window->Tile("1-2")->StepText(), "updating");
    };
    ChooseFirmware();
    StartWithThoseThere();
    ASSERT_TRUE(WaitFor(updating));

    // Closing asks; declined, nothing changes. Then Stop lets both finish their jobs.
    dialogs.ConfirmAnswers = {false};
    window->close();
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_TRUE(window->isVisible());
    Child<QPushButton>(*window, "bnStop")->click();
    ASSERT_TRUE(WaitFor([&] { return !window->Running(); }));
    EXPECT_EQ(StateOf("1-1"), State::Passed);
    EXPECT_EQ(StateOf("1-2"), State::Passed);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);

    // A second Stop asks, and the jobs end at once, each failing.
    for (auto& adapter : adapters) {
        adapter->ClearLog();
    }
    PressStart();
    ASSERT_TRUE(WaitFor([&] { return updating() && window->Tile("1-1")->Jobs() == 2; }));
    dialogs.ConfirmAnswers = {true};
    Child<QPushButton>(*window, "bnStop")->click();
    Child<QPushButton>(*window, "bnStop")->click();
    EXPECT_EQ(dialogs.Confirmations.size(), 2u);
    ASSERT_TRUE(WaitFor([&] { return !window->Running(); }));
    for (const char* port : {"1-1", "1-2"}) {
        EXPECT_EQ(StateOf(port), State::Failed);
        EXPECT_TRUE(Contains(window->Tile(port)->ReasonText(), "stopped by the operator"));
    }
    for (const auto& adapter : adapters) {
        EXPECT_LT(adapter->TransferCount(), static_cast<size_t>(firmware::kTransfersPerUpdate));
    }

    // Closing a window that is not running asks nothing.
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(dialogs.Confirmations.size(), 2u);
}

TEST_F(StationWindowTest, ARefusedPlanTouchesNothingAndClearDataIsConfirmedOnceAtStart) {
    auto adapter = PlugAt("1-1");
    std::string broken = quillon::testing::HexFileFor(image);
    broken.insert(broken.size() - 13, ":10140000ZZ\r\n");
    dialogs.OpenAnswer = QString::fromStdString(folder.Write("broken.hex", broken));
    Child<QPushButton>(*window, "bnFirmware")->click();
    EXPECT_TRUE(Contains(Child<QLabel>(*window, "lbFirmware")->text(), "line"));
    StartWithThoseThere();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_TRUE(Contains(dialogs.Messages[0], "ERROR: invalid update file, line"));
    EXPECT_FALSE(window->Running());

    // Pavex mode with clear-data: asked once, at Start, and declined.
    Child<QPushButton>(*window, "bnNoFirmware")->click();
    Child<TRadioGroup>(*window, "rgSettings")->SetItemIndex(2);
    Child<QCheckBox>(*window, "cbPavex")->setChecked(true);
    Child<QCheckBox>(*window, "cbClrMem")->setChecked(true);
    EXPECT_TRUE(dialogs.Confirmations.empty());
    dialogs.ConfirmAnswers = {false};
    PressStart();
    ASSERT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_EQ(dialogs.Confirmations[0].toStdString(), kClearDataConfirmation);
    EXPECT_FALSE(window->Running());
    QCoreApplication::processEvents();
    EXPECT_EQ(adapter->TransferCount(), 0u);
    EXPECT_EQ(window->TileCount(), 0);
}

// The edited settings become what `provision --set` would be given.
TEST(StationPlanTest, EditedSettingsAreCheckedAsTheToolChecksItsWords) {
    SettingsControlValues values;
    values.BaudText = "57600";
    values.EnterCtrlIndex = 1;
    auto changes = EditedChanges(values);
    ASSERT_TRUE(changes) << changes.Error().Message;
    EXPECT_EQ(changes->size(), 10u);

    values.Pavex = true;  // flow control is the mode's, and the rate fixed at 19200
    EXPECT_EQ(EditedChanges(values).Error().Message,
              "the settings: baud is fixed at 19200 in Pavex mode (allowed: 19200)");
    values.BaudText = "19200";
    ASSERT_TRUE(EditedChanges(values));
    EXPECT_EQ(EditedChanges(values)->size(), 9u);

    values.BaudText = "300";
    EXPECT_TRUE(EditedChanges(values).Error().Message.find("bad value \"300\" for baud") !=
                std::string::npos);
    values.BaudText = "19200";
    values.CharDelayMs = 15;
    EXPECT_FALSE(EditedChanges(values));
}

TEST(StationPlanTest, TheShiftCountsYieldAndAdaptersPerHour) {
    ShiftTally tally;
    const auto begun = ShiftTally::Clock::now();
    tally.Begin(begun);
    EXPECT_FALSE(tally.YieldPercent());
    EXPECT_FALSE(tally.PerHour(begun + std::chrono::minutes(1)));
    for (bool passed : {true, true, true, false}) {
        tally.Count(passed);
    }
    EXPECT_DOUBLE_EQ(*tally.YieldPercent(), 75.0);
    EXPECT_DOUBLE_EQ(*tally.PerHour(begun + std::chrono::minutes(2)), 120.0);
}

}  // namespace
}  // namespace quillon::station
