#include "serial/port_open_error.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return {};
    }
    return found->gr_name;
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

PortOpenError ClassifyOpenError(const std::string& device, int error_number) {
    PortOpenError error;
    error.error_number = error_number;
    switch (error_number) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            error.kind = PortOpenFailure::kMissing;
            break;
        case ENOTTY:
            error.kind = PortOpenFailure::kNotTty;
            break;
        case EBUSY:
        case EWOULDBLOCK:
            error.kind = PortOpenFailure::kBusy;
            error.error_number = EBUSY;  // flock's "try again" would mislead
            error.holder = FindPortHolder(device);
            break;
        case EACCES:
        case EPERM:
            error.kind = PortOpenFailure::kAccess;
            if (struct stat st{}; stat(device.c_str(), &st) == 0 && st.st_gid != 0) {
                error.group = GroupName(st.st_gid);
            }
            break;
        default:
            error.kind = PortOpenFailure::kOther;
            break;
    }
    return error;
}

std::string FindPortHolder(const std::string& device) {
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec) {
        return {};
    }
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (!AllDigits(pid)) {
            continue;
        }
        std::error_code fd_ec;
        for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", fd_ec)) {
            std::error_code link_ec;
            if (fs::read_symlink(fd.path(), link_ec) != target || link_ec) {
                continue;
            }
            std::string comm;
            std::getline(std::ifstream(process.path() / "comm"), comm);
            return "pid " + pid + (comm.empty() ? "" : " (" + comm + ")");
        }
    }
    return {};
}

std::string PortOpenReason(const std::string& device, const PortOpenError& error) {
    switch (error.kind) {
        case PortOpenFailure::kNone:
            return {};
        case PortOpenFailure::kNoPath:
            return "\"" + device + "\" names no serial port";
        case PortOpenFailure::kFormat:
            return device + ": the port did not take 115200 baud, 8 data bits, even parity";
        default:
            break;
    }
    std::string text = device + ": " + std::strerror(error.error_number);
    if (error.kind == PortOpenFailure::kBusy && !error.holder.empty()) {
        text += ", held by " + error.holder;
    }
    return text;
}

std::string PortOpenNextStep(const PortOpenError& error) {
    switch (error.kind) {
        case PortOpenFailure::kNone:
            return {};
        case PortOpenFailure::kNoPath:
            return "Give the port as a device path (/dev/ttyUSB0) or as COM1 to COM1024; "
                   "`velmora-cli ports` lists the ports.";
        case PortOpenFailure::kMissing:
            return "Check the cable/adapter; `velmora-cli ports` lists the ports.";
        case PortOpenFailure::kNotTty:
            return "This is not a serial port; `velmora-cli ports` lists the ports.";
        case PortOpenFailure::kBusy:
            return error.holder.empty()
                       ? "Close the other program that uses the port (a terminal, ModemManager, "
                         "another velmora), then start again."
                       : "Close " + error.holder + ", which holds the port, then start again.";
        case PortOpenFailure::kAccess:
            if (!error.group.empty()) {
                return "Join the port's group: `sudo usermod -aG " + error.group +
                       " $USER`, then log out and in again (the group takes effect at a new "
                       "login).";
            }
            return "Ask the administrator for read and write access to the port (a udev rule).";
        case PortOpenFailure::kFormat:
        case PortOpenFailure::kOther:
            break;
    }
    return "Check the port's path (`velmora-cli ports` lists the ports) and that the adapter "
           "works; unplug and replug it and start again.";
}

}  // namespace velmora
