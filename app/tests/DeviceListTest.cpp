#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <fstream>

#include "app/tests/AdapterWindowFixture.h"
#include "firmware/UpdateProtocol.h"
#include "firmware/ui/FlasherForm.h"
#include "hid/HidDeviceController.h"
#include "tests/HexFiles.h"
#include "ui/RadioGroup.h"

namespace quillon {
namespace {

emu::GenericDeviceConfig Mouse() {
    emu::GenericDeviceConfig config;
    config.Identity = HidIdentity{0x046D, 0xC077, 0x0100};
    return config;
}

// Keeps every activation away from the update window while it lives.
class ActivationBlocker : public QObject {
  public:
    ActivationBlocker() { qApp->installEventFilter(this); }
    ~ActivationBlocker() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool activation =
            event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowActivate;
        if (activation && qobject_cast<TFlasherForm*>(watched) != nullptr) {
            return true;
        }
        return false;
    }
};

void WriteFile(const QString& path, const AdapterRecord& record) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(record.data()), 64);
}

class DeviceListTest : public AdapterWindowTest {
  protected:
    void ExpectDeviceMenuEnabled(bool enabled) {
        for (QAction* item :
             {Child<QAction>(*form, "miUpdate"), Child<QAction>(*form, "miLoadConfig"),
              Child<QAction>(*form, "miSaveConfig"), Child<QAction>(*form, "miReadConfig")}) {
            EXPECT_EQ(item->isEnabled(), enabled) << item->objectName().toStdString();
        }
        EXPECT_TRUE(Child<QAction>(*form, "Close1")->isEnabled());
        EXPECT_TRUE(Child<QAction>(*form, "miInfo")->isEnabled());
    }
};

TEST_F(DeviceListTest, WithoutAnAdapterTheWelcomePageShowsAndClosingSendsNothing) {
    const auto mouse = PlugGeneric(Mouse());
    emu::GenericDeviceConfig otherProduct;
    otherProduct.Identity = HidIdentity{0x169B, 0x0111, 0x0100};
    PlugGeneric(otherProduct);
    StartWindow();

    EXPECT_EQ(Child<QStackedWidget>(*form, "PageControl")->currentWidget(),
              Child<QWidget>(*form, "tsWellcome"));
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->count(), 0);
    EXPECT_EQ(Child<TDeviceList>(*form, "Panel1")->Controller()->CheckedOutCount(), 0);
    ExpectDeviceMenuEnabled(false);
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    PressMenuKey(Qt::Key_C);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(mouse->SetReports().empty());
}

TEST_F(DeviceListTest, PluggedAdapterIsListedAndItsSettingsShown) {
    const AdapterRecord record = SampleRecord();
    const auto adapter = PlugAdapter(&record);
    StartWindow();

    ASSERT_EQ(Child<QComboBox>(*form, "cbDevListBox")->count(), 1);
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->itemText(0), "Quillon - VID=169B PID=0110");
    EXPECT_EQ(Child<QStackedWidget>(*form, "PageControl")->currentWidget(),
              Child<TSettingsPage>(*form, "tsMain"));
    ExpectDeviceMenuEnabled(true);
    ASSERT_EQ(adapter->Log().size(), 1u);
    EXPECT_EQ(adapter->Log()[0],
              (emu::AdapterTransfer{Direction::Get, {record.begin(), record.end()}, 65, true}));
    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(), "007");
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbUsedAltKey")->isChecked());
    EXPECT_EQ(Child<QComboBox>(*form, "edBaud")->currentText(), "19200");
    EXPECT_EQ(Child<QSpinBox>(*form, "edCharDelay")->value(), 150);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbClrStx")->isChecked());
    EXPECT_EQ(Child<TRadioGroup>(*form, "rgFlowCtrl")->ItemIndex(), 1);
    EXPECT_EQ(Child<QComboBox>(*form, "rgEnterCtrl")->currentText(), "LF");
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_FALSE(Child<TSettingsPage>(*form, "tsMain")->ModifiedSuppressed());
}

