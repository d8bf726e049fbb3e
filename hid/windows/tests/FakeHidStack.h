#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/windows/HidFunctions.h"

namespace quillon::winhid::test {

// A HID stack in memory behind the backend's table of functions: interfaces to enumerate,
// their device nodes' locations and parents, refusals, feature reports of a fixed length, and
// input reads that the test completes, fails or lets be cancelled. One at a time per process (the
// table's entries are plain functions, which find the stack through a global).
class FakeHidStack {
  public:
    struct Interface {
        std::wstring Path;
        DWORD DevInst = 0;
        bool Vanished = false;         // listed, but its detail can no longer be read nor opened
        bool RefuseReadWrite = false;  // held by the system or another program
        std::wstring Location;         // of its device node; empty: none
        std::wstring ParentId;         // instance ID of the node's parent, one of Parents
        USHORT FeatureLength = 65;
        USHORT InputLength = 9;
        std::vector<uint8_t> LastFeatureWritten;
        ULONG LastFeatureRequestLength = 0;
    };

    FakeHidStack();
    ~FakeHidStack();

    std::shared_ptr<const HidFunctions> Functions() const { return functions_; }
    std::vector<Interface> Interfaces;

    // Device nodes above the interfaces' own (the USB interface, the USB device).
    struct Node {
        std::wstring InstanceId;
        DWORD DevInst = 0;
        std::wstring Location;
        std::wstring ParentId;
    };
    std::vector<Node> Parents;

    // Input reads.
    bool ReadPending();
    void CompleteRead(const std::vector<uint8_t>& report);
    void FailRead(DWORD error);
    // What happened to device handles, in order: "read", "cancel", "close".
    std::vector<std::string> Calls();

    // Internal, for the table's functions.
    struct Pending {
        OVERLAPPED* Request = nullptr;
        uint8_t* Buffer = nullptr;
        DWORD Length = 0;
        bool Done = false;
        DWORD Error = 0;
        DWORD Count = 0;
    };
    static FakeHidStack* current;
    std::mutex Mutex;
    Pending Read;
    std::vector<std::string> Log;
    void Finish(DWORD error, const std::vector<uint8_t>& report);

  private:
    std::shared_ptr<HidFunctions> functions_;
};

}  // namespace quillon::winhid::test
