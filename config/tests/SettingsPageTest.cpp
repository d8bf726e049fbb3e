#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <memory>

#include "app/MainForm.h"
#include "config/ui/SettingsPage.h"
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
    void SetUp() override {
        form = std::make_unique<TMainForm>(dialogs, QStringList{});
        ASSERT_TRUE(ShowActive(*form));
    }

    // A settings record as the adapter sends it.
    void LoadRecord(std::initializer_list<std::pair<std::size_t, uint8_t>> bytes) {
        form->SharedReportBuffer().fill(0);
        form->SharedReportBuffer()[at::ReportId] = SettingsReportId;
        for (const auto& [index, value] : bytes) {
            form->SharedReportBuffer()[index] = value;
        }
    }

    ReportBuffer Collected() {
        Child<TSettingsPage>(*form, "tsMain")->CollectDeviceSettings();
        return form->SharedReportBuffer();
    }

    // The state after the first settings read: changes mark the page modified from now on.
    void StopSuppressing() {
        Child<TSettingsPage>(*form, "tsMain")->StopSuppressingModified();
        form->SetStatusText("");
        Child<QPushButton>(*form, "bnApply")->setEnabled(false);
    }

    // A Pavex record on show, where the clear options may be changed, and the user clicking
    // "Clear data after transmited" with the confirmation to be answered thus.
    void CheckClearDataAnswering(bool answer) {
        StopSuppressing();
        LoadRecord({{at::Pavex, 1}});
        Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
        dialogs.ConfirmAnswers = {answer};
        ClickCheckBox(Child<QCheckBox>(*form, "cbClrMem"));
    }

    FakeUserDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};

TEST_F(SettingsPageTest, InitialControls) {
    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(), "000");
    EXPECT_FALSE(Child<QLineEdit>(*form, "edVersion")->isEnabled());
    EXPECT_EQ(Child<QCheckBox>(*form, "cbUsedAltKey")->text(), "Use Alt-Key");
    EXPECT_EQ(Child<QCheckBox>(*form, "cbPavex")->text(), "Pavex mode");
    EXPECT_EQ(Child<QCheckBox>(*form, "cbClrMem")->text(), "Clear data after transmited");
    EXPECT_EQ(Child<QCheckBox>(*form, "cbClrStx")->text(), "Clear STX Line");
    EXPECT_EQ(Child<QCheckBox>(*form, "cbClrEtx")->text(), "Clear ETX Line");
    for (QCheckBox* box :
         {Child<QCheckBox>(*form, "cbUsedAltKey"), Child<QCheckBox>(*form, "cbPavex"),
          Child<QCheckBox>(*form, "cbClrMem"), Child<QCheckBox>(*form, "cbClrStx"),
          Child<QCheckBox>(*form, "cbClrEtx")}) {
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    }
    EXPECT_TRUE(Child<QComboBox>(*form, "edBaud")->isEditable());
    ASSERT_EQ(Child<QComboBox>(*form, "edBaud")->count(), 8);
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->itemText(0), "1200");
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->itemText(7), "115200");
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentIndex(), 4);
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "19200");
    for (QSpinBox* delay :
         {Child<QSpinBox>(*form, "edCharDelay"), Child<QSpinBox>(*form, "edLineDelay")}) {
        EXPECT_EQ(delay->minimum(), 0);
        EXPECT_EQ(delay->maximum(), 2000);
        EXPECT_EQ(delay->singleStep(), 10);
        EXPECT_EQ(delay->value(), 0);
    }
    EXPECT_EQ(Child<TRadioGroup>(*form, "rgFlowCtrl")->title(), "Flow-Ctrl");
    EXPECT_EQ(Child<TRadioGroup>(*form, "rgFlowCtrl")->ItemIndex(), 0);
    EXPECT_EQ(Child<QComboBox>(*form, "rgEnterCtrl")->count(), 3);
    EXPECT_EQ(Child<QComboBox>(*form, "rgEnterCtrl")->currentText(), "OFF");
    EXPECT_EQ(Child<QPushButton>(*form, "bnApply")->text(), "Apply");
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    for (QPushButton* hidden :
         {Child<QPushButton>(*form, "bnLoad"), Child<QPushButton>(*form, "bnSave"),
          Child<QPushButton>(*form, "bnRead")}) {
        EXPECT_TRUE(hidden->isHidden());
    }
    EXPECT_EQ(Child<QPushButton>(*form, "bnLoad")->text(), "load");
    EXPECT_EQ(Child<QPushButton>(*form, "bnSave")->text(), "save");
    EXPECT_EQ(Child<QPushButton>(*form, "bnRead")->text(), "read");
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
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(true);

    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(), "007");
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbUsedAltKey")->isChecked());
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "19200");
    EXPECT_EQ(Child<QSpinBox>(*form, "edCharDelay")->value(), 30);
    EXPECT_EQ(Child<QSpinBox>(*form, "edLineDelay")->value(), 2000);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbPavex")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrStx")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrEtx")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
    EXPECT_EQ(Child<TRadioGroup>(*form, "rgFlowCtrl")->ItemIndex(), 1);
    EXPECT_EQ(Child<QComboBox>(*form, "rgEnterCtrl")->currentText(), "LF");
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(form->SharedReportBuffer()[at::RecordMarkerCopy], 9);

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
    form->SharedReportBuffer()[at::ReportId] = 6;
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(true);
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbUsedAltKey")->isChecked());
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "19200");
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbPavex")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
    EXPECT_EQ(Child<TRadioGroup>(*form, "rgFlowCtrl")->ItemIndex(), 0);
    EXPECT_EQ(form->SharedReportBuffer()[at::RecordMarkerCopy], 0);
    EXPECT_TRUE(dialogs.Confirmations.empty());

    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
}

