#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "firmware/UpdateProtocol.h"
#include "firmware/tests/UpdateLog.h"
#include "firmware/ui/FlasherForm.h"
#include "tests/AdapterDevice.h"
#include "tests/FakeUserDialogs.h"
#include "tests/HexFiles.h"

namespace quillon {
namespace {

constexpr int kDeadlineMs = 10000;

class FlasherFormTest : public ::testing::Test {
  protected:
    FlasherFormTest() : image_(testing::PatternImage()) {
        file_ = QString::fromStdString(dir_.Write("update.hex", testing::HexFileFor(image_)));
        form_.RunUpdate = firmware::DirectUpdateRunner(&device_);
        form_.FileName = file_;
    }

    // Shows the window as the main window does, and waits for the update to end.
    void ShowAndRun() {
        form_.show();
        form_.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(form_.Finished(), kDeadlineMs);
    }

    testing::TempDir dir_;
    firmware::FirmwareImage image_;
    QString file_;
    emu::QuillonAdapter adapter_;
    testing::AdapterDevice device_{adapter_};
    FakeUserDialogs dialogs_;
    TFlasherForm form_{nullptr, dialogs_};
};

TEST_F(FlasherFormTest, WaitsWithItsButtonDisabledUntilShown) {
    EXPECT_EQ(form_.windowTitle(), "Flasher");
    EXPECT_EQ(form_.Label1->text(), "Update: ");
    EXPECT_TRUE(form_.txUpdateFileName->text().isEmpty());
    EXPECT_EQ(form_.bnClose->text(), "please wait");
    EXPECT_FALSE(form_.bnClose->isEnabled());
    EXPECT_EQ(form_.ProgressBar1->value(), 0);
    EXPECT_FALSE(form_.Timer1->isActive());
    EXPECT_EQ(form_.Timer1->interval(), 3000);
    EXPECT_EQ(adapter_.TransferCount(), 0u);
}

TEST_F(FlasherFormTest, SuccessfulUpdateSaysReadyAndClosesOnTheTimer) {
    ShowAndRun();
    EXPECT_EQ(adapter_.Log(), testing::SuccessfulUpdateLog(image_));
    const std::vector<uint8_t> flash = adapter_.Flash();
    EXPECT_TRUE(std::equal(image_.begin(), image_.end(), flash.begin() + firmware::kImageBase));
    EXPECT_TRUE(dialogs_.Messages.empty());
    EXPECT_EQ(form_.txUpdateFileName->text(), file_);
    EXPECT_EQ(form_.ProgressBar1->maximum(), 19);
    EXPECT_EQ(form_.ProgressBar1->value(), 19);
    EXPECT_EQ(form_.bnClose->text(), "ready");
    EXPECT_TRUE(form_.bnClose->isEnabled());
    ASSERT_TRUE(form_.Timer1->isActive());
    EXPECT_TRUE(form_.isVisible());
    // The three seconds pass.
    QMetaObject::invokeMethod(form_.Timer1, "timeout");
    EXPECT_FALSE(form_.isVisible());
    EXPECT_FALSE(form_.Timer1->isActive());
}

TEST_F(FlasherFormTest, ReadyButtonClosesBeforeTheTimer) {
    ShowAndRun();
    QTest::mouseClick(form_.bnClose, Qt::LeftButton);
    EXPECT_FALSE(form_.isVisible());
}

TEST_F(FlasherFormTest, CloseRequestsDuringTheUpdateAreDropped) {
    bool requested = false;
    device_.beforeTransfer = [&] {
        if (adapter_.TransferCount() != 100 || requested) {
            return;
        }
        // Made while the update runs; the window handles them between two blocks.
        QMetaObject::invokeMethod(
            &form_,
            [&] {
                requested = true;
                QTest::mouseClick(form_.bnClose, Qt::LeftButton);
                QTest::keyClick(&form_, Qt::Key_Escape);
                form_.close();
                EXPECT_TRUE(form_.isVisible());
            },
            Qt::QueuedConnection);
    };
    ShowAndRun();
    EXPECT_TRUE(requested);
    EXPECT_TRUE(form_.isVisible());
    EXPECT_EQ(adapter_.TransferCount(), size_t(firmware::kTransfersPerUpdate));
    EXPECT_EQ(form_.bnClose->text(), "ready");
    // After the update the close box works.
    form_.close();
    EXPECT_FALSE(form_.isVisible());
}

TEST_F(FlasherFormTest, WrongChecksumShowsTheMessageAfterTheFinishCommand) {
    adapter_.AnswerWrongChecksum(15);
    size_t transfersAtMessage = 0;
    dialogs_.WhileMessageShows = [&](const QString&) {
        transfersAtMessage = adapter_.TransferCount();
        EXPECT_EQ(form_.bnClose->text(), "close");
        EXPECT_EQ(form_.ProgressBar1->value(), 19);
    };
    ShowAndRun();
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    EXPECT_EQ(dialogs_.Messages[0], "CRC Error during flash write");
    // The adapter leaves its update mode before the message waits for the user.
    EXPECT_EQ(transfersAtMessage, 1u + 16 * 6 + 2);
    const std::vector<emu::AdapterTransfer> log = adapter_.Log();
    ASSERT_EQ(log.size(), transfersAtMessage);
    EXPECT_EQ(log[transfersAtMessage - 2], testing::Command(0x06, 0));
    EXPECT_TRUE(form_.bnClose->isEnabled());
    EXPECT_FALSE(form_.Timer1->isActive());
    QTest::mouseClick(form_.bnClose, Qt::LeftButton);
    EXPECT_FALSE(form_.isVisible());
}

TEST_F(FlasherFormTest, MissingFile) {
    form_.FileName = QString::fromStdString(dir_.PathOf("gone.hex"));
    ShowAndRun();
    EXPECT_EQ(dialogs_.Messages, std::vector<QString>{"ERROR: File not found!"});
    EXPECT_EQ(adapter_.Log(), (std::vector<emu::AdapterTransfer>{testing::Command(0x06, 0),
                                                                 testing::StatusRead()}));
    EXPECT_EQ(form_.ProgressBar1->value(), 0);
    EXPECT_EQ(form_.bnClose->text(), "close");
}

TEST_F(FlasherFormTest, NoDevice) {
    form_.RunUpdate = {};
    ShowAndRun();
    EXPECT_EQ(dialogs_.Messages, std::vector<QString>{"ACCESS ERROR"});
    EXPECT_EQ(form_.bnClose->text(), "close");
    EXPECT_EQ(adapter_.TransferCount(), 0u);
}

TEST_F(FlasherFormTest, StatusThreeIsAnAccessError) {
    adapter_.AnswerStatus(0x01, 3, 10);
    ShowAndRun();
    EXPECT_EQ(dialogs_.Messages, std::vector<QString>{"ACCESS ERROR"});
    EXPECT_EQ(adapter_.TransferCount(), 1u + 2 + 2);
}

TEST_F(FlasherFormTest, FinishCommandThatCannotBeSentFailsTheUpdate) {
    adapter_.UnplugAtTransfer(firmware::kTransfersPerUpdate - 2);
    ShowAndRun();
    EXPECT_EQ(dialogs_.Messages, std::vector<QString>{"ERROR: set report"});
    EXPECT_EQ(form_.bnClose->text(), "close");
    EXPECT_FALSE(form_.Timer1->isActive());
}

TEST_F(FlasherFormTest, RefusesTheUpdateFilesTheCommandLineRefusesWithTheSameText) {
    for (const testing::UpdateFileCase& c : testing::UpdateFileCases()) {
        emu::QuillonAdapter adapter;
        testing::AdapterDevice device(adapter);
        FakeUserDialogs dialogs;
        TFlasherForm form(nullptr, dialogs);
        form.RunUpdate = firmware::DirectUpdateRunner(&device);
        form.FileName = QString::fromStdString(dir_.Write("case.hex", c.Content));
        form.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.Finished(); }, kDeadlineMs)) << c.Name;
        if (c.Refusal.empty()) {
            EXPECT_TRUE(dialogs.Messages.empty()) << c.Name;
            const std::vector<uint8_t> flash = adapter.Flash();
            EXPECT_TRUE(
                std::equal(image_.begin(), image_.end(), flash.begin() + firmware::kImageBase))
                << c.Name;
        } else {
            EXPECT_EQ(dialogs.Messages, std::vector<QString>{QString::fromStdString(c.Refusal)})
                << c.Name;
            EXPECT_EQ(adapter.Log(), (std::vector<emu::AdapterTransfer>{testing::Command(0x06, 0),
                                                                        testing::StatusRead()}))
                << c.Name;
        }
    }
}

TEST_F(FlasherFormTest, AdapterUnpluggedDuringTheUpdate) {
    adapter_.UnplugAtTransfer(150);
    ShowAndRun();
    EXPECT_EQ(dialogs_.Messages, std::vector<QString>{"ERROR: set report"});
    EXPECT_EQ(adapter_.TransferCount(), 151u);
    EXPECT_EQ(form_.bnClose->text(), "close");
}

}  // namespace
}  // namespace quillon
