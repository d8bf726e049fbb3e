#define FUSE_USE_VERSION 35
#include "hid/linux/tests/FuseHidrawServer.h"

#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>

#include "hid/ReportDescriptor.h"

namespace quillon::test {

namespace {
constexpr fuse_ino_t kRootInode = FUSE_ROOT_ID;
constexpr fuse_ino_t kFirstNodeInode = 2;
}  // namespace

struct FuseHidrawServer::Node : emu::IDeviceModelHost {
    FuseHidrawServer* Server = nullptr;
    std::string Name;
    fuse_ino_t Inode = 0;
    bool Present = true;
    NodeOptions Options;
    bool StripReportId = false;
    bool Polled = false;  // the device numbers no reports: none on the wire
    std::vector<uint8_t> Descriptor;
    HidIdentity Identity;
    std::shared_ptr<emu::IDeviceModel> Model;
    // Model calls are serialised apart from the file system's state, so that a model may
    // send input or ask to be unplugged from inside a request.
    std::recursive_mutex ModelMutex;

    void SendInputReport(std::span<const uint8_t> report) override {
        Server->Deliver(*this, report.data(), report.size());
    }
    void RequestUnplug() override {
        Server->Unplug(Name);
        if (Server->onUnplugRequest_) {
            Server->onUnplugRequest_(Name);
        }
    }
};

struct FuseHidrawServer::OpenFile {
    Node* Device = nullptr;
    std::deque<std::vector<uint8_t>> Reports;
    fuse_pollhandle* Poll = nullptr;
};

namespace {

struct InterruptWatch {
    std::mutex* Mutex;
    std::condition_variable* Changed;
    bool Interrupted = false;
};

void OnInterrupt(fuse_req_t, void* data) {
    auto* watch = static_cast<InterruptWatch*>(data);
    std::lock_guard lock(*watch->Mutex);
    watch->Interrupted = true;
    watch->Changed->notify_all();
}

struct stat NodeAttributes(fuse_ino_t inode) {
    struct stat attributes {};
    attributes.st_ino = inode;
    if (inode == kRootInode) {
        attributes.st_mode = S_IFDIR | 0755;
        attributes.st_nlink = 2;
    } else {
        attributes.st_mode = S_IFREG | 0600;
        attributes.st_nlink = 1;
    }
    return attributes;
}

}  // namespace

struct FuseHidrawServer::Ops {
    static FuseHidrawServer& Server(fuse_req_t request) {
        return *static_cast<FuseHidrawServer*>(fuse_req_userdata(request));
    }

    static Node* NodeOf(FuseHidrawServer& server, fuse_ino_t inode) {
        if (inode < kFirstNodeInode || inode - kFirstNodeInode >= server.nodes_.size()) {
            return nullptr;
        }
        return server.nodes_[inode - kFirstNodeInode].get();
    }

    static void Lookup(fuse_req_t request, fuse_ino_t parent, const char* name) {
        auto& server = Server(request);
        fuse_entry_param entry{};
        {
            std::lock_guard lock(server.mutex_);
            Node* node = parent == kRootInode ? server.FindPresent(name) : nullptr;
            if (node == nullptr) {
                fuse_reply_err(request, ENOENT);
                return;
            }
            entry.ino = node->Inode;
        }
        // No caching: an unplugged node must vanish at once.
        entry.attr = NodeAttributes(entry.ino);
        fuse_reply_entry(request, &entry);
    }

    static void GetAttr(fuse_req_t request, fuse_ino_t inode, fuse_file_info*) {
        auto& server = Server(request);
        {
            std::lock_guard lock(server.mutex_);
            if (inode != kRootInode && NodeOf(server, inode) == nullptr) {
                fuse_reply_err(request, ENOENT);
                return;
            }
        }
        const struct stat attributes = NodeAttributes(inode);
        fuse_reply_attr(request, &attributes, 0);
    }

