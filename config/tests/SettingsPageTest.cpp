#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <memory>

#include "config/ui/SettingsPage.h"
#include "config/ui/SettingsTransfer.h"
#include "tests/FakeUserDialogs.h"
#include "tests/GuiTestSupport.h"
#include "ui/RadioGroup.h"

namespace quillon {
namespace {

namespace at = DeviceSettings;

const QString kClearDataQuestion =
    "Durch das Setzen dieser Option können Daten verloren gehen! Sind sie sicher, dass sie "
    "diese Option setzen möchten?";

class SettingsPageTest : public ::testing::Test {
  protected:
    // The page alone, as a window of its own; what it says for the status line is kept here.
    void SetUp() override {
        page = std::make_unique<TSettingsPage>(buffer, adapter, dialogs);
        QObject::connect(page.get(), &TSettingsPage::StatusTextChanged,
                         [this](const QString& text) { status = text; });
        ASSERT_TRUE(ShowActive(*page));
    }

    // A settings record as the adapter sends it.
    void LoadRecord(std::initializer_list<std::pair<std::size_t, uint8_t>> bytes) {
        buffer.fill(0);
        buffer[at::ReportId] = SettingsReportId;
        for (const auto& [index, value] : bytes) {
            buffer[index] = value;
        }
    }

    ReportBuffer Collected() {
        page->CollectDeviceSettings();
        return buffer;
    }

    // The state after the first settings read: changes mark the page modified from now on.
    void StopSuppressing() {
        page->StopSuppressingModified();
        status = "";
        Child<QPushButton>(*page, "bnApply")->setEnabled(false);
    }

    // A Pavex record on show, where the clear options may be changed, and the user clicking
    // "Clear data after transmited" with the confirmation to be answered thus.
    void CheckClearDataAnswering(bool answer) {
        StopSuppressing();
        LoadRecord({{at::Pavex, 1}});
        page->ShowDeviceSettings(false);
        dialogs.ConfirmAnswers = {answer};
        ClickCheckBox(Child<QCheckBox>(*page, "cbClrMem"));
    }

    // No adapter behind the page: what is tested here is the page's own doing.
    class NoAdapter : public ISettingsTransfer {
      public:
        TransferResult ReadSettings() override { return {}; }
        TransferResult WriteSettings() override { return {}; }
    };

