#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hid/emulated/DeviceModel.h"

namespace quillon::emu {

// One feature transfer as the adapter saw it.
struct AdapterTransfer {
    enum class Direction { Get, Set };
    Direction Dir = Direction::Set;
    // Set: the bytes sent. Get: the bytes answered (the request's bytes if it failed).
    std::vector<uint8_t> Bytes;
    size_t Length = 0;
    bool Ok = false;

    bool operator==(const AdapterTransfer&) const = default;
};

// The adapter's report descriptor: input report 1 (8 bytes) and feature reports 2 to 6 of
// the lengths the update protocol and the settings record use (4, 65, 3, 2 and 4 bytes with
// the report ID), in one vendor-defined collection on usage page 0xFF00.
const std::vector<uint8_t>& QuillonAdapterDescriptor();

// The firmware of a Quillon adapter: its identity, the settings record (feature report 3),
// the reset report (6), the update side of the firmware update writing into an emulated
// flash, and input reports. Faults can be injected, and every transfer is logged.
//
// Thread-safety: transfers may come from one thread while input reports are generated on the
// model's own thread; every member may be called from any thread. Attach waits for an input
// report being handed to the host, so the host must not hold a lock that its
// SendInputReport takes while it calls Attach.
class QuillonAdapter : public IDeviceModel {
  public:
    static constexpr uint16_t kVendorId = 0x169B;
    static constexpr uint16_t kProductId = 0x0110;
    static constexpr uint16_t kDefaultVersion = 0x0100;
    static constexpr size_t kFeatureReportLength = 65;
    static constexpr size_t kInputReportLength = 9;
    static constexpr uint8_t kInputReportId = 1;
    static constexpr size_t kFlashSize = 0x4000;
    static constexpr size_t kFlashBlockSize = 512;
    // Blocks below this hold the boot loader, which an update never touches.
    static constexpr uint8_t kFirstWritableBlock = 10;
    // What the flash holds before any update, so a block that is not written shows.
    static constexpr uint8_t kOldFirmwareByte = 0x5A;

    QuillonAdapter();
    ~QuillonAdapter() override;
    QuillonAdapter(const QuillonAdapter&) = delete;
    QuillonAdapter& operator=(const QuillonAdapter&) = delete;

    // IDeviceModel
    HidIdentity Identity() const override;
    std::u16string Manufacturer() const override;
    std::u16string Product() const override;
    std::vector<uint8_t> ReportDescriptor() const override;
    bool GetFeature(std::span<uint8_t> report, int& errorCode) override;
    bool SetFeature(std::span<const uint8_t> report, int& errorCode) override;
    void Attach(IDeviceModelHost* host) override;

    void SetVersionNumber(uint16_t version);
    void SetManufacturer(std::u16string text);
    void SetProduct(std::u16string text);  // empty: the adapter has no product string

    // The settings record, report ID byte first (65 bytes).
    std::array<uint8_t, kFeatureReportLength> Settings() const;
    void SetSettings(const std::array<uint8_t, kFeatureReportLength>& record);
    int ResetCount() const;

    // The whole emulated flash, addresses 0 to kFlashSize - 1.
    std::vector<uint8_t> Flash() const;
    // True between the start command and the finish command (or a reset).
    bool InUpdateMode() const;

    // Transfer log; indexes count from 0 since construction or the last ClearLog.
    std::vector<AdapterTransfer> Log() const;
    size_t TransferCount() const;
    void ClearLog();

    // Fault injection. Transfer indexes are log indexes.
    void FailTransfer(size_t index);  // that transfer fails with EIO and reaches nothing
    // That transfer fails with EINTR, as one cut short by a signal, and reaches nothing.
    void InterruptTransfer(size_t index);
    // At that transfer the adapter leaves the bus: the transfer fails, and so does every
    // later one until the model is attached again.
    void UnplugAtTransfer(size_t index);
    // The status answered after command `command` (for one device block only, if given).
    void AnswerStatus(uint8_t command, uint8_t status, std::optional<uint8_t> deviceBlock = {});
    // The checksum answered for that device block is wrong.
    void AnswerWrongChecksum(uint8_t deviceBlock);
    // Every transfer takes this long, as on a real bus.
    void SetTransferDelay(std::chrono::microseconds delay);
    void ClearFaults();

    // Input reports: one now, or `perSecond` of them from the model's own thread until
    // StopInputReports (or destruction). Reports carry a running counter.
    bool SendInputReport(const std::vector<uint8_t>& report);
    void StartInputReports(double perSecond);
    void StopInputReports();
    uint64_t InputReportsSent() const;

  private:
    enum class Outcome { Deliver, Fail, Interrupt, Unplug };
    Outcome BeginTransfer(std::chrono::microseconds& delay);
    void LogTransfer(AdapterTransfer::Direction dir, const uint8_t* bytes, size_t length, bool ok);
    // One feature transfer: refused after an unplug, faults applied by transfer index, logged,
    // delayed; deliver answers it under the lock and sets the error code when it fails.
    bool Transfer(AdapterTransfer::Direction dir, const uint8_t* buffer, size_t length,
                  int& errorCode, const std::function<bool(int&)>& deliver);
    void HandleCommand(const uint8_t* buffer, size_t length);
    uint8_t StatusFor(uint8_t command, uint8_t block, uint8_t status) const;
    void GeneratorLoop(std::chrono::nanoseconds period);
    bool SendToHost(const uint8_t* report, size_t length);
    void Unplug();

    mutable std::mutex mutex_;  // everything below except the host and the generator
    HidIdentity identity_;
    std::u16string manufacturer_ = u"Morvane";
    std::u16string product_ = u"Quillon";
    std::array<uint8_t, kFeatureReportLength> settings_{};
    int resets_ = 0;

    std::vector<uint8_t> flash_;
    bool updating_ = false;
    uint8_t status_ = 1;
    uint8_t selectedBlock_ = 0;
    int dataReportsExpected_ = 0;
    std::vector<uint8_t> received_;  // data of the current block
    uint8_t receivedBlock_ = 0;

    std::vector<AdapterTransfer> log_;
    std::map<size_t, Outcome> transferFaults_;
    std::map<std::pair<uint8_t, int>, uint8_t> statusFaults_;  // (command, block or -1)
    std::map<uint8_t, bool> wrongChecksums_;
    std::chrono::microseconds delay_{0};
    bool unplugged_ = false;

    // The host pointer is guarded on its own, held while a report is handed to it, so that
    // Attach(nullptr) returns only when no call into the old host is running.
    std::recursive_mutex hostMutex_;
    IDeviceModelHost* host_ = nullptr;

    std::mutex generatorMutex_;
    std::condition_variable generatorWake_;
    bool generatorStop_ = false;
    std::thread generator_;
    uint64_t inputCounter_ = 0;  // guarded by mutex_
};

}  // namespace quillon::emu
