#include "app/MainForm.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "config/ui/SettingsPage.h"
#include "device/ui/DeviceList.h"
#include "device/ui/RawReportPage.h"
#include "tests/FakeUserDialogs.h"
#include "tests/GuiTestSupport.h"

namespace quillon {
namespace {

constexpr auto kShiftAlt = Qt::ShiftModifier | Qt::AltModifier;

class MainFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<TMainForm>(dialogs, QStringList{});
        ASSERT_TRUE(ShowActive(*form));
    }

    // A press on the page's own background, away from every control.
    void PressPageBackground(QWidget* page, Qt::KeyboardModifiers modifiers,
                             Qt::MouseButton button = Qt::LeftButton) {
        const QPoint corner(2, 2);
        ASSERT_EQ(page->childAt(corner), nullptr);
        QTest::mousePress(page, button, modifiers, corner);
        QTest::mouseRelease(page, button, modifiers, corner);
    }

    QWidget* CurrentPage() const {
        return Child<QStackedWidget>(*form, "PageControl")->currentWidget();
    }

    FakeUserDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainFormTest, WindowCaptionPagesAndStatusLine) {
    EXPECT_EQ(form->windowTitle(), "Morvane Quillon - Utility");
    EXPECT_EQ(form->objectName(), "MainForm");
    EXPECT_EQ(form->menuBar()->objectName(), "MainMenu1");
    EXPECT_EQ(CurrentPage(), Child<TSettingsPage>(*form, "tsMain"));
    EXPECT_EQ(Child<QStackedWidget>(*form, "PageControl")->count(), 3);
    EXPECT_EQ(Child<QWidget>(*form, "tsWellcome")->objectName(), "tsWellcome");
    EXPECT_EQ(Child<QWidget>(*form, "tsWellcome")->windowTitle(), "Wellcome");
    EXPECT_EQ(Child<TSettingsPage>(*form, "tsMain")->windowTitle(), "Main");
    EXPECT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->windowTitle(), "Special");
    EXPECT_NE(Child<QWidget>(*form, "tsWellcome")->findChild<QLabel*>("lbWellcome"), nullptr);
    EXPECT_EQ(Child<QWidget>(*form, "tsWellcome")->findChild<QLabel*>("lbWellcome")->text(),
              "Connect the USB device and press the config button.");
    EXPECT_EQ(form->findChild<QStatusBar*>("StatusBar"), Child<QStatusBar>(*form, "StatusBar"));
    EXPECT_EQ(form->StatusText(), "");
    EXPECT_FALSE(Child<QComboBox>(*form, "cbDevListBox")->isEnabled());
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->count(), 0);
}

TEST_F(MainFormTest, MenuCaptionsAndShortcuts) {
    const auto item = [this](const char* name) { return form->findChild<QAction*>(name); };
    const struct {
        const char* name;
        const char* caption;
        QKeySequence shortcut;
    } expected[] = {
        {"miUpdate", "&Update Firmware", QKeySequence("Ctrl+U")},
        {"miLoadConfig", "&Load Config", QKeySequence("Ctrl+L")},
        {"miSaveConfig", "&Save Config", QKeySequence("Ctrl+S")},
        {"miReadConfig", "&Read Config", QKeySequence("Ctrl+R")},
        {"Close1", "&Close", QKeySequence("Ctrl+C")},
        {"miInfo", "&Info", QKeySequence()},
    };
    for (const auto& e : expected) {
        QAction* action = item(e.name);
        ASSERT_NE(action, nullptr) << e.name;
        EXPECT_EQ(action->text(), e.caption);
        EXPECT_EQ(action->shortcut(), e.shortcut) << e.name;
        EXPECT_TRUE(action->isEnabled()) << e.name;
    }
    EXPECT_EQ(Child<QMenu>(*form, "File1")->title(), "&File");
    const QList<QAction*> fileItems = Child<QMenu>(*form, "File1")->actions();
    ASSERT_EQ(fileItems.size(), 5);
    EXPECT_EQ(fileItems.front(), Child<QAction>(*form, "miUpdate"));
    EXPECT_EQ(fileItems.back(), Child<QAction>(*form, "Close1"));
    // "&Info" is an item of the menu bar itself, without a submenu.
    EXPECT_TRUE(form->menuBar()->actions().contains(Child<QAction>(*form, "miInfo")));
    EXPECT_EQ(Child<QAction>(*form, "miInfo")->menu(), nullptr);
}

TEST_F(MainFormTest, RawReportPageControls) {
    EXPECT_NE(form->findChild<QListView*>("HistoryListBox"), nullptr);
    EXPECT_EQ(Child<QLabel>(*form, "Label1")->text(), "Report");
    EXPECT_EQ(Child<QLineEdit>(*form, "ReportID")->text(), "03");
    EXPECT_EQ(Child<QToolButton>(*form, "ReadBtn")->text(), "Read");
    EXPECT_TRUE(Child<QToolButton>(*form, "ReadBtn")->isCheckable());
    EXPECT_EQ(Child<QToolButton>(*form, "WriteBtn")->text(), "Write");
    EXPECT_EQ(Child<QPushButton>(*form, "ResetBtn")->text(), "Reset");
    EXPECT_EQ(Child<QLabel>(*form, "Label2")->text(), "InhibitID");
    EXPECT_TRUE(Child<QLineEdit>(*form, "edInhibitID")->isHidden());
    EXPECT_TRUE(Child<QLabel>(*form, "Label2")->isHidden());
}