TEST_F(DeviceListTest, ApplyWritesTheCollectedRecordAndReadConfigReadsItBack) {
    const AdapterRecord record = SampleRecord();
    const auto adapter = PlugAdapter(&record);
    StartWindow();
    adapter->ClearLog();

    ClickCheckBox(Child<QCheckBox>(*form, "cbUsedAltKey"));
    EXPECT_EQ(form->StatusText(), "modified");
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    QTest::mouseClick(Child<QPushButton>(*form, "bnApply"), Qt::LeftButton);
    AdapterRecord expected = record;
    expected[2] = 0;   // Alt key off
    expected[3] = 16;  // Pavex mode sends 19200
    ASSERT_EQ(adapter->Log().size(), 1u);
    EXPECT_EQ(adapter->Log()[0], Set({expected.begin(), expected.end()}));
    EXPECT_EQ(form->StatusText(), "Device-Settings updated");
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());

    AdapterRecord changed = record;
    changed[4] = 40;
    adapter->SetSettings(changed);
    ClickCheckBox(Child<QCheckBox>(*form, "cbPavex"));
    PressMenuKey(Qt::Key_R);
    EXPECT_EQ(adapter->Log().back().Dir, Direction::Get);
    EXPECT_EQ(Child<QSpinBox>(*form, "edCharDelay")->value(), 400);
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbPavex")->isChecked());
    EXPECT_EQ(form->StatusText(), "Device settings");
    EXPECT_FALSE(Child<QPushButton>(*form, "bnApply")->isEnabled());
}

TEST_F(DeviceListTest, FailedTransfersAreNotShownAsSuccess) {
    const auto adapter = PlugAdapter();
    adapter->FailTransfer(0);  // the read at listing
    StartWindow();
    EXPECT_EQ(form->StatusText(), "Device settings could not be read");
    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(), "000");

    ClickCheckBox(Child<QCheckBox>(*form, "cbUsedAltKey"));
    adapter->FailTransfer(adapter->TransferCount());
    QTest::mouseClick(Child<QPushButton>(*form, "bnApply"), Qt::LeftButton);
    EXPECT_EQ(form->StatusText(), "Device-Settings not written");
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(adapter->Settings()[2], 0);
    QTest::mouseClick(Child<QPushButton>(*form, "bnApply"), Qt::LeftButton);
    EXPECT_EQ(adapter->Settings()[2], 1);

    adapter->SetSettings(SampleRecord());
    adapter->FailTransfer(adapter->TransferCount());
    PressMenuKey(Qt::Key_R);
    EXPECT_EQ(form->StatusText(), "Device settings could not be read");
    EXPECT_FALSE(Child<QCheckBox>(*form, "cbPavex")->isChecked());
}

TEST_F(DeviceListTest, TwoAdaptersUseTheFirstAndUnpluggingItMovesToTheSecond) {
    AdapterRecord second = SampleRecord();
    second[1] = 42;
    uint32_t firstInstance = 0;
    const auto adapter1 = PlugAdapter(nullptr, {}, &firstInstance);
    const auto adapter2 = PlugAdapter(&second);
    StartWindow();
    ASSERT_EQ(Child<QComboBox>(*form, "cbDevListBox")->count(), 2);
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->currentIndex(), 0);
    EXPECT_EQ(SettingsReads(*adapter1), 1);
    EXPECT_EQ(SettingsReads(*adapter2), 0);

    ASSERT_TRUE(bus.Unplug(firstInstance));
    ASSERT_TRUE(WaitForEntries(1));
    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(), "042");
    EXPECT_EQ(SettingsReads(*adapter2), 1);
}

TEST_F(DeviceListTest, UnrelatedDeviceRebuildsAndLeavesTheRawReportPage) {
    uint32_t instance = 0;
    const auto adapter = PlugAdapter(nullptr, {}, &instance);
    adapter->SetProduct(u"");
    StartWindow();
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->itemText(0),
              "Not Supported Device VID=169B PID=0110");
    OpenRawReportPage();
    ASSERT_TRUE(WaitForReader(instance));
    ASSERT_TRUE(bus.SendInputReport(instance, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
    ASSERT_TRUE(WaitUntil([this] {
        return Child<TRawReportPage>(*form, "tsSpecial")->HistoryModel()->rowCount() == 1;
    }));

    PlugGeneric(Mouse());
    ASSERT_TRUE(WaitUntil([&] { return SettingsReads(*adapter) == 2; }));
    EXPECT_EQ(Child<QStackedWidget>(*form, "PageControl")->currentWidget(),
              Child<TSettingsPage>(*form, "tsMain"));
    EXPECT_TRUE(HistoryLines().isEmpty());
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->count(), 1);
}

