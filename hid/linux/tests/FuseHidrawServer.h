#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hid/emulated/DeviceModel.h"

struct fuse_session;
struct fuse_pollhandle;

namespace quillon::test {

// A FUSE file system, served from this process, whose files behave as hidraw nodes: the
// hidraw ioctls, poll and read are answered by a device model. An unplugged node stays open
// for those who hold it, but fails as a disconnected hidraw node does (poll reports an error,
// read gives EIO, ioctls ENODEV) and is gone from the folder.
class FuseHidrawServer {
  public:
    explicit FuseHidrawServer(std::string mountPoint);
    ~FuseHidrawServer();

    // Mounts and starts serving; false with the reason in error.
    bool Start(std::string& error);

    struct NodeOptions {
        uint32_t Bus = 0x03;
        std::string Name;              // what HIDIOCGRAWNAME answers
        bool RefuseOpen = false;       // like a node that belongs to root, mode 0600
        size_t FeatureReplyLimit = 0;  // >0: a feature report read answers at most this many bytes
    };
    void Plug(const std::string& node, std::shared_ptr<emu::IDeviceModel> model,
              NodeOptions options);
    void Unplug(const std::string& node);
    // Waits until someone polls the node, that is until a reader has it open and waits for
    // input reports (which reach only those who have the node open).
    bool WaitForPoll(const std::string& node, std::chrono::milliseconds limit);
    // Called when a model asks to be unplugged, after the node has been.
    void OnUnplugRequest(std::function<void(const std::string&)> handler);

    struct Node;
    struct OpenFile;

    // FUSE request handlers; public only for the C callback table.
    struct Ops;

  private:
    Node* FindPresent(const std::string& name);
    void Deliver(Node& node, const uint8_t* report, size_t length);
    void WakeFiles(Node& node);

    std::string mountPoint_;
    fuse_session* session_ = nullptr;
    std::thread loop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Node>> nodes_;  // inode = index + 2; never shrinks
    std::set<OpenFile*> files_;
    std::function<void(const std::string&)> onUnplugRequest_;
};

}  // namespace quillon::test
