#pragma once

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <functional>
#include <memory>

#include "app/CfgPathStore.h"
#include "app/MainForm.h"
#include "config/ui/SettingsPage.h"
#include "device/ui/DeviceList.h"
#include "device/ui/HistoryModel.h"
#include "device/ui/RawReportPage.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/GenericDevice.h"
#include "hid/emulated/QuillonAdapter.h"
#include "tests/FakeUserDialogs.h"
#include "tests/GuiTestSupport.h"
#include "ui/QtEventLoop.h"
#include "ui/RadioGroup.h"

namespace quillon {

using AdapterRecord = std::array<uint8_t, emu::QuillonAdapter::kFeatureReportLength>;
using Direction = emu::AdapterTransfer::Direction;

// The main window on an emulated bus of its own; the remembered configuration path lives in a
// temporary folder.
class AdapterWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef _WIN32
        SetCfgPathStoreFormat(QSettings::IniFormat);
        const QSettings::Format format = QSettings::IniFormat;
#else
        const QSettings::Format format = QSettings::NativeFormat;
#endif
        QSettings::setPath(format, QSettings::UserScope, storeFolder.path());
        QSettings::setPath(format, QSettings::SystemScope, storeFolder.filePath("machine"));
    }

    void TearDown() override {
        form.reset();
    }

    // Opens the window and waits for its first device scan.
    void StartWindow(const QStringList& arguments = {}) {
        form = std::make_unique<TMainForm>(dialogs, arguments, bus, loop);
        ASSERT_TRUE(ShowActive(*form));
        ASSERT_TRUE(WaitUntil([this] {
            return Child<QComboBox>(*form, "cbDevListBox")->count() > 0 ||
                   Child<QStackedWidget>(*form, "PageControl")->currentWidget() ==
                       Child<QWidget>(*form, "tsWellcome");
        }));
    }

    std::shared_ptr<emu::QuillonAdapter> PlugAdapter(const AdapterRecord* record = nullptr,
                                                     const emu::PlugOptions& options = {},
                                                     uint32_t* instance = nullptr) {
        auto adapter = std::make_shared<emu::QuillonAdapter>();
        if (record != nullptr) {
            adapter->SetSettings(*record);
        }
        const uint32_t plugged = bus.Plug(adapter, options);
        if (instance != nullptr) {
            *instance = plugged;
        }
        return adapter;
    }

    std::shared_ptr<emu::GenericDevice> PlugGeneric(emu::GenericDeviceConfig config) {
        auto device = std::make_shared<emu::GenericDevice>(std::move(config));
        bus.Plug(device);
        return device;
    }

    static bool WaitUntil(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }
    bool WaitForEntries(int count) {
        return WaitUntil(
            [this, count] { return Child<QComboBox>(*form, "cbDevListBox")->count() == count; });
    }
    // Input reports reach only the handles open when they are sent.
    bool WaitForReader(uint32_t instance) {
        return WaitUntil([this, instance] { return bus.Stats(instance).WaitersNow > 0; });
    }

    // Shift+Alt and a click on the settings page's background.
    void OpenRawReportPage() {
        QTest::mouseClick(Child<TSettingsPage>(*form, "tsMain"), Qt::LeftButton,
                          Qt::ShiftModifier | Qt::AltModifier, QPoint(2, 2));
        ASSERT_EQ(Child<QStackedWidget>(*form, "PageControl")->currentWidget(),
                  Child<TRawReportPage>(*form, "tsSpecial"));
    }

    static void TypeInto(QLineEdit* edit, const QString& text) {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    void PressMenuKey(Qt::Key key) {
        QTest::keyClick(form.get(), key, Qt::ControlModifier);
    }

    // Queued lines included.
    QStringList HistoryLines() const {
        Child<TRawReportPage>(*form, "tsSpecial")->HistoryModel()->Flush();
        QStringList lines;
        for (int row = 0;
             row < Child<TRawReportPage>(*form, "tsSpecial")->HistoryModel()->rowCount(); ++row) {
            lines << Child<TRawReportPage>(*form, "tsSpecial")->HistoryModel()->Line(row);
        }
        return lines;
    }

    static emu::AdapterTransfer Set(std::vector<uint8_t> bytes) {
        return {Direction::Set, bytes, bytes.size(), true};
    }

    static int SettingsReads(const emu::QuillonAdapter& adapter) {
        int reads = 0;
        for (const auto& transfer : adapter.Log()) {
            reads += transfer.Dir == Direction::Get && transfer.Bytes.at(0) == 3 ? 1 : 0;
        }
        return reads;
    }

    // Version 7, Alt key, 9600 baud (19200 in Pavex mode), 150 and 200 ms, Pavex mode, clear
    // STX, Xon/Xoff, LF, and bytes beyond the settings that must be carried through.
    static AdapterRecord SampleRecord() {
        AdapterRecord record{3, 7, 1, 8, 15, 20, 1, 1, 0, 0, 1, 2, 1, 0xA5};
        record[63] = 0x5A;
        record[64] = 1;
        return record;
    }

    QTemporaryDir storeFolder;
    emu::EmulatedBus bus;
    QtEventLoop loop;
    FakeUserDialogs dialogs;
    std::unique_ptr<TMainForm> form;
};

}  // namespace quillon
