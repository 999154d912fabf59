#include "base/output_file.h"
#include "base/text_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace velmora {
namespace {

void Say(std::string* reason, const std::string& text) {
    if (reason) {
        *reason = text;
    }
}

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

}  // namespace

File OpenOutputFile(const std::string& path, std::string* reason) {
    // O_NONBLOCK: a FIFO that nothing reads would hold the open for ever; one
    // that is read is written as usual.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        const bool fifo = ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
        Say(reason, error == ELOOP           ? "it is a symbolic link"
                    : error == ENXIO && fifo ? "it is a FIFO that nothing reads"
                                             : ErrnoText(error));
        return File();
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        Say(reason, ErrnoText(errno));
        ::close(fd);
        return File();
    }
    File file(::fdopen(fd, "wb"));
    if (!file) {
        Say(reason, ErrnoText(errno));
        ::close(fd);
    }
    return file;
}

bool CloseOutputFile(File& file) {
    return file && std::fclose(file.release()) == 0;
}

StagedFile::StagedFile(const std::string& path, std::string* reason) : path_(path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        Say(reason, "it is a symbolic link");
        return;
    }
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // A device or a pipe is written in place: moving a file over it would
        // replace the node itself.
        file_ = OpenOutputFile(path, reason);
        return;
    }
    const size_t slash = path.find_last_of('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    std::string staged = path.substr(0, name) + "." + path.substr(name) + ".XXXXXX";
    const int fd = ::mkostemp(staged.data(), O_CLOEXEC);
    if (fd < 0) {
        Say(reason, ErrnoText(errno));
        return;
    }
    ::fchmod(fd, 0644);
    file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
        Say(reason, ErrnoText(errno));
        ::close(fd);
        ::unlink(staged.c_str());
        return;
    }
    staged_ = std::move(staged);
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : file_(std::move(other.file_)),
      path_(std::move(other.path_)),
      staged_(std::move(other.staged_)) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        Abandon();
        file_ = std::move(other.file_);
        path_ = std::move(other.path_);
        staged_ = std::move(other.staged_);
    }
    return *this;
}

bool StagedFile::Finish(std::string* reason) {
    if (!file_) {
        return false;
    }
    if (staged_.empty()) {
        const bool ok = CloseOutputFile(file_);
        Say(reason, ok ? std::string() : ErrnoText(errno));
        return ok;
    }
    if (!CloseOutputFile(file_)) {
        Say(reason, ErrnoText(errno));
        ::rename(staged_.c_str(), path_.c_str());  // what reached the disk is kept
        return false;
    }
    if (::rename(staged_.c_str(), path_.c_str()) != 0) {
        Say(reason, ErrnoText(errno));
        ::unlink(staged_.c_str());
        return false;
    }
    return true;
}

bool StagedFile::Abandon() {
    if (!file_) {
        return false;
    }
    CloseOutputFile(file_);
    if (!staged_.empty()) {
        ::rename(staged_.c_str(), path_.c_str());
    }
    return true;
}

bool MakeOutputFolder(const std::string& folder, std::string* reason) {
    const std::string path = WithoutTrailingSeparator(folder);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            Say(reason, ErrnoText(errno));
            return false;
        }
        // The folders above it are made as needed (an --output path may be new).
        if (const size_t slash = path.find_last_of('/'); slash != std::string::npos && slash > 0) {
            std::error_code ignored;
            std::filesystem::create_directories(path.substr(0, slash), ignored);
        }
        if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
            Say(reason, ErrnoText(errno));
            return false;
        }
        if (::lstat(path.c_str(), &st) != 0) {
            Say(reason, ErrnoText(errno));
            return false;
        }
    }
    if (S_ISLNK(st.st_mode)) {
        Say(reason, "it is a symbolic link");
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        Say(reason, "it is not a folder");
        return false;
    }
    return true;
}

bool SyncToDisk(const std::string& path, std::string* reason) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    for (const std::string& name : {path, folder}) {
        const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const bool ok = fd >= 0 && ::fsync(fd) == 0;
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        if (!ok) {
            if (reason) {
                *reason = "cannot flush " + name + " to the disk: " + std::strerror(error);
            }
            return false;
        }
    }
    return true;
}

}  // namespace velmora
