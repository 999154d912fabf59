#include "app/port_probe.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace velmora::app {

namespace fs = std::filesystem;

namespace {

// The legacy 8250 driver registers ports whether or not a UART answers there;
// only those with a known UART type are real.
bool HasUart(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) {
        return true;  // nothing to tell: keep it
    }
    return info.type != PORT_UNKNOWN;
}

}  // namespace

std::vector<std::string> ProbeSerialPorts(const std::string& sys_tty, const std::string& dev) {
    std::vector<std::string> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sys_tty, ec)) {
        const fs::path driver = entry.path() / "device" / "driver";
        const fs::path target = fs::read_symlink(driver, ec);
        if (ec) {
            ec.clear();
            continue;  // virtual terminals and pseudo-terminals have no device
        }
        const std::string path = (fs::path(dev) / entry.path().filename()).string();
        // A port that another program holds exclusively fails here, as it
        // would for the job.
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const bool keep = target.filename() != "serial8250" || HasUart(fd);
        ::close(fd);
        if (keep) {
            ports.push_back(path);
        }
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

}  // namespace velmora::app