    ReportBuffer buffer{};
    NoAdapter adapter;
    FakeUserDialogs dialogs;
    QString status;
    std::unique_ptr<TSettingsPage> page;
};

TEST_F(SettingsPageTest, InitialControls) {
    EXPECT_EQ(Child<QLineEdit>(*page, "edVersion")->text(), "000");
    EXPECT_FALSE(Child<QLineEdit>(*page, "edVersion")->isEnabled());
    EXPECT_EQ(Child<QCheckBox>(*page, "cbUsedAltKey")->text(), "Use Alt-Key");
    EXPECT_EQ(Child<QCheckBox>(*page, "cbPavex")->text(), "Pavex mode");
    EXPECT_EQ(Child<QCheckBox>(*page, "cbClrMem")->text(), "Clear data after transmited");
    EXPECT_EQ(Child<QCheckBox>(*page, "cbClrStx")->text(), "Clear STX Line");
    EXPECT_EQ(Child<QCheckBox>(*page, "cbClrEtx")->text(), "Clear ETX Line");
    for (QCheckBox* box :
         {Child<QCheckBox>(*page, "cbUsedAltKey"), Child<QCheckBox>(*page, "cbPavex"),
          Child<QCheckBox>(*page, "cbClrMem"), Child<QCheckBox>(*page, "cbClrStx"),
          Child<QCheckBox>(*page, "cbClrEtx")}) {
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    }
    EXPECT_TRUE(Child<QComboBox>(*page, "edBaud")->isEditable());
    ASSERT_EQ(Child<QComboBox>(*page, "edBaud")->count(), 8);
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->itemText(0), "1200");
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->itemText(7), "115200");
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentIndex(), 4);
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "19200");
    for (QSpinBox* delay :
         {Child<QSpinBox>(*page, "edCharDelay"), Child<QSpinBox>(*page, "edLineDelay")}) {
        EXPECT_EQ(delay->minimum(), 0);
        EXPECT_EQ(delay->maximum(), 2000);
        EXPECT_EQ(delay->singleStep(), 10);
        EXPECT_EQ(delay->value(), 0);
    }
    EXPECT_EQ(Child<TRadioGroup>(*page, "rgFlowCtrl")->title(), "Flow-Ctrl");
    EXPECT_EQ(Child<TRadioGroup>(*page, "rgFlowCtrl")->ItemIndex(), 0);
    EXPECT_EQ(Child<QComboBox>(*page, "rgEnterCtrl")->count(), 3);
    EXPECT_EQ(Child<QComboBox>(*page, "rgEnterCtrl")->currentText(), "OFF");
    EXPECT_EQ(Child<QPushButton>(*page, "bnApply")->text(), "Apply");
    EXPECT_FALSE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    for (QPushButton* hidden :
         {Child<QPushButton>(*page, "bnLoad"), Child<QPushButton>(*page, "bnSave"),
          Child<QPushButton>(*page, "bnRead")}) {
        EXPECT_TRUE(hidden->isHidden());
    }
    EXPECT_EQ(Child<QPushButton>(*page, "bnLoad")->text(), "load");
    EXPECT_EQ(Child<QPushButton>(*page, "bnSave")->text(), "save");
    EXPECT_EQ(Child<QPushButton>(*page, "bnRead")->text(), "read");
}

TEST_F(SettingsPageTest, CollectingBeforeAnyReadLeavesReportIdAndTailAlone) {
    const ReportBuffer buffer = Collected();
    const uint8_t expected[] = {0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (std::size_t i = 0; i < kReportBufferSize; ++i) {
        EXPECT_EQ(buffer[i], i < std::size(expected) ? expected[i] : 0) << "byte " << i;
    }
}

TEST_F(SettingsPageTest, ShowsARecordAndCollectsItBack) {
    LoadRecord({{at::Version, 7},
                {at::UseAltKey, 2},
                {at::BaudRate, 16},
                {at::CharDelay, 3},
                {at::LineDelay, 250},
                {at::Pavex, 1},
                {at::ClrStx, 1},
                {at::ClrEtx, 0},
                {at::ClrMem, 1},
                {at::FlowCtrl, 1},
                {at::EnterCtrl, 2},
                {at::RecordMarker, 9},
                {40, 0x5A}});
    page->ShowDeviceSettings(true);

    EXPECT_EQ(Child<QLineEdit>(*page, "edVersion")->text(), "007");
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbUsedAltKey")->isChecked());
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "19200");
    EXPECT_EQ(Child<QSpinBox>(*page, "edCharDelay")->value(), 30);
    EXPECT_EQ(Child<QSpinBox>(*page, "edLineDelay")->value(), 2000);
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbPavex")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbClrStx")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrEtx")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
    EXPECT_EQ(Child<TRadioGroup>(*page, "rgFlowCtrl")->ItemIndex(), 1);
    EXPECT_EQ(Child<QComboBox>(*page, "rgEnterCtrl")->currentText(), "LF");
    EXPECT_TRUE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    EXPECT_EQ(buffer[at::RecordMarkerCopy], 9);

    const ReportBuffer buffer = Collected();
    const uint8_t expected[] = {3, 7, 1, 16, 3, 200, 1, 1, 0, 1, 1, 2, 1};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(buffer[i], expected[i]) << "byte " << i;
    }
    EXPECT_EQ(buffer[40], 0x5A);
    EXPECT_EQ(buffer[at::RecordMarkerCopy], 9);
}