#ifndef _WIN32
// Sizes follow the system's fonts, which Qt's minimal platform, the only one the Windows
// tests have, does not give as the system does.
TEST_F(MainFormTest, WindowSizeAndResizing) {
    EXPECT_EQ(form->width(), 499);
    EXPECT_LE(form->minimumWidth(), form->width());
    EXPECT_LE(form->minimumHeight(), form->height());
    EXPECT_EQ(Child<TDeviceList>(*form, "Panel1")->height(), 41);

    const QSize pagesBefore = Child<QStackedWidget>(*form, "PageControl")->size();
    form->resize(form->width() + 200, form->height() + 100);
    QTRY_COMPARE_WITH_TIMEOUT(Child<QStackedWidget>(*form, "PageControl")->size(),
                              pagesBefore + QSize(200, 100), 10000);
    form->resize(1, 1);
    QTRY_COMPARE_WITH_TIMEOUT(form->size(), form->minimumSize(), 10000);
}
#endif

TEST_F(MainFormTest, ShiftAltPressOnTheSettingsPageTogglesTheRawReportPage) {
    PressPageBackground(Child<TSettingsPage>(*form, "tsMain"), kShiftAlt);
    EXPECT_EQ(CurrentPage(), Child<TRawReportPage>(*form, "tsSpecial"));
    PressPageBackground(Child<TRawReportPage>(*form, "tsSpecial"), kShiftAlt, Qt::RightButton);
    EXPECT_EQ(CurrentPage(), Child<TSettingsPage>(*form, "tsMain"));
    // Any other held key does not get in the way.
    PressPageBackground(Child<TSettingsPage>(*form, "tsMain"), kShiftAlt | Qt::ControlModifier,
                        Qt::MiddleButton);
    EXPECT_EQ(CurrentPage(), Child<TRawReportPage>(*form, "tsSpecial"));
}

TEST_F(MainFormTest, PressWithoutBothShiftAndAltDoesNothing) {
    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::AltModifier), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        PressPageBackground(Child<TSettingsPage>(*form, "tsMain"), modifiers);
        EXPECT_EQ(CurrentPage(), Child<TSettingsPage>(*form, "tsMain"));
    }
    Child<QStackedWidget>(*form, "PageControl")
        ->setCurrentWidget(Child<TRawReportPage>(*form, "tsSpecial"));
    PressPageBackground(Child<TRawReportPage>(*form, "tsSpecial"), Qt::ShiftModifier);
    EXPECT_EQ(CurrentPage(), Child<TRawReportPage>(*form, "tsSpecial"));
}

TEST_F(MainFormTest, ShiftAltPressOnAControlOrTheWelcomePageDoesNotToggle) {
    ClickCheckBox(Child<QCheckBox>(*form, "cbUsedAltKey"), kShiftAlt);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbUsedAltKey")->isChecked());
    EXPECT_EQ(CurrentPage(), Child<TSettingsPage>(*form, "tsMain"));
    QWidget* caption = Child<TSettingsPage>(*form, "tsMain")->findChild<QLabel*>("lbBaud");
    QTest::mousePress(caption, Qt::LeftButton, kShiftAlt, QPoint(2, 2));
    EXPECT_EQ(CurrentPage(), Child<TSettingsPage>(*form, "tsMain"));

    Child<QStackedWidget>(*form, "PageControl")
        ->setCurrentWidget(Child<QWidget>(*form, "tsWellcome"));
    PressPageBackground(Child<QWidget>(*form, "tsWellcome"), kShiftAlt);
    EXPECT_EQ(CurrentPage(), Child<QWidget>(*form, "tsWellcome"));
}

TEST_F(MainFormTest, ShiftAltPressOnTheVersionLabelUnlocksTheVersionField) {
    ASSERT_EQ(Child<QLabel>(*form, "Label5")->text(), "Version: ");
    ASSERT_FALSE(Child<QLineEdit>(*form, "edVersion")->isEnabled());
    const QPoint onLabel = Child<QLabel>(*form, "Label5")->rect().center();
    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::AltModifier)}) {
        QTest::mouseClick(Child<QLabel>(*form, "Label5"), Qt::LeftButton, modifiers, onLabel);
        EXPECT_FALSE(Child<QLineEdit>(*form, "edVersion")->isEnabled());
    }
    QTest::mouseClick(Child<QLabel>(*form, "Label5"), Qt::RightButton, kShiftAlt, onLabel);
    EXPECT_TRUE(Child<QLineEdit>(*form, "edVersion")->isEnabled());
    // The press belongs to the label: the page stays.
    EXPECT_EQ(CurrentPage(), Child<TSettingsPage>(*form, "tsMain"));

    QTest::keyClicks(Child<QLineEdit>(*form, "edVersion"), "12");
    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(), "00012");
    form->SharedReportBuffer()[0] = SettingsReportId;
    Child<TSettingsPage>(*form, "tsMain")->ShowDeviceSettings(false);
    EXPECT_TRUE(Child<QLineEdit>(*form, "edVersion")->isEnabled());
}