TEST_F(DeviceListTest, DeviceChangeWhileTheInfoWindowIsOpenWaitsForItToClose) {
    const auto adapter1 = PlugAdapter();
    StartWindow();
    THidDevice* shown = Child<TDeviceList>(*form, "Panel1")->SelectedDevice();
    bool deferred = false;
    AnswerNextModal([&](QWidget* window) {
        PlugAdapter();
        PlugGeneric(Mouse());
        deferred = WaitUntil([&] {
                       return Child<TDeviceList>(*form, "Panel1")->Controller()->DeviceCount() == 3;
                   }) &&
                   Child<TDeviceList>(*form, "Panel1")->DeviceListRebuildDeferred() &&
                   Child<QComboBox>(*form, "cbDevListBox")->count() == 1 &&
                   Child<TDeviceList>(*form, "Panel1")->SelectedDevice() == shown &&
                   SettingsReads(*adapter1) == 1;
        window->close();
    });
    const QRect item = form->menuBar()->actionGeometry(Child<QAction>(*form, "miInfo"));
    QTest::mouseClick(form->menuBar(), Qt::LeftButton, {}, item.center());

    EXPECT_TRUE(deferred);
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->count(),
              2);  // rebuilt once, after the window closed
    EXPECT_EQ(SettingsReads(*adapter1), 2);
}

TEST_F(DeviceListTest, HeldBackRebuildKeepsAChangeDuringItsMessageForAfterIt) {
    PlugAdapter();
    StartWindow({"/nonexistent/start.cfg"});  // every rebuild says "file not found"
    dialogs.Messages.clear();
    int open = 0;
    int mostOpen = 0;
    dialogs.WhileMessageShows = [&](const QString&) {
        mostOpen = std::max(mostOpen, ++open);
        if (dialogs.Messages.size() == 1) {
            PlugGeneric(Mouse());
            QCoreApplication::processEvents();  // the change notification arrives
        }
        --open;
    };
    AnswerNextModal([&](QWidget* window) {
        PlugAdapter();
        WaitUntil([&] { return Child<TDeviceList>(*form, "Panel1")->DeviceListRebuildDeferred(); });
        window->close();
    });
    const QRect item = form->menuBar()->actionGeometry(Child<QAction>(*form, "miInfo"));
    QTest::mouseClick(form->menuBar(), Qt::LeftButton, {}, item.center());

    // The mouse's change rebuilds once more, after the held-back rebuild's message.
    ASSERT_TRUE(WaitUntil([&] { return dialogs.Messages.size() == 2; }));
    EXPECT_EQ(mostOpen, 1);
    EXPECT_EQ(Child<QComboBox>(*form, "cbDevListBox")->count(), 2);
}

// Some desktops never activate a new window (focus-stealing prevention); being shown must be
// enough for the update to run, once.
TEST_F(DeviceListTest, UpdateFromTheMenuRunsOnceShownWithoutActivation) {
    const auto adapter = PlugAdapter();
    StartWindow();
    adapter->ClearLog();
    testing::TempDir folder;
    const firmware::FirmwareImage image = testing::PatternImage();
    dialogs.OpenAnswer =
        QString::fromStdString(folder.Write("update.hex", testing::HexFileFor(image)));
    ActivationBlocker noActivation;

    bool handedOver = false;
    QString fileName;
    size_t transfersWhenFinished = 0;
    QTimer closer;
    const QDeadlineTimer deadline(10000);
    // Polled from the event loop rather than waited on inside it, so that the run, which lets
    // events through between blocks, is never held up here.
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* flasher = qobject_cast<TFlasherForm*>(QApplication::activeModalWidget());
        if (flasher == nullptr || (!flasher->Finished() && !deadline.hasExpired())) {
            return;
        }
        closer.stop();
        handedOver = static_cast<bool>(flasher->RunUpdate);
        fileName = flasher->FileName;
        transfersWhenFinished = adapter->TransferCount();
        QTest::mouseClick(flasher->bnClose, Qt::LeftButton);
        flasher->close();  // in case it never ran, so the test ends
    });
    closer.start(10);
    PressMenuKey(Qt::Key_U);

    EXPECT_EQ(dialogs.OpenRequests.at(0).filter, "Update File (intel)|*.hex|All|*.*");
    EXPECT_TRUE(handedOver);  // the selected adapter's, as its flash below shows
    EXPECT_EQ(fileName, dialogs.OpenAnswer);
    EXPECT_EQ(transfersWhenFinished, size_t(firmware::kTransfersPerUpdate));
    const std::vector<uint8_t> flash = adapter->Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + firmware::kImageBase));
}