TEST_F(SettingsPageTest, RecordOfAnotherReportChangesNoControlOnlyApply) {
    LoadRecord({{at::UseAltKey, 1},
                {at::BaudRate, 8},
                {at::Pavex, 1},
                {at::ClrMem, 1},
                {at::FlowCtrl, 1},
                {at::RecordMarker, 1}});
    buffer[at::ReportId] = 6;
    page->ShowDeviceSettings(true);
    EXPECT_TRUE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbUsedAltKey")->isChecked());
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "19200");
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbPavex")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
    EXPECT_EQ(Child<TRadioGroup>(*page, "rgFlowCtrl")->ItemIndex(), 0);
    EXPECT_EQ(buffer[at::RecordMarkerCopy], 0);
    EXPECT_TRUE(dialogs.Confirmations.empty());

    page->ShowDeviceSettings(false);
    EXPECT_FALSE(Child<QPushButton>(*page, "bnApply")->isEnabled());
}

TEST_F(SettingsPageTest, PavexOnForcesTheBaudRateAndLocksFlowControl) {
    LoadRecord({{at::BaudRate, 8}, {at::Pavex, 1}, {at::ClrEtx, 1}, {at::FlowCtrl, 1}});
    page->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "19200");
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbClrEtx")->isChecked());
    for (QCheckBox* box : {Child<QCheckBox>(*page, "cbClrStx"), Child<QCheckBox>(*page, "cbClrEtx"),
                           Child<QCheckBox>(*page, "cbClrMem")}) {
        EXPECT_TRUE(box->isEnabled());
    }
    EXPECT_EQ(Child<TRadioGroup>(*page, "rgFlowCtrl")->ItemIndex(), 1);
    EXPECT_FALSE(Child<TRadioGroup>(*page, "rgFlowCtrl")->isEnabled());
    EXPECT_TRUE(Child<QComboBox>(*page, "edBaud")->isEnabled());
    EXPECT_EQ(Collected()[at::BaudRate], 16);
}

TEST_F(SettingsPageTest, PavexOffClearsAndLocksTheClearOptions) {
    dialogs.DefaultConfirmAnswer = true;
    LoadRecord(
        {{at::BaudRate, 8}, {at::Pavex, 0}, {at::ClrStx, 1}, {at::ClrEtx, 1}, {at::ClrMem, 1}});
    page->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "9600");
    for (QCheckBox* box : {Child<QCheckBox>(*page, "cbClrStx"), Child<QCheckBox>(*page, "cbClrEtx"),
                           Child<QCheckBox>(*page, "cbClrMem")}) {
        EXPECT_FALSE(box->isChecked());
        EXPECT_FALSE(box->isEnabled());
    }
    EXPECT_TRUE(Child<TRadioGroup>(*page, "rgFlowCtrl")->isEnabled());
    // The display still passed the box through checked, and asked.
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    const ReportBuffer buffer = Collected();
    EXPECT_EQ(buffer[at::ClrStx], 0);
    EXPECT_EQ(buffer[at::ClrEtx], 0);
    EXPECT_EQ(buffer[at::ClrMem], 0);
    EXPECT_EQ(buffer[at::BaudRate], 8);
}

TEST_F(SettingsPageTest, UserTogglingPavexCouplesTheOtherControls) {
    StopSuppressing();
    Child<QComboBox>(*page, "edBaud")->setEditText("9600");
    ClickCheckBox(Child<QCheckBox>(*page, "cbPavex"));
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "19200");
    EXPECT_FALSE(Child<TRadioGroup>(*page, "rgFlowCtrl")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    EXPECT_EQ(status, "modified");

    ClickCheckBox(Child<QCheckBox>(*page, "cbClrStx"));
    ASSERT_TRUE(Child<QCheckBox>(*page, "cbClrStx")->isChecked());
    ClickCheckBox(Child<QCheckBox>(*page, "cbPavex"));
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrStx")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrStx")->isEnabled());
    EXPECT_TRUE(Child<TRadioGroup>(*page, "rgFlowCtrl")->isEnabled());
}

