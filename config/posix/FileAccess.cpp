#include "config/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace quillon::file_access {
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

ReadResult ReadFileStart(const std::string& path, std::span<uint8_t> data, std::size_t& length) {
    length = 0;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::NotFound : ReadResult::Unreadable;
    }
    // Only a plain file: opening a named pipe would block the program until someone writes.
    if (!S_ISREG(info.st_mode)) {
        return ReadResult::Unreadable;
    }
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        return ReadResult::Unreadable;
    }
    const ssize_t got = ReadFully(fd.Get(), data.data(), data.size());
    if (got < 0) {
        return ReadResult::Unreadable;  // a file that fails to read
    }
    length = static_cast<std::size_t>(got);
    return ReadResult::Ok;
}

bool WriteWholeFile(const std::string& path, std::span<const uint8_t> contents) {
    std::string temporaryPath;
    FileDescriptor fd(CreateTemporaryBeside(path, temporaryPath));
    if (!fd.Valid()) {
        return false;
    }
    const bool written = WriteFully(fd.Get(), contents.data(), contents.size()) &&
                         ::fsync(fd.Get()) == 0 && fd.Close();
    if (!written || ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        fd.Close();
        ::unlink(temporaryPath.c_str());
        return false;
    }
    SyncFolder(FolderOf(path));
    return true;
}

}  // namespace quillon::file_access
