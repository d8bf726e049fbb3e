#include <QCoreApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include <memory>

#include "base/PlainEventLoop.h"
#include "hid/HidDeviceController.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "info/ui/InfoBox.h"

namespace quillon {
namespace {

// An emulated adapter checked out of a controller, as the main window holds the selected one.
class InfoBoxAdapterTest : public testing::Test {
  protected:
    void SetUp() override {
        adapter->SetVersionNumber(0x0abc);
        bus.Plug(adapter);
        controller = std::make_unique<THidDeviceController>(bus, loop);
        loop.RunPending();
        THidDevice* checkedOut = nullptr;
        ASSERT_TRUE(controller->CheckOutAt(checkedOut, 0));
        device.reset(checkedOut);
    }

    TInfoBoxSources sources{QCoreApplication::applicationFilePath(), {}};
    emu::EmulatedBus bus;
    PlainEventLoop loop;
    std::shared_ptr<emu::QuillonAdapter> adapter = std::make_shared<emu::QuillonAdapter>();
    std::unique_ptr<THidDeviceController> controller;
    std::unique_ptr<THidDevice> device;  // released before the controller goes
};

TEST_F(InfoBoxAdapterTest, ShowsTheAdaptersIdentityInUpperCaseHex) {
    TInfoBox box(nullptr, device.get(), sources);
    box.show();
    EXPECT_EQ(box.VendorName->text(), "Morvane");
    EXPECT_EQ(box.ProductName->text(), "Quillon");
    EXPECT_EQ(box.Vid->text(), "169B");
    EXPECT_EQ(box.Pid->text(), "0110");
    EXPECT_EQ(box.Vers->text(), "0ABC");
}

TEST_F(InfoBoxAdapterTest, ReadsTheAdapterOnlyWhenShown) {
    adapter->SetProduct(u"Quillon Mk II \u00e4");
    TInfoBox box(nullptr, device.get(), sources);
    EXPECT_EQ(box.Vid->text(), "-");
    EXPECT_EQ(box.ProductName->text(), "-");
    box.show();
    EXPECT_EQ(box.ProductName->text(), QString::fromUtf8("Quillon Mk II \u00e4"));
}

TEST_F(InfoBoxAdapterTest, AdapterWithoutStringsShowsEmptyNamesAndItsNumbers) {
    adapter->SetManufacturer(u"");
    adapter->SetProduct(u"");
    TInfoBox box(nullptr, device.get(), sources);
    box.show();
    EXPECT_EQ(box.VendorName->text(), "");
    EXPECT_EQ(box.ProductName->text(), "");
    EXPECT_EQ(box.Pid->text(), "0110");
}

}  // namespace
}  // namespace quillon
