#include "frontend/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace velmora {

std::string LockFolder() {
    std::string folder = "/tmp";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        folder = runtime;
    }
    if (folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

FileLock::~FileLock() {
    Release();
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileLock::Result FileLock::TryLock(const std::string& folder, const std::string& name) {
    Release();
    const std::string path = folder + name + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Result::kUnavailable;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::kBusy : Result::kUnavailable;
    }
    fd_ = fd;
    return Result::kTaken;
}

void FileLock::Release() {
    if (fd_ >= 0) {
        ::close(fd_);  // closing the last descriptor drops the lock
        fd_ = -1;
    }
}

InstanceCheck CheckSingleInstance(const std::string& folder, FileLock& own) {
    if (own.TryLock(folder, kInstanceLockName) == FileLock::Result::kBusy) {
        return InstanceCheck::kAlreadyRunning;
    }
    FileLock other;
    if (other.TryLock(folder, kMultiPortLockName) == FileLock::Result::kBusy) {
        own.Release();
        return InstanceCheck::kMultiPortRunning;
    }
    return InstanceCheck::kFirst;
}

StationCheck CheckStationInstance(const std::string& folder, FileLock& own) {
    if (own.TryLock(folder, kMultiPortLockName) == FileLock::Result::kBusy) {
        return StationCheck::kStationRunning;
    }
    FileLock window;
    if (window.TryLock(folder, kInstanceLockName) == FileLock::Result::kBusy) {
        own.Release();
        return StationCheck::kWindowRunning;
    }
    return StationCheck::kFirst;
}

}  // namespace velmora
