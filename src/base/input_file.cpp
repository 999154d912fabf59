#include "base/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/text_format.h"

namespace velmora {
namespace {

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a file";
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int Release() { return std::exchange(fd, -1); }
};

}  // namespace

std::string SizeText(uint64_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) {
        return std::to_string(bytes >> 20) + " MiB";
    }
    if (bytes >= 1024 && bytes % 1024 == 0) {
        return std::to_string(bytes >> 10) + " KiB";
    }
    return std::to_string(bytes) + " bytes";
}

int OpenRegularFile(const std::string& path, int flags, mode_t mode, std::string* problem,
                    uint64_t* size) {
    const auto fail = [&](const std::string& reason) {
        if (problem) {
            *problem = ((flags & O_ACCMODE) == O_RDONLY ? "cannot read " : "cannot open ") + path +
                       ": " + reason;
        }
        return -1;
    };
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    FdCloser file{::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode)};
    if (file.fd < 0) {
        const int error = errno;
        // A FIFO without a reader refuses a non-blocking open for writing (ENXIO):
        // name what it is rather than the system's puzzling words.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            return fail(std::string("not a regular file (") + KindOf(st.st_mode) + ")");
        }
        return fail(ErrnoText(error));
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        return fail(ErrnoText(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        return fail(ErrnoText(EISDIR));
    }
    if (!S_ISREG(st.st_mode)) {
        return fail(std::string("not a regular file (") + KindOf(st.st_mode) + ")");
    }
    const int status = ::fcntl(file.fd, F_GETFL);
    if (status < 0 || ::fcntl(file.fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        return fail(ErrnoText(errno));
    }
    if (size) {
        *size = static_cast<uint64_t>(st.st_size);
    }
    return file.Release();
}

File OpenInputFile(const std::string& path, std::string* problem, uint64_t* size) {
    const int fd = OpenRegularFile(path, O_RDONLY, 0, problem, size);
    if (fd < 0) {
        return File();
    }
    File file(::fdopen(fd, "rb"));
    if (!file) {
        if (problem) {
            *problem = "cannot read " + path + ": " + ErrnoText(errno);
        }
        ::close(fd);
    }
    return file;
}

int ReadInputText(const std::string& path, uint64_t cap, std::string& bytes, std::string& problem) {
    bytes.clear();
    problem.clear();
    const auto failed = [&](const std::string& reason) {
        problem = "cannot read " + path + ": " + reason;
        bytes.clear();
        return kInputFailed;
    };
    const auto too_large = [&](uint64_t size) {
        problem = path + " is too large to read (" + std::to_string(size) + " bytes; at most " +
                  SizeText(cap) + ")";
        bytes.clear();
        return kInputTooLarge;
    };
    uint64_t size = 0;
    FdCloser file{OpenRegularFile(path, O_RDONLY, 0, &problem, &size)};
    if (file.fd < 0) {
        bytes.clear();
        return kInputFailed;
    }
    if (size > cap) {
        return too_large(size);
    }
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    for (;;) {
        // Past the size seen the buffer grows in steps, up to the cap and one
        // byte more: a file that grows meanwhile is still held to the cap.
        if (done == bytes.size()) {
            if (bytes.size() >= cap) {
                char extra = 0;
                ssize_t n = 0;
                do {
                    n = ::read(file.fd, &extra, 1);
                } while (n < 0 && errno == EINTR);
                if (n > 0) {
                    return too_large(cap + 1);
                }
                return n < 0 ? failed(ErrnoText(errno)) : kInputOk;
            }
            bytes.resize(static_cast<size_t>(std::min<uint64_t>(bytes.size() + 4096, cap)));
        }
        const ssize_t n = ::read(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return failed(ErrnoText(errno));
        }
        if (n == 0) {
            bytes.resize(done);
            return kInputOk;
        }
        done += static_cast<size_t>(n);
    }
}

}  // namespace velmora
