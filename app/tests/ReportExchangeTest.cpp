#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QToolButton>

#include "app/tests/AdapterWindowFixture.h"

namespace quillon {
namespace {

// An adapter of the given feature report descriptor.
emu::GenericDeviceConfig AdapterWith(std::vector<uint8_t> descriptor) {
    emu::GenericDeviceConfig config;
    config.Identity = HidIdentity{0x169B, 0x0110, 0x0100};
    config.Descriptor = std::move(descriptor);
    return config;
}

QString Zeros(int count) {
    return QString("00 ").repeated(count);
}

class ReportExchangeTest : public AdapterWindowTest {
  protected:
    void StartWithAdapter(const AdapterRecord* record = nullptr) {
        adapter = PlugAdapter(record, {}, &instance);
        StartWindow();
        OpenRawReportPage();
        adapter->ClearLog();
    }

    int VisibleByteEdits() const {
        return static_cast<int>(
            std::count_if(Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells().begin(),
                          Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells().end(),
                          [](QLineEdit* edit) { return edit->isVisible(); }));
    }

    std::shared_ptr<emu::QuillonAdapter> adapter;
    uint32_t instance = 0;
};

TEST_F(ReportExchangeTest, ResetAndClosingSendTheFourByteResetReport) {
    StartWithAdapter();
    QTest::mouseClick(Child<QPushButton>(*form, "ResetBtn"), Qt::LeftButton);
    EXPECT_TRUE(HistoryLines().isEmpty());
    PressMenuKey(Qt::Key_C);
    EXPECT_FALSE(form->isVisible());
    const auto reset = Set({0x06, 0x00, 0x00, 0x00});
    EXPECT_EQ(adapter->Log(), (std::vector<emu::AdapterTransfer>{reset, reset}));
}

// Another program writing to the adapter holds it: the window writes nothing and says why,
// and reading goes on.
TEST_F(ReportExchangeTest, AdapterInUseByAnotherProgramIsNotWrittenAndTheWindowSaysSo) {
    adapter = PlugAdapter(nullptr, {}, &instance);
    StartWindow();
    adapter->ClearLog();
    auto other = bus.Open(emu::EmulatedBus::PathOf(instance), HidAccess::ReadWrite);
    ASSERT_TRUE(other);
    ASSERT_TRUE((*other)->TryLockExclusive());
    const QString busy = "the adapter is in use by another program";

    ClickCheckBox(Child<QCheckBox>(*form, "cbPavex"));
    QTest::mouseClick(Child<QPushButton>(*form, "bnApply"), Qt::LeftButton);
    EXPECT_EQ(form->StatusText(), busy);
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    dialogs.OpenAnswer = "/nonexistent/update.hex";
    PressMenuKey(Qt::Key_U);
    ASSERT_FALSE(dialogs.Messages.empty());
    EXPECT_EQ(dialogs.Messages.back(), busy);
    OpenRawReportPage();
    QTest::mouseClick(Child<QToolButton>(*form, "WriteBtn"), Qt::LeftButton);
    EXPECT_EQ(HistoryLines().back(), "W 03  failed: " + busy);
    form->SetStatusText("");
    QTest::mouseClick(Child<QPushButton>(*form, "ResetBtn"), Qt::LeftButton);
    EXPECT_EQ(form->StatusText(), busy);
    QTest::mouseClick(Child<QToolButton>(*form, "ReadBtn"), Qt::LeftButton);
    ASSERT_EQ(adapter->Log().size(), 1u);
    EXPECT_EQ(adapter->Log()[0].Dir, Direction::Get);

    (*other)->Unlock();
    QTest::mouseClick(Child<QToolButton>(*form, "WriteBtn"), Qt::LeftButton);
    EXPECT_EQ(adapter->Log().back().Dir, Direction::Set);
}

TEST_F(ReportExchangeTest, InputReportsInArrivalOrderFromTheSelectedAdapterOnly) {
    StartWithAdapter();
    uint32_t other = 0;
    PlugAdapter(nullptr, {}, &other);
    ASSERT_TRUE(WaitForEntries(2));
    ASSERT_TRUE(WaitForReader(instance));
    ASSERT_TRUE(WaitForReader(other));

    for (const auto& [device, report] : std::vector<std::pair<uint32_t, std::vector<uint8_t>>>{
             {instance, {1, 0x10, 0, 0, 0, 0, 0, 0, 0}},
             {instance, {0xFF, 0x20, 0, 0, 0, 0, 0, 0, 0}},
             {other, {1, 0x30, 0, 0, 0, 0, 0, 0, 0}},
             {instance, {2, 0x40, 1, 2, 3, 4, 5, 6, 0xFE}},
             {other, {1, 0x31, 0, 0, 0, 0, 0, 0, 0}},
             {instance, {1, 0x50, 0, 0, 0, 0, 0, 0, 0}}}) {
        ASSERT_TRUE(bus.SendInputReport(device, report));
    }
    // The other adapter's reader runs on its own, but its reports were sent before the last one.
    ASSERT_TRUE(WaitUntil([this] {
        return Child<TRawReportPage>(*form, "tsSpecial")->HistoryModel()->rowCount() >= 3;
    }));
    EXPECT_EQ(HistoryLines(), (QStringList{"R 01  10 " + Zeros(7), "R 02  40 01 02 03 04 05 06 FE ",
                                           "R 01  50 " + Zeros(7)}));
    EXPECT_EQ(Child<QListView>(*form, "HistoryListBox")->currentIndex().row(), 2);
}

TEST_F(ReportExchangeTest, FeatureReportLengthsOfOneZeroAndAboveTheBuffer) {
    // Report ID alone: a feature main item of no bytes.
    const auto idOnly = PlugGeneric(AdapterWith(
        {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x00, 0xB1, 0x02, 0xC0}));
    StartWindow();
    OpenRawReportPage();
    EXPECT_EQ(VisibleByteEdits(), 0);
    TypeInto(Child<QLineEdit>(*form, "ReportID"), "3");
    QTest::mouseClick(Child<QToolButton>(*form, "ReadBtn"), Qt::LeftButton);
    QTest::mouseClick(Child<QToolButton>(*form, "WriteBtn"), Qt::LeftButton);
    EXPECT_EQ(HistoryLines(), (QStringList{"R 03  ", "W 03  "}));
    EXPECT_EQ(idOnly->SetReports(), std::vector<std::vector<uint8_t>>{{3}});

    // Each swap of adapters rebuilds the list, which leaves the raw-report page.
    const auto rebuilt = [this] {
        return Child<QStackedWidget>(*form, "PageControl")->currentWidget() ==
               Child<TSettingsPage>(*form, "tsMain");
    };
    bus.UnplugAll();
    PlugGeneric(AdapterWith(emu::MakeVendorDescriptor(8, 0, 0)));
    ASSERT_TRUE(WaitUntil(rebuilt));
    OpenRawReportPage();
    EXPECT_EQ(VisibleByteEdits(), 0);
    EXPECT_FALSE(Child<QToolButton>(*form, "WriteBtn")->isEnabled());

    bus.UnplugAll();
    const auto wide = PlugGeneric(AdapterWith(emu::MakeVendorDescriptor(8, 0, 200)));
    ASSERT_TRUE(WaitUntil(rebuilt));
    OpenRawReportPage();
    EXPECT_EQ(VisibleByteEdits(), 64);
    QTest::mouseClick(Child<QToolButton>(*form, "ReadBtn"), Qt::LeftButton);
    TypeInto(Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells()[63], "EE");
    QTest::mouseClick(Child<QToolButton>(*form, "WriteBtn"), Qt::LeftButton);
    ASSERT_EQ(wide->SetReports().size(), 1u);
    EXPECT_EQ(wide->SetReports()[0].size(), 65u);
    EXPECT_EQ(wide->SetReports()[0][64], 0xEE);
}

}  // namespace
}  // namespace quillon
