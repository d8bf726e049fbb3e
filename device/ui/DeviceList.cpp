#include "device/ui/DeviceList.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>

#include "device/Adapter.h"
#include "device/ReportText.h"
#include "hid/AccessAdvice.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"

// Device discovery and selection: the device list rebuilt at every device change, the device
// in use, and the child windows that borrow it.

namespace quillon {

namespace {

constexpr int kDevicePanelHeight = 41;

}  // namespace

TDeviceList::TDeviceList(QWidget* parent) : QWidget(parent) {
    setObjectName("Panel1");
    setFixedHeight(kDevicePanelHeight);
    auto* panelLayout = new QHBoxLayout(this);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    cbDevListBox = new QComboBox(this);
    cbDevListBox->setObjectName("cbDevListBox");
    cbDevListBox->setEnabled(false);
    // Nearly as wide as the window (481 of 499 px in the design), and narrower with it.
    cbDevListBox->setMinimumWidth(120);
    cbDevListBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    panelLayout->addWidget(cbDevListBox);
}

TDeviceList::~TDeviceList() {
    DetachController();
}

void TDeviceList::DetachController() {
    // The devices go back to the controller before it goes; their readers may still hand over
    // a report or two while they stop, which the emptied list then ignores.
    ReleaseListedDevices();
    HidCtl.reset();
}

void TDeviceList::AttachController(IHidPlatform& platform, IEventLoop& loop) {
    HidCtl = std::make_unique<THidDeviceController>(platform, loop);
    HidCtl->SetOnEnumerate(MakeHandler<&TDeviceList::HidCtlEnumerate>(this));
    HidCtl->SetOnDeviceChange(MakeHandler<&TDeviceList::HidCtlDeviceChange>(this));
}

int TDeviceList::Count() const {
    return cbDevListBox->count();
}

bool TDeviceList::HasSelection() const {
    return cbDevListBox->count() != 0 && cbDevListBox->currentIndex() >= 0;
}

THidDevice* TDeviceList::SelectedDevice() const {
    const int index = cbDevListBox->currentIndex();
    return index < 0 ? nullptr : ListedDevices.At(static_cast<size_t>(index));
}

void TDeviceList::HidCtlDeviceChange(THidDeviceController*) {
    // A child window holds the selected device: rebuilding now would destroy it under the
    // window. The rebuild runs when the window has closed.
    if (ModalChildren > 0) {
        RebuildDeferred = true;
        return;
    }
    RebuildDeviceList();
}

void TDeviceList::ReleaseListedDevices() {
    // A reader that hands over a last report while its device is being released finds no
    // selected device, and its report is ignored.
    ListedDevices.Release();
}

void TDeviceList::RebuildDeviceList() {
    RebuildDeferred = false;
    ReleaseListedDevices();
    cbDevListBox->clear();
    emit ListEmptied();
    if (HidCtl != nullptr) {
        HidCtl->EnumerateDevices();
    }
    if (cbDevListBox->count() > 0) {
        cbDevListBox->setCurrentIndex(0);
    }
    emit ListRebuilt();
}

bool TDeviceList::HidCtlEnumerate(THidDevice* HidDev, int Idx) {
    if (!IsAdapter(HidDev->Identity)) {
        return true;
    }
    const QString product = QString::fromStdU16String(HidDev->ProductString());
    cbDevListBox->addItem(QString::fromStdString(DeviceEntryText(
        product.toStdString(), HidDev->Identity.VendorID, HidDev->Identity.ProductID)));
    ListedDevices.CheckOut(*HidCtl, Idx);
    return true;
}

int TDeviceList::ShowChildModally(QDialog& child) {
    const int result = ExecChild(child);
    RunHeldBackRebuild();
    return result;
}

int TDeviceList::ExecChild(QDialog& child) {
    ++ModalChildren;
    const int result = child.exec();
    --ModalChildren;
    return result;
}

void TDeviceList::RunHeldBackRebuild() {
    if (ModalChildren == 0 && RebuildDeferred) {
        // Through the controller, so that the held-back rebuild is guarded as every other one:
        // a change that comes in while it shows a message box waits for it to end.
        if (HidCtl != nullptr) {
            HidCtl->RepeatDeviceChange();
        } else {
            RebuildDeviceList();
        }
    }
}

std::string AccessProblemText(THidDevice& device) {
    const std::string node = device.InterfacePath();
    if (IsAccessRefusal(device.OpenFailure())) {
        return "This program may not read and write the adapter, so its settings cannot be "
               "shown or changed.\n\n" +
               MissingAccessAdvice(node);
    }
    return "The adapter at " + node +
           " cannot be opened for reading and writing: " + device.OpenFailure().Message;
}

std::string AccessProblemSummary(THidDevice& device) {
    return IsAccessRefusal(device.OpenFailure()) ? "No permission to use the adapter"
                                                 : "The adapter cannot be opened";
}

}  // namespace quillon