TEST_F(SettingsPageTest, OutOfRangeChoices) {
    LoadRecord({{at::FlowCtrl, 5}, {at::EnterCtrl, 3}});
    page->ShowDeviceSettings(false);
    EXPECT_EQ(Child<TRadioGroup>(*page, "rgFlowCtrl")->ItemIndex(), 1);
    EXPECT_EQ(Child<QComboBox>(*page, "rgEnterCtrl")->currentText(), "");
    const ReportBuffer buffer = Collected();
    EXPECT_EQ(buffer[at::FlowCtrl], 1);
    EXPECT_EQ(buffer[at::EnterCtrl], 0xFF);

    // A later record with a valid choice shows it again.
    LoadRecord({{at::EnterCtrl, 1}});
    page->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*page, "rgEnterCtrl")->currentText(), "CR");
    EXPECT_EQ(Collected()[at::EnterCtrl], 1);
}

TEST_F(SettingsPageTest, TypedTextsAreCollectedByTheirRules) {
    QLineEdit* enter = Child<QComboBox>(*page, "rgEnterCtrl")->lineEdit();
    enter->selectAll();
    QTest::keyClicks(enter, "CRLF");
    EXPECT_EQ(Collected()[at::EnterCtrl], 0xFF);
    enter->selectAll();
    QTest::keyClicks(enter, "LF");
    EXPECT_EQ(Collected()[at::EnterCtrl], 2);

    QLineEdit* baud = Child<QComboBox>(*page, "edBaud")->lineEdit();
    baud->selectAll();
    QTest::keyClicks(baud, "300");
    EXPECT_EQ(Collected()[at::BaudRate], 0);
    buffer[at::ReportId] = SettingsReportId;
    page->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "0");
    baud->selectAll();
    QTest::keyClicks(baud, "fast");
    EXPECT_EQ(Collected()[at::BaudRate], 16);

    Child<QSpinBox>(*page, "edCharDelay")->setValue(15);
    Child<QSpinBox>(*page, "edLineDelay")->setValue(25);
    EXPECT_EQ(Collected()[at::CharDelay], 2);
    EXPECT_EQ(Collected()[at::LineDelay], 2);
    Child<QSpinBox>(*page, "edCharDelay")->setValue(5);
    EXPECT_EQ(Collected()[at::CharDelay], 0);
}

TEST_F(SettingsPageTest, ChangesDoNotMarkThePageWhileSuppressed) {
    ASSERT_TRUE(page->ModifiedSuppressed());
    ClickCheckBox(Child<QCheckBox>(*page, "cbUsedAltKey"));
    Child<QSpinBox>(*page, "edCharDelay")->setValue(100);
    EXPECT_FALSE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    EXPECT_EQ(status, "");
}

TEST_F(SettingsPageTest, EveryUserChangeMarksThePageModified) {
    StopSuppressing();
    const auto expectModifiedAfter = [this](const char* what, auto change) {
        status = "";
        Child<QPushButton>(*page, "bnApply")->setEnabled(false);
        change();
        EXPECT_TRUE(Child<QPushButton>(*page, "bnApply")->isEnabled()) << what;
        EXPECT_EQ(status, "modified") << what;
    };
    expectModifiedAfter("alt key", [&] { ClickCheckBox(Child<QCheckBox>(*page, "cbUsedAltKey")); });
    expectModifiedAfter("clear stx", [&] { ClickCheckBox(Child<QCheckBox>(*page, "cbClrStx")); });
    expectModifiedAfter("clear etx", [&] { ClickCheckBox(Child<QCheckBox>(*page, "cbClrEtx")); });
    expectModifiedAfter("flow", [&] { Child<TRadioGroup>(*page, "rgFlowCtrl")->SetItemIndex(1); });
    expectModifiedAfter("baud typed", [&] {
        QTest::keyClicks(Child<QComboBox>(*page, "edBaud")->lineEdit(), "0");
    });
    expectModifiedAfter("baud chosen",
                        [&] { QTest::keyClick(Child<QComboBox>(*page, "edBaud"), Qt::Key_Down); });
    expectModifiedAfter(
        "enter", [&] { QTest::keyClick(Child<QComboBox>(*page, "rgEnterCtrl"), Qt::Key_Down); });
    expectModifiedAfter("char delay", [&] {
        Child<QSpinBox>(*page, "edCharDelay")->setFocus();
        QTest::keyClick(Child<QSpinBox>(*page, "edCharDelay"), Qt::Key_Up);
    });
    expectModifiedAfter("line delay", [&] { Child<QSpinBox>(*page, "edLineDelay")->setValue(20); });
}