TEST_F(SettingsPageTest, PavexOnForcesTheBaudRateAndLocksFlowControl) {
    LoadRecord({{at::BaudRate, 8}, {at::Pavex, 1}, {at::ClrEtx, 1}, {at::FlowCtrl, 1}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "19200");
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrEtx")->isChecked());
    for (QCheckBox* box : {Child<QCheckBox>(*form, "cbClrStx"), Child<QCheckBox>(*form, "cbClrEtx"),
                           Child<QCheckBox>(*form, "cbClrMem")}) {
        EXPECT_TRUE(box->isEnabled());
    }
    EXPECT_EQ(Child<TRadioGroup>(*form, "rgFlowCtrl")->ItemIndex(), 1);
    EXPECT_FALSE(Child<TRadioGroup>(*form, "rgFlowCtrl")->isEnabled());
    EXPECT_TRUE(Child<QComboBox>(*form, "edBaud")->isEnabled());
    EXPECT_EQ(Collected()[at::BaudRate], 16);
}

TEST_F(SettingsPageTest, PavexOffClearsAndLocksTheClearOptions) {
    dialogs.DefaultConfirmAnswer = true;
    LoadRecord(
        {{at::BaudRate, 8}, {at::Pavex, 0}, {at::ClrStx, 1}, {at::ClrEtx, 1}, {at::ClrMem, 1}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "9600");
    for (QCheckBox* box : {Child<QCheckBox>(*form, "cbClrStx"), Child<QCheckBox>(*form, "cbClrEtx"),
                           Child<QCheckBox>(*form, "cbClrMem")}) {
        EXPECT_FALSE(box->isChecked());
        EXPECT_FALSE(box->isEnabled());
    }
    EXPECT_TRUE(Child<TRadioGroup>(*form, "rgFlowCtrl")->isEnabled());
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
    Child<QComboBox>(*form, "edBaud")->setEditText("9600");
    ClickCheckBox(Child<QCheckBox>(*form, "cbPavex"));
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "19200");
    EXPECT_FALSE(Child<TRadioGroup>(*form, "rgFlowCtrl")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(form->StatusText(), "modified");

    ClickCheckBox(Child<QCheckBox>(*form, "cbClrStx"));
    ASSERT_TRUE(Child<QCheckBox>(*form, "cbClrStx")->isChecked());
    ClickCheckBox(Child<QCheckBox>(*form, "cbPavex"));
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrStx")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrStx")->isEnabled());
    EXPECT_TRUE(Child<TRadioGroup>(*form, "rgFlowCtrl")->isEnabled());
}