TEST_F(MainFormTest, CtrlCClosesTheWindow) {
    QTest::keyClick(form.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormTest, CtrlCClosesTheWindowAlsoFromAnEditField) {
    QWidget* edit = Child<QComboBox>(*form, "edBaud")->lineEdit();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormTest, EditFieldsKeepTheirKeysOtherwise) {
    QLineEdit* edit = Child<QComboBox>(*form, "edBaud")->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);  // cut is no menu short-cut
    EXPECT_EQ(edit->text(), "");
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormTest, CloseMenuItemClosesTheWindow) {
    Child<QAction>(*form, "Close1")->trigger();
    EXPECT_FALSE(form->isVisible());
}

#ifndef _WIN32
// Needs the window system to move the activation between windows, which Qt's minimal
// platform, the only one the Windows tests have, does not do.
TEST_F(MainFormTest, FirstActivationBuildsTheByteGridLaterOnesOnlyResetInhibitID) {
    ASSERT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells().size(), 64u);
    EXPECT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells()[0],
              Child<QLineEdit>(*form, "Edit1"));
    EXPECT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->InhibitedReportID(), 0xFF);
    for (QLineEdit* edit : Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells()) {
        EXPECT_TRUE(edit->isHidden());
        EXPECT_EQ(edit->text(), "");
    }
    const auto firstGrid = Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells();

    Child<QLineEdit>(*form, "edInhibitID")->setText("12");
    ASSERT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->InhibitedReportID(), 0x12);
    QWidget other;
    ASSERT_TRUE(ShowActive(other));
    ASSERT_TRUE(ShowActive(*form));
    EXPECT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->InhibitedReportID(), 0xFF);
    EXPECT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells(), firstGrid);
}
#endif

TEST_F(MainFormTest, ByteGridHasFourRowsOfSixteen) {
    Child<QStackedWidget>(*form, "PageControl")
        ->setCurrentWidget(Child<TRawReportPage>(*form, "tsSpecial"));
    for (QLineEdit* edit : Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells()) {
        edit->show();
    }
    Child<TRawReportPage>(*form, "tsSpecial")->layout()->activate();
    const QPoint origin = Child<QLineEdit>(*form, "Edit1")->pos();
    for (int k = 0; k < 64; ++k) {
        const QPoint expected = origin + QPoint((k % 16) * 27, (k / 16) * 26);
        EXPECT_EQ(Child<TRawReportPage>(*form, "tsSpecial")->ByteEditCells()[k]->pos(), expected)
            << "edit " << k;
    }
}

TEST_F(MainFormTest, ApplyIsTheDefaultButtonOfTheSettingsPage) {
    int applied = 0;
    QObject::connect(Child<QPushButton>(*form, "bnApply"), &QPushButton::clicked,
                     [&] { ++applied; });
    Child<QSpinBox>(*form, "edCharDelay")->setFocus();
    QTest::keyClick(Child<QSpinBox>(*form, "edCharDelay"), Qt::Key_Return);
    EXPECT_EQ(applied, 0);  // disabled
    Child<QPushButton>(*form, "bnApply")->setEnabled(true);
    QTest::keyClick(Child<QSpinBox>(*form, "edCharDelay"), Qt::Key_Return);
    EXPECT_EQ(applied, 1);
}

TEST_F(MainFormTest, UpdateFirmwareAsksForTheFileFromTheWorkingFolder) {
    Child<QAction>(*form, "miUpdate")->trigger();
    EXPECT_TRUE(dialogs.WorkingFolderByDefault);
    ASSERT_EQ(dialogs.OpenRequests.size(), 1u);
    EXPECT_EQ(dialogs.OpenRequests[0].filter, "Update File (intel)|*.hex|All|*.*");
    EXPECT_EQ(dialogs.OpenRequests[0].title, "");
    EXPECT_EQ(dialogs.OpenRequests[0].fileName, "");
}

TEST(MainFormCommandLine, ParametersAreJoinedIntoTheStartupConfigPath) {
    FakeUserDialogs dialogs;
    TMainForm withPath(dialogs, {"/tmp/My", "Config.cfg"});
    EXPECT_EQ(withPath.StartupConfigFile(), std::optional<QString>("/tmp/My Config.cfg"));
    EXPECT_TRUE(Child<TSettingsPage>(withPath, "tsMain")->ModifiedSuppressed());

    TMainForm without(dialogs, {});
    EXPECT_EQ(without.StartupConfigFile(), std::nullopt);
}

}  // namespace
}  // namespace quillon