TEST_F(SettingsPageTest, DisplayMarksModifiedOnlyForRealChanges) {
    StopSuppressing();
    LoadRecord({{at::UseAltKey, 1}});
    page->ShowDeviceSettings(false);
    EXPECT_EQ(status, "modified");
    EXPECT_FALSE(
        Child<QPushButton>(*page, "bnApply")->isEnabled());  // the display's own verdict comes last

    status = "Device settings";
    page->ShowDeviceSettings(false);
    EXPECT_EQ(status, "Device settings");
}

TEST_F(SettingsPageTest, LeavingTheBaudFieldAfterADisplayIsNoChange) {
    StopSuppressing();
    LoadRecord({{at::BaudRate, 8}});
    page->ShowDeviceSettings(false);
    status = "Device settings";
    Child<QComboBox>(*page, "edBaud")->setFocus();
    Child<QSpinBox>(*page, "edCharDelay")->setFocus();
    EXPECT_EQ(status, "Device settings");
    EXPECT_FALSE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    EXPECT_EQ(Child<QComboBox>(*page, "edBaud")->currentText(), "9600");
}

TEST_F(SettingsPageTest, UserCheckingClearDataAnsweredYes) {
    CheckClearDataAnswering(true);
    ASSERT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_EQ(dialogs.Confirmations[0], kClearDataQuestion);
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
    EXPECT_TRUE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    EXPECT_EQ(status, "modified");

    ClickCheckBox(Child<QCheckBox>(*page, "cbClrMem"));  // unchecking asks nothing
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
}

TEST_F(SettingsPageTest, UserCheckingClearDataAnsweredNo) {
    CheckClearDataAnswering(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
    EXPECT_TRUE(Child<QPushButton>(*page, "bnApply")->isEnabled());
    EXPECT_EQ(status, "modified");
    EXPECT_EQ(Collected()[at::ClrMem], 0);
}

TEST_F(SettingsPageTest, ConfirmationIsAskedEvenWhileSuppressed) {
    ASSERT_TRUE(page->ModifiedSuppressed());
    dialogs.ConfirmAnswers = {false};
    ClickCheckBox(Child<QCheckBox>(*page, "cbClrMem"));
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
    EXPECT_FALSE(Child<QPushButton>(*page, "bnApply")->isEnabled());
}

TEST_F(SettingsPageTest, DisplayOfClearDataAsksAndNoLeavesItUnchecked) {
    dialogs.ConfirmAnswers = {false};
    LoadRecord({{at::Pavex, 1}, {at::ClrMem, 1}});
    page->ShowDeviceSettings(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
    EXPECT_EQ(Collected()[at::ClrMem], 0);
}

TEST_F(SettingsPageTest, DisplayOfClearDataAsksAndYesKeepsIt) {
    dialogs.ConfirmAnswers = {true};
    LoadRecord({{at::Pavex, 1}, {at::ClrMem, 1}});
    page->ShowDeviceSettings(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());

    // Shown again while already checked: no passage from unchecked, no question.
    page->ShowDeviceSettings(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_TRUE(Child<QCheckBox>(*page, "cbClrMem")->isChecked());
}

}  // namespace
}  // namespace quillon