    static void Open(fuse_req_t request, fuse_ino_t inode, fuse_file_info* info) {
        auto& server = Server(request);
        std::lock_guard lock(server.mutex_);
        Node* node = NodeOf(server, inode);
        if (node == nullptr || !node->Present) {
            fuse_reply_err(request, node == nullptr ? EISDIR : ENODEV);
            return;
        }
        if (node->Options.RefuseOpen) {
            fuse_reply_err(request, EACCES);
            return;
        }
        auto* file = new OpenFile{node, {}, nullptr};
        server.files_.insert(file);
        info->fh = reinterpret_cast<uint64_t>(file);
        info->direct_io = 1;
        info->nonseekable = 1;
        info->noflush = 1;
        fuse_reply_open(request, info);
    }

    static void Release(fuse_req_t request, fuse_ino_t, fuse_file_info* info) {
        auto& server = Server(request);
        auto* file = reinterpret_cast<OpenFile*>(info->fh);
        {
            std::lock_guard lock(server.mutex_);
            server.files_.erase(file);
            if (file->Poll != nullptr) {
                fuse_pollhandle_destroy(file->Poll);
            }
        }
        delete file;
        fuse_reply_err(request, 0);
    }

    static void Read(fuse_req_t request, fuse_ino_t, size_t size, off_t, fuse_file_info* info) {
        auto& server = Server(request);
        auto* file = reinterpret_cast<OpenFile*>(info->fh);
        InterruptWatch watch{&server.mutex_, &server.changed_};
        // Registered and cleared without the state lock: the callback takes it.
        fuse_req_interrupt_func(request, OnInterrupt, &watch);
        std::vector<uint8_t> report;
        int error = 0;
        {
            std::unique_lock lock(server.mutex_);
            for (;;) {
                if (!file->Device->Present || server.stopping_) {
                    error = EIO;
                } else if (!file->Reports.empty()) {
                    report = std::move(file->Reports.front());
                    file->Reports.pop_front();
                } else if (info->flags & O_NONBLOCK) {
                    error = EAGAIN;
                } else if (watch.Interrupted) {
                    error = EINTR;
                } else {
                    server.changed_.wait(lock);
                    continue;
                }
                break;
            }
        }
        fuse_req_interrupt_func(request, nullptr, nullptr);
        if (error != 0) {
            fuse_reply_err(request, error);
            return;
        }
        fuse_reply_buf(request, reinterpret_cast<const char*>(report.data()),
                       std::min(size, report.size()));
    }

    static void Poll(fuse_req_t request, fuse_ino_t, fuse_file_info* info, fuse_pollhandle* ph) {
        auto& server = Server(request);
        auto* file = reinterpret_cast<OpenFile*>(info->fh);
        unsigned events = POLLOUT | POLLWRNORM;  // hidraw is always writable
        {
            std::lock_guard lock(server.mutex_);
            file->Device->Polled = true;
            server.changed_.notify_all();
            if (ph != nullptr) {
                if (file->Poll != nullptr) {
                    fuse_pollhandle_destroy(file->Poll);
                }
                file->Poll = ph;
            }
            if (!file->Reports.empty()) {
                events |= POLLIN | POLLRDNORM;
            }
            if (!file->Device->Present) {
                events |= POLLERR | POLLHUP;
            }
        }
        fuse_reply_poll(request, events);
    }

