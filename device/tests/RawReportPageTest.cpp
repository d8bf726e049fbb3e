#include "device/ui/RawReportPage.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <cerrno>

#include "device/ui/DeviceList.h"
#include "device/ui/HistoryModel.h"
#include "device/ui/ReportExchange.h"
#include "hid/ErrnoFailure.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "tests/GuiTestSupport.h"
#include "ui/QtEventLoop.h"

namespace quillon {
namespace {

using Direction = emu::AdapterTransfer::Direction;

QString Zeros(int count) {
    return QString("00 ").repeated(count);
}

// The raw-report page with what it stands on and nothing more: the device list over an
// emulated bus of its own, the report exchange and the report buffer they share.
class RawReportPageTest : public ::testing::Test {
  protected:
    void StartWithAdapter(const std::array<uint8_t, 65>* record = nullptr) {
        if (record != nullptr) {
            adapter->SetSettings(*record);
        }
        bus.Plug(adapter);
        devices.AttachController(bus, loop);
        ASSERT_TRUE(QTest::qWaitFor([this] { return devices.Count() > 0; }, 10000));
        ASSERT_TRUE(ShowActive(page));
        page.WindowActivated();
        page.DevListBox1Click();
        // As the window does at every listing: the settings read addresses the adapter, which
        // the page's Write then goes to.
        ASSERT_TRUE(exchange.ReadSettings().Ok());
        adapter->ClearLog();
    }

    void TearDown() override { devices.DetachController(); }

    static void TypeInto(QLineEdit* edit, const QString& text) {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    void Click(const char* button) {
        QTest::mouseClick(Child<QToolButton>(page, button), Qt::LeftButton);
    }

    QLineEdit* Cell(size_t index) const { return page.ByteEditCells().at(index); }

    QStringList HistoryLines() const {
        page.HistoryModel()->Flush();
        QStringList lines;
        for (int row = 0; row < page.HistoryModel()->rowCount(); ++row) {
            lines << page.HistoryModel()->Line(row);
        }
        return lines;
    }

    emu::EmulatedBus bus;
    QtEventLoop loop;
    ReportBuffer buffer{};
    TDeviceList devices;
    TReportExchange exchange{devices, buffer};
    TRawReportPage page{devices, exchange, buffer};
    std::shared_ptr<emu::QuillonAdapter> adapter = std::make_shared<emu::QuillonAdapter>();
};

TEST_F(RawReportPageTest, ReadShowsTheReportAndWriteSendsTheEdits) {
    std::array<uint8_t, 65> record{3, 0x11, 0x22, 0x33};
    record[64] = 0xAB;
    ASSERT_NO_FATAL_FAILURE(StartWithAdapter(&record));
    ASSERT_EQ(page.ByteEditCells().size(), 64u);
    EXPECT_EQ(Cell(17)->pos(), Child<QLineEdit>(page, "Edit1")->pos() + QPoint(27, 26));
    Cell(15)->setFocus();
    QTest::keyClick(Cell(15), Qt::Key_Tab);
    EXPECT_TRUE(Cell(16)->hasFocus());

    TypeInto(Child<QLineEdit>(page, "ReportID"), "3");
    Click("ReadBtn");
    EXPECT_EQ(adapter->Log().at(0).Length, 65u);
    EXPECT_EQ(Child<QLineEdit>(page, "ReportID")->text(), "3");
    EXPECT_FALSE(Child<QToolButton>(page, "ReadBtn")->isChecked());
    EXPECT_EQ(Cell(2)->text(), "33");
    EXPECT_EQ(Cell(63)->text(), "AB");

    // What is no hex byte is written as 0; more than two digits keep the last two.
    TypeInto(Cell(0), "7");
    TypeInto(Cell(1), "1ab");
    TypeInto(Cell(2), "");
    TypeInto(Cell(3), "xyz");
    Click("WriteBtn");
    std::vector<uint8_t> sent(65, 0);
    sent[0] = 3;
    sent[1] = 0x07;
    sent[2] = 0xAB;
    sent[64] = 0xAB;
    EXPECT_EQ(adapter->Log().at(1),
              (emu::AdapterTransfer{Direction::Set, sent, sent.size(), true}));
    EXPECT_EQ(Child<QLineEdit>(page, "ReportID")->text(), "03");
    EXPECT_EQ(Cell(1)->text(), "AB");
    EXPECT_EQ(Cell(2)->text(), "00");
    EXPECT_EQ(Cell(3)->text(), "00");
    EXPECT_EQ(HistoryLines(), (QStringList{"R 03  11 22 33 " + Zeros(60) + "AB ",
                                           "W 03  07 AB " + Zeros(61) + "AB "}));
}

TEST_F(RawReportPageTest, ReportIdTextRulesAndFailedTransfers) {
    ASSERT_NO_FATAL_FAILURE(StartWithAdapter());
    TypeInto(Child<QLineEdit>(page, "ReportID"), "1FF");
    Click("WriteBtn");
    EXPECT_EQ(adapter->Log().back().Bytes.at(0), 0xFF);
    EXPECT_EQ(Child<QLineEdit>(page, "ReportID")->text(), "FF");
    TypeInto(Child<QLineEdit>(page, "ReportID"), "");
    Click("WriteBtn");
    EXPECT_EQ(adapter->Log().back().Bytes.at(0), 0x00);
    EXPECT_EQ(Child<QLineEdit>(page, "ReportID")->text(), "00");

    // The adapter has no report 0xFF to read.
    TypeInto(Child<QLineEdit>(page, "ReportID"), "1FF");
    Click("ReadBtn");
    EXPECT_EQ(adapter->Log().back().Bytes.at(0), 0xFF);
    EXPECT_EQ(HistoryLines().back(), "R FF  failed: Broken pipe");
    adapter->FailTransfer(adapter->TransferCount());
    TypeInto(Child<QLineEdit>(page, "ReportID"), "3");
    Click("WriteBtn");
    EXPECT_EQ(HistoryLines().back(), "W 03  failed: Input/output error");

    page.HidCtlDeviceDataError(devices.SelectedDevice(), ErrnoFailure(EIO));
    EXPECT_EQ(HistoryLines().back(), "READ ERROR: Input/output error");
}

}  // namespace
}  // namespace quillon
