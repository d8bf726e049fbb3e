#include "config/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <tuple>

#include "base/posix/UniqueFd.h"

namespace quillon::file_access {
namespace {

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
// (0666 less the umask) until the old file's owner and mode are copied to it.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        FolderOf(path) + "/." + NameOf(path) + ".tmp-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = prefix + std::to_string(counter.fetch_add(1));
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Gives the new file the old one's owner, group and mode, as far as the process may: only
// root may give a file away, an ordinary user may still set a group of their own. False
// when owner or group could not be kept. The mode comes last, as a change of owner clears
// the set-user-ID and set-group-ID bits.
bool KeepOwnerAndMode(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        std::ignore = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);  // the check below tells
    }
    ::fchmod(fd, old.st_mode & 07777);
    struct stat now {};
    return ::fstat(fd, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid;
}

void SyncFolder(const std::string& folder) {
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) {
        ::fsync(fd.Get());  // the file is in place; this only makes it durable sooner
    }
}

// The file a path names in the end: symbolic links are followed, also to a file that does not
// exist yet, so that saving through a link replaces the file it points at and the link stays.
// False for a loop of links or a link that cannot be read.
bool FollowLinks(const std::string& path, std::string& target) {
    constexpr int kMostLinks = 40;  // as many as the kernel follows in one path
    target = path;
    for (int followed = 0; followed <= kMostLinks; ++followed) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
        const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
        if (length <= 0 || static_cast<size_t>(length) >= link.size()) {
            return false;
        }
        link.resize(static_cast<size_t>(length));
        target = link.front() == '/' ? link : FolderOf(target) + "/" + link;
    }
    return false;
}

// Writes the file itself rather than replacing it: for a file the folder cannot replace, and
// for a file with several names (hard links), which a replacement would split apart. A
// failure half-way can leave the file partly written; the write is checked to its end.
bool WriteInPlace(const std::string& path, std::span<const uint8_t> contents, bool exists) {
    // Without O_CREAT the file must be the plain file found before; with it, one made here.
    const int flags =
        O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (exists ? 0 : O_CREAT | O_EXCL);
    UniqueFd fd(::open(path.c_str(), flags, 0666));
    if (!fd.Valid()) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const bool written = WriteFully(fd.Get(), contents.data(), contents.size()) &&
                         ::ftruncate(fd.Get(), static_cast<off_t>(contents.size())) == 0 &&
                         ::fsync(fd.Get()) == 0 && fd.Close();
    if (!written && !exists) {
        ::unlink(path.c_str());
    }
    if (written && !exists) {
        SyncFolder(FolderOf(path));
    }
    return written;
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
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
    std::string target;
    if (!FollowLinks(path, target)) {
        return false;
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    // A device, a named pipe or a folder is no configuration file: it is left alone.
    if (exists && !S_ISREG(old.st_mode)) {
        return false;
    }
    if (exists && old.st_nlink > 1) {
        return WriteInPlace(target, contents, exists);
    }

    std::string temporaryPath;
    UniqueFd fd(CreateTemporaryBeside(target, temporaryPath));
    if (!fd.Valid()) {
        // The folder takes no new file (no write access, or a name too long for one more
        // character); the file itself may still be writable.
        return WriteInPlace(target, contents, exists);
    }
    const auto discardTemporary = [&] {
        fd.Close();
        ::unlink(temporaryPath.c_str());
    };
    if (exists && !KeepOwnerAndMode(fd.Get(), old) &&
        ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0) {
        // Replacing would hand another user's file to this one; writing it keeps its owner.
        discardTemporary();
        return WriteInPlace(target, contents, exists);
    }
    const bool written = WriteFully(fd.Get(), contents.data(), contents.size()) &&
                         ::fsync(fd.Get()) == 0 && fd.Close();
    if (!written) {
        discardTemporary();
        return false;
    }
    if (::rename(temporaryPath.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        discardTemporary();
        // A file mounted over (EBUSY) or in a sticky folder of another user (EPERM) cannot be
        // replaced, but may be written.
        const bool replaceRefused =
            renameError == EBUSY || renameError == EPERM || renameError == EACCES;
        return exists && replaceRefused && WriteInPlace(target, contents, exists);
    }
    SyncFolder(FolderOf(target));
    return true;
}

}  // namespace quillon::file_access