    static void Ioctl(fuse_req_t request, fuse_ino_t, unsigned int command, void* argument,
                      fuse_file_info* info, unsigned flags, const void* in, size_t inSize,
                      size_t outSize) {
        auto& server = Server(request);
        auto* file = reinterpret_cast<OpenFile*>(info->fh);
        if (flags & FUSE_IOCTL_COMPAT) {
            fuse_reply_err(request, ENOSYS);
            return;
        }
        Node* node = file->Device;
        {
            std::lock_guard lock(server.mutex_);
            if (!node->Present) {
                fuse_reply_err(request, ENODEV);
                return;
            }
        }
        const unsigned sizeless = command & ~(_IOC_SIZEMASK << _IOC_SIZESHIFT);
        const size_t length = _IOC_SIZE(command);
        if (command == HIDIOCGRDESCSIZE) {
            const int size = int(node->Descriptor.size());
            fuse_reply_ioctl(request, 0, &size, sizeof size);
        } else if (command == HIDIOCGRDESC) {
            // _IOR: the kernel hands over none of the caller's structure, so its size field
            // is fetched from the caller's memory as the real driver reads it.
            hidraw_report_descriptor descriptor{};
            iovec local{&descriptor.size, sizeof descriptor.size};
            iovec remote{argument, sizeof descriptor.size};
            const pid_t caller = fuse_req_ctx(request)->pid;
            if (::process_vm_readv(caller, &local, 1, &remote, 1, 0) !=
                ssize_t(sizeof descriptor.size)) {
                fuse_reply_err(request, EFAULT);
                return;
            }
            if (descriptor.size > HID_MAX_DESCRIPTOR_SIZE) {
                fuse_reply_err(request, EINVAL);
                return;
            }
            const size_t copied = std::min<size_t>(descriptor.size, node->Descriptor.size());
            std::memcpy(descriptor.value, node->Descriptor.data(), copied);
            fuse_reply_ioctl(request, 0, &descriptor, std::min(outSize, sizeof descriptor));
        } else if (command == HIDIOCGRAWINFO) {
            hidraw_devinfo devinfo{};
            devinfo.bustype = node->Options.Bus;
            devinfo.vendor = int16_t(node->Identity.VendorID);
            devinfo.product = int16_t(node->Identity.ProductID);
            fuse_reply_ioctl(request, 0, &devinfo, sizeof devinfo);
        } else if (sizeless == (HIDIOCGRAWNAME(0) & ~(_IOC_SIZEMASK << _IOC_SIZESHIFT))) {
            std::vector<char> name(length, '\0');
            std::memcpy(name.data(), node->Options.Name.data(),
                        std::min(length ? length - 1 : 0, node->Options.Name.size()));
            fuse_reply_ioctl(request, int(std::strlen(name.data())), name.data(), length);
        } else if (sizeless == (HIDIOCGFEATURE(0) & ~(_IOC_SIZEMASK << _IOC_SIZESHIFT)) ||
                   sizeless == (HIDIOCSFEATURE(0) & ~(_IOC_SIZEMASK << _IOC_SIZESHIFT))) {
            const bool get = sizeless == (HIDIOCGFEATURE(0) & ~(_IOC_SIZEMASK << _IOC_SIZESHIFT));
            if (inSize < length || length == 0) {
                fuse_reply_err(request, EINVAL);
                return;
            }
            std::vector<uint8_t> buffer(static_cast<const uint8_t*>(in),
                                        static_cast<const uint8_t*>(in) + length);
            int error = EIO;
            bool done = false;
            {
                std::lock_guard modelLock(node->ModelMutex);
                done = get ? node->Model->GetFeature({buffer.data(), length}, error)
                           : node->Model->SetFeature({buffer.data(), length}, error);
            }
            if (!done) {
                fuse_reply_err(request, error != 0 ? error : EIO);
            } else if (get) {
                const size_t limit = node->Options.FeatureReplyLimit;
                const size_t answered = limit > 0 ? std::min(length, limit) : length;
                fuse_reply_ioctl(request, int(answered), buffer.data(), std::min(length, outSize));
            } else {
                fuse_reply_ioctl(request, int(length), nullptr, 0);
            }
        } else {
            fuse_reply_err(request, EINVAL);  // what hidraw answers to what it does not know
        }
    }
};

FuseHidrawServer::FuseHidrawServer(std::string mountPoint) : mountPoint_(std::move(mountPoint)) {}

FuseHidrawServer::~FuseHidrawServer() {
    if (session_ == nullptr) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    fuse_session_exit(session_);
    // Unmounting ends the connection, which wakes the workers out of their reads; only then
    // may libfuse close the device they read from.
    ::umount2(mountPoint_.c_str(), MNT_DETACH);
    loop_.join();
    fuse_session_unmount(session_);
    for (OpenFile* file : files_) {
        if (file->Poll != nullptr) {
            fuse_pollhandle_destroy(file->Poll);
        }
        delete file;
    }
    fuse_session_destroy(session_);
    for (auto& node : nodes_) {
        std::lock_guard modelLock(node->ModelMutex);
        if (node->Present) {
            node->Model->Attach(nullptr);
        }
    }
}

bool FuseHidrawServer::Start(std::string& error) {
    static fuse_lowlevel_ops ops = [] {
        fuse_lowlevel_ops table{};
        table.lookup = Ops::Lookup;
        table.getattr = Ops::GetAttr;
        table.open = Ops::Open;
        table.release = Ops::Release;
        table.read = Ops::Read;
        table.poll = Ops::Poll;
        table.ioctl = Ops::Ioctl;
        return table;
    }();
    char program[] = "quillon-hidraw-fixture";
    char* argv[] = {program, nullptr};
    fuse_args args = FUSE_ARGS_INIT(1, argv);
    session_ = fuse_session_new(&args, &ops, sizeof ops, this);
    fuse_opt_free_args(&args);
    if (session_ == nullptr) {
        error = "fuse_session_new failed";
        return false;
    }
    if (fuse_session_mount(session_, mountPoint_.c_str()) != 0) {
        error = "cannot mount a FUSE file system at " + mountPoint_;
        fuse_session_destroy(session_);
        session_ = nullptr;
        return false;
    }
    loop_ = std::thread([this] {
        fuse_loop_config config{};
        config.clone_fd = 0;
        config.max_idle_threads = 4;
        fuse_session_loop_mt(session_, &config);
    });
    return true;
}

void FuseHidrawServer::Plug(const std::string& name, std::shared_ptr<emu::IDeviceModel> model,
                            NodeOptions options) {
    auto node = std::make_unique<Node>();
    node->Server = this;
    node->Name = name;
    node->Options = std::move(options);
    node->Descriptor = model->ReportDescriptor();
    node->StripReportId = !ReportDescriptorUsesReportIds(node->Descriptor);
    node->Identity = model->Identity();
    node->Model = std::move(model);
    Node* plugged = node.get();
    {
        std::lock_guard lock(mutex_);
        node->Inode = kFirstNodeInode + nodes_.size();
        nodes_.push_back(std::move(node));
    }
    std::lock_guard modelLock(plugged->ModelMutex);
    plugged->Model->Attach(plugged);
}

void FuseHidrawServer::Unplug(const std::string& name) {
    Node* node = nullptr;
    {
        std::lock_guard lock(mutex_);
        node = FindPresent(name);
        if (node == nullptr) {
            return;
        }
        node->Present = false;
        WakeFiles(*node);
    }
    std::lock_guard modelLock(node->ModelMutex);
    node->Model->Attach(nullptr);
}

bool FuseHidrawServer::WaitForPoll(const std::string& name, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        const Node* node = FindPresent(name);
        return node != nullptr && node->Polled;
    });
}

void FuseHidrawServer::OnUnplugRequest(std::function<void(const std::string&)> handler) {
    onUnplugRequest_ = std::move(handler);
}

FuseHidrawServer::Node* FuseHidrawServer::FindPresent(const std::string& name) {
    for (auto& node : nodes_) {
        if (node->Present && node->Name == name) {
            return node.get();
        }
    }
    return nullptr;
}

void FuseHidrawServer::Deliver(Node& node, const uint8_t* report, size_t length) {
    if (length == 0) {
        return;
    }
    const size_t skip = node.StripReportId ? 1 : 0;
    std::lock_guard lock(mutex_);
    if (!node.Present || length <= skip) {
        return;
    }
    for (OpenFile* file : files_) {
        if (file->Device == &node) {
            file->Reports.emplace_back(report + skip, report + length);
        }
    }
    WakeFiles(node);
}

void FuseHidrawServer::WakeFiles(Node& node) {
    changed_.notify_all();
    for (OpenFile* file : files_) {
        if (file->Device == &node && file->Poll != nullptr) {
            fuse_lowlevel_notify_poll(file->Poll);
            fuse_pollhandle_destroy(file->Poll);
            file->Poll = nullptr;
        }
    }
}

}  // namespace quillon::test