TEST_F(DeviceListTest, AdapterOpenedForQueryOnlyExplainsTheMissingPermission) {
    emu::PlugOptions queryOnly;
    queryOnly.ReadWriteAllowed = false;
    uint32_t instance = 0;
    const auto adapter = PlugAdapter(nullptr, queryOnly, &instance);
    StartWindow();

    ASSERT_TRUE(Child<QLabel>(*form, "lbAccessAdvice")->isVisible());
    const QString advice = Child<QLabel>(*form, "lbAccessAdvice")->text();
    EXPECT_TRUE(advice.contains(QString::fromStdString(emu::EmulatedBus::PathOf(instance))));
#ifdef _WIN32
    EXPECT_TRUE(advice.contains("No driver or rule needs to be installed."));
    EXPECT_FALSE(advice.contains("udev"));
#else
    EXPECT_TRUE(
        advice.contains("70-quillon-adapter.rules /usr/lib/udev/rules.d/ && sudo udevadm "
                        "control --reload && sudo udevadm trigger"));
#endif
    for (QWidget* control : std::initializer_list<QWidget*>{
             Child<QCheckBox>(*form, "cbPavex"), Child<QComboBox>(*form, "edBaud"),
             Child<QLineEdit>(*form, "edVersion"), Child<QPushButton>(*form, "bnApply")}) {
        EXPECT_FALSE(control->isVisible()) << control->objectName().toStdString();
    }
    // Nothing that needs the adapter's record is offered, and the status line says why.
    for (QAction* item :
         {Child<QAction>(*form, "miUpdate"), Child<QAction>(*form, "miLoadConfig"),
          Child<QAction>(*form, "miSaveConfig"), Child<QAction>(*form, "miReadConfig")}) {
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    }
    EXPECT_EQ(form->StatusText(), "No permission to use the adapter");
    PressMenuKey(Qt::Key_S);
    PressMenuKey(Qt::Key_R);
    EXPECT_TRUE(dialogs.SaveRequests.empty());
    EXPECT_TRUE(adapter->Log().empty());

    // With access granted and the adapter plugged in again, the settings are back.
    bus.Unplug(instance);
    PlugAdapter();
    ASSERT_TRUE(WaitUntil([this] { return Child<QCheckBox>(*form, "cbPavex")->isVisible(); }));
    EXPECT_FALSE(Child<QLabel>(*form, "lbAccessAdvice")->isVisible());
    EXPECT_TRUE(Child<QAction>(*form, "miSaveConfig")->isEnabled());
}

TEST_F(DeviceListTest, StartWithConfigFileLoadsItAtEveryListing) {
    QTemporaryDir folder;
    const QString path = folder.filePath("start.cfg");
    AdapterRecord fileRecord = SampleRecord();
    fileRecord[1] = 99;  // never replaces the adapter's version
    WriteFile(path, fileRecord);
    AdapterRecord adapterRecord = SampleRecord();
    adapterRecord[1] = 42;
    const auto adapter = PlugAdapter(&adapterRecord);
    StartWindow({path});

    EXPECT_TRUE(Child<TSettingsPage>(*form, "tsMain")->ModifiedSuppressed());
    EXPECT_TRUE(Child<QPushButton>(*form, "bnApply")->isEnabled());
    EXPECT_EQ(form->StatusText(), "Config-File settings (" + path + ")");
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbPavex")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(*form, "edVersion")->text(),
              "042");  // the adapter's, read before the file
    EXPECT_EQ(form->ReadCfgPath(), QDir::toNativeSeparators(path));
    ClickCheckBox(Child<QCheckBox>(*form, "cbUsedAltKey"));
    EXPECT_NE(form->StatusText(), "modified");

    fileRecord[4] = 30;
    WriteFile(path, fileRecord);
    PlugGeneric(Mouse());
    ASSERT_TRUE(
        WaitUntil([this] { return Child<QSpinBox>(*form, "edCharDelay")->value() == 300; }));
    EXPECT_TRUE(Child<QCheckBox>(*form, "cbUsedAltKey")->isChecked());
    EXPECT_TRUE(Child<TSettingsPage>(*form, "tsMain")->ModifiedSuppressed());
    EXPECT_EQ(SettingsReads(*adapter), 2);  // once at each listing

    // Apply sends the file's settings with the adapter's version byte.
    QTest::mouseClick(Child<QPushButton>(*form, "bnApply"), Qt::LeftButton);
    EXPECT_EQ(adapter->Settings()[1], 42);
    EXPECT_EQ(adapter->Settings()[4], 30);
}

}  // namespace
}  // namespace quillon
