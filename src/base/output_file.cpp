#include "base/output_file.h"
#include "base/text_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        Say(reason, errno == ELOOP ? "it is a symbolic link" : ErrnoText(errno));
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

bool MakeOutputFolder(const std::string& folder, std::string* reason) {
    const std::string path = WithoutTrailingSeparator(folder);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            Say(reason, ErrnoText(errno));
            return false;
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

}  // namespace velmora