TEST_F(SettingsPageTest, OutOfRangeChoices) {
    LoadRecord({{at::FlowCtrl, 5}, {at::EnterCtrl, 3}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(Child<TRadioGroup>(*form, "rgFlowCtrl")->ItemIndex(), 1);
    EXPECT_EQ(Child<QComboBox>(*form, "rgEnterCtrl")->currentText(), "");
    const ReportBuffer buffer = Collected();
    EXPECT_EQ(buffer[at::FlowCtrl], 1);
    EXPECT_EQ(buffer[at::EnterCtrl], 0xFF);

    // A later record with a valid choice shows it again.
    LoadRecord({{at::EnterCtrl, 1}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*form, "rgEnterCtrl")->currentText(), "CR");
    EXPECT_EQ(Collected()[at::EnterCtrl], 1);
}

TEST_F(SettingsPageTest, TypedTextsAreCollectedByTheirRules) {
    QLineEdit* enter = Child<QComboBox>(*form, "rgEnterCtrl")->lineEdit();
    enter->selectAll();
    QTest::keyClicks(enter, "CRLF");
    EXPECT_EQ(Collected()[at::EnterCtrl], 0xFF);
    enter->selectAll();
    QTest::keyClicks(enter, "LF");
    EXPECT_EQ(Collected()[at::EnterCtrl], 2);

    QLineEdit* baud = Child<QComboBox>(*form, "edBaud")->lineEdit();
    baud->selectAll();
    QTest::keyClicks(baud, "300");
    EXPECT_EQ(Collected()[at::BaudRate], 0);
    form->SharedReportBuffer()[at::ReportId] = SettingsReportId;
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "0");
    baud->selectAll();
    QTest::keyClicks(baud, "fast");
    EXPECT_EQ(Collected()[at::BaudRate], 16);

    Child<QSpinBox>(*form, "edCharDelay")->setValue(15);
    Child<QSpinBox>(*form, "edLineDelay")->setValue(25);
    EXPECT_EQ(Collected()[at::CharDelay], 2);
    EXPECT_EQ(Collected()[at::LineDelay], 2);
    Child<QSpinBox>(*form, "edCharDelay")->setValue(5);
    EXPECT_EQ(Collected()[at::CharDelay], 0);
}

TEST_F(SettingsPageTest, ChangesDoNotMarkThePageWhileSuppressed) {
    ASSERT_TRUE(Child<TSettingsPage>(*form, "tsMain")->ModifiedSuppressed());
    ClickCheckBox(Child<QCheckBox>(*form, "cbUsedAltKey"));
    Child<QSpinBox>(*form, "edCharDelay")->setValue(100);
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(form->StatusText(), "");
}

TEST_F(SettingsPageTest, EveryUserChangeMarksThePageModified) {
    StopSuppressing();
    const auto expectModifiedAfter = [this](const char* what, auto change) {
        form->SetStatusText("");
        Child<QPushButton>(*form, "bnApply")->setEnabled(false);
        change();
        EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled()) << what;
        EXPECT_EQ(form->StatusText(), "modified") << what;
    };
    expectModifiedAfter("alt key", [&] { ClickCheckBox(Child<QCheckBox>(*form, "cbUsedAltKey")); });
    expectModifiedAfter("clear stx", [&] { ClickCheckBox(Child<QCheckBox>(*form, "cbClrStx")); });
    expectModifiedAfter("clear etx", [&] { ClickCheckBox(Child<QCheckBox>(*form, "cbClrEtx")); });
    expectModifiedAfter("flow", [&] { Child<TRadioGroup>(*form, "rgFlowCtrl")->SetItemIndex(1); });
    expectModifiedAfter("baud typed", [&] {
        QTest::keyClicks(Child<QComboBox>(*form, "edBaud")->lineEdit(), "0");
    });
    expectModifiedAfter("baud chosen",
                        [&] { QTest::keyClick(Child<QComboBox>(*form, "edBaud"), Qt::Key_Down); });
    expectModifiedAfter(
        "enter", [&] { QTest::keyClick(Child<QComboBox>(*form, "rgEnterCtrl"), Qt::Key_Down); });
    expectModifiedAfter("char delay", [&] {
        Child<QSpinBox>(*form, "edCharDelay")->setFocus();
        QTest::keyClick(Child<QSpinBox>(*form, "edCharDelay"), Qt::Key_Up);
    });
    expectModifiedAfter("line delay", [&] { Child<QSpinBox>(*form, "edLineDelay")->setValue(20); });
}

