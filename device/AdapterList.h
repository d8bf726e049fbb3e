#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace quillon {

class THidDevice;
class THidDeviceController;

// The adapters a front end holds: checked out of the controller while it presents its devices,
// in the controller's list order, each owned here until it is given back.
class AdapterList {
  public:
    // What becomes of an adapter the controller refuses to hand out: the window lists it as an
    // entry without a device, as it lists every adapter it sees; the command-line tool leaves
    // it out, since it has nothing to offer for it.
    enum class RefusedAdapters { KeepEmptyEntry, LeaveOut };

    explicit AdapterList(RefusedAdapters refused);
    AdapterList(const AdapterList&) = delete;
    AdapterList& operator=(const AdapterList&) = delete;
    ~AdapterList();

    // For the controller's enumeration handler, once it has found the device it presents at
    // index to be an adapter: checks it out into a new entry. The device, or nullptr when the
    // controller refused it.
    THidDevice* CheckOut(THidDeviceController& controller, int index);

    size_t Count() const { return devices_.size(); }
    // The entry's device; nullptr past the end or for an entry without one.
    THidDevice* At(size_t index) const;

    // Gives every device back to the controller. The list is emptied first: a reader that hands
    // over a last report while its device is being released finds no device listed.
    void Release();

  private:
    RefusedAdapters refused_;
    std::vector<std::unique_ptr<THidDevice>> devices_;
};

// The feature report length of a listed device as far as a report buffer holds it; 0 for no
// device.
size_t FeatureLength(THidDevice* device);

}  // namespace quillon
