#pragma once

#include <QWidget>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "device/AdapterList.h"

class QComboBox;
class QDialog;

namespace quillon {

class IEventLoop;
class IHidPlatform;
class THidDevice;
class THidDeviceController;

// The device panel (Panel1) with the list of attached adapters (cbDevListBox). Its entries own
// their checked-out devices; every device change rebuilds it, unless a child window borrows the
// selected device right now, in which case the rebuild waits for that window to close.
class TDeviceList : public QWidget {
    Q_OBJECT

  public:
    explicit TDeviceList(QWidget* parent = nullptr);
    ~TDeviceList() override;

    // Follows the devices of the platform from now on; the platform and the loop outlive it.
    void AttachController(IHidPlatform& platform, IEventLoop& loop);
    // Gives the devices back and ends the controller, before the window that shows them goes.
    void DetachController();
    // Absent in a window made without the HID layer.
    THidDeviceController* Controller() const { return HidCtl.get(); }

    int Count() const;
    // The list has an entry selected: there is a device in use, if only an empty one.
    bool HasSelection() const;
    // The device of the selected entry, or nullptr.
    THidDevice* SelectedDevice() const;

    // Shows a child window modally. Its device must survive a device change while it is open,
    // so a rebuild of the device list is held back until the last such window has closed.
    int ShowChildModally(QDialog& child);
    // The same in two steps, for a caller that holds the device while the child is open.
    int ExecChild(QDialog& child);
    void RunHeldBackRebuild();
    bool DeviceListRebuildDeferred() const { return RebuildDeferred; }

    // Gives every listed device back to the controller.
    void ReleaseListedDevices();

    // --- Events of the controller --------------------------------------------------------------
    void HidCtlDeviceChange(THidDeviceController* Sender);
    bool HidCtlEnumerate(THidDevice* HidDev, int Idx);

  signals:
    // The old devices are gone and the list is empty; it is about to be filled again.
    void ListEmptied();
    // The list holds the adapters attached now, entry 0 selected when there is one.
    void ListRebuilt();

  private:
    void RebuildDeviceList();

    QComboBox* cbDevListBox = nullptr;
    std::unique_ptr<THidDeviceController> HidCtl;
    // The devices of the entries of cbDevListBox, entry by entry.
    AdapterList ListedDevices{AdapterList::RefusedAdapters::KeepEmptyEntry};
    // Child windows shown modally right now, and whether a device change waits for them.
    int ModalChildren = 0;
    bool RebuildDeferred = false;
};

// Why the device cannot be used, with the advice that helps, for the settings page to show.
std::string AccessProblemText(THidDevice& device);
// The same in a few words, for the status line.
std::string AccessProblemSummary(THidDevice& device);

}  // namespace quillon