TEST_F(SettingsPageTest, DisplayMarksModifiedOnlyForRealChanges) {
    StopSuppressing();
    LoadRecord({{at::UseAltKey, 1}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(form->StatusText(), "modified");
    EXPECT_FALSE(
        Child<QPushButton>(*form, "bnApply")->isEnabled());  // the display's own verdict comes last

    form->SetStatusText("Device settings");
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(form->StatusText(), "Device settings");
}

TEST_F(SettingsPageTest, LeavingTheBaudFieldAfterADisplayIsNoChange) {
    StopSuppressing();
    LoadRecord({{at::BaudRate, 8}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    form->SetStatusText("Device settings");
    Child<QComboBox>(*form, "edBaud")->setFocus();
    Child<QSpinBox>(*form, "edCharDelay")->setFocus();
    EXPECT_EQ(form->StatusText(), "Device settings");
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "9600");
}

TEST_F(SettingsPageTest, UserCheckingClearDataAnsweredYes) {
    CheckClearDataAnswering(true);
    ASSERT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_EQ(dialogs.Confirmations[0], kClearDataQuestion);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(form->StatusText(), "modified");

    ClickCheckBox(Child<QCheckBox>(*form, "cbClrMem"));  // unchecking asks nothing
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
}

TEST_F(SettingsPageTest, UserCheckingClearDataAnsweredNo) {
    CheckClearDataAnswering(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(form->StatusText(), "modified");
    EXPECT_EQ(Collected()[at::ClrMem], 0);
}

TEST_F(SettingsPageTest, ConfirmationIsAskedEvenWhileSuppressed) {
    ASSERT_TRUE(Child<TSettingsPage>(*form, "tsMain")->ModifiedSuppressed());
    dialogs.ConfirmAnswers = {false};
    ClickCheckBox(Child<QCheckBox>(*form, "cbClrMem"));
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
}

TEST_F(SettingsPageTest, DisplayOfClearDataAsksAndNoLeavesItUnchecked) {
    dialogs.ConfirmAnswers = {false};
    LoadRecord({{at::Pavex, 1}, {at::ClrMem, 1}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
    EXPECT_EQ(Collected()[at::ClrMem], 0);
}

TEST_F(SettingsPageTest, DisplayOfClearDataAsksAndYesKeepsIt) {
    dialogs.ConfirmAnswers = {true};
    LoadRecord({{at::Pavex, 1}, {at::ClrMem, 1}});
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());

    // Shown again while already checked: no passage from unchecked, no question.
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_EQ(dialogs.Confirmations.size(), 1u);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrMem")->isChecked());
}

}  // namespace
}  // namespace quillon
