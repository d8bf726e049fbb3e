#include "config/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>

namespace quillon {
namespace {

// Closes the descriptor when it goes.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // A close can report a write that failed late (on network file systems, for instance).
    bool Close() {
        if (fd_ < 0) {
            return true;
        }
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

  private:
    int fd_;
};

// Up to size bytes, as many as the file holds; -1 on a read error.
ssize_t ReadFully(int fd, uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool WriteFully(int fd, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t put = ::write(fd, data + done, size - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a file of a name nobody else uses, beside the target so that the rename that
// replaces the target stays within one file system. Its mode is the usual one for a new file
// (0666 less the umask), or the old file's when there is one.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        FolderOf(path) + "/." + NameOf(path) + ".tmp-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = prefix + std::to_string(counter.fetch_add(1));
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            struct stat old {};
            if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
                ::fchmod(fd, old.st_mode & 07777);
            }
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

void SyncFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) {
        ::fsync(fd.Get());  // the rename is done; this only makes it durable sooner
    }
}

}  // namespace

std::string ConfigFileMessage(ConfigFileResult result, const std::string& path) {
    switch (result) {
        case ConfigFileResult::Ok:
            return {};
        case ConfigFileResult::FileNotFound:
            return "file not found: " + path;
        case ConfigFileResult::UnableToOpen:
            return "unable to open file: " + path;
        case ConfigFileResult::UnableToCreate:
            return "unable to create file: " + path;
    }
    return {};
}

ConfigFileResult LoadConfigFile(const std::string& path, ReportBuffer& buffer) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? ConfigFileResult::FileNotFound
                                                   : ConfigFileResult::UnableToOpen;
    }
    // Only a plain file: opening a named pipe would block the program until someone writes.
    if (!S_ISREG(info.st_mode)) {
        return ConfigFileResult::UnableToOpen;
    }
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        return ConfigFileResult::UnableToOpen;
    }
    std::array<uint8_t, ConfigFileSize> contents{};
    const ssize_t length = ReadFully(fd.Get(), contents.data(), contents.size());
    if (length < 0) {
        return ConfigFileResult::UnableToOpen;  // a file that fails to read
    }
    const uint8_t adapterVersion = buffer[DeviceSettings::Version];
    std::copy(contents.begin(), contents.begin() + length, buffer.begin());
    buffer[DeviceSettings::Version] = adapterVersion;
    return ConfigFileResult::Ok;
}

ConfigFileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer) {
    std::string temporaryPath;
    FileDescriptor fd(CreateTemporaryBeside(path, temporaryPath));
    if (!fd.Valid()) {
        return ConfigFileResult::UnableToCreate;
    }
    const bool written =
        WriteFully(fd.Get(), buffer.data(), ConfigFileSize) && ::fsync(fd.Get()) == 0 && fd.Close();
    if (!written || ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        fd.Close();
        ::unlink(temporaryPath.c_str());
        return ConfigFileResult::UnableToCreate;
    }
    SyncFolder(FolderOf(path));
    return ConfigFileResult::Ok;
}

}  // namespace quillon
