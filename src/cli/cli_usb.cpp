#include "cli/cli_usb.h"

#include <stdlib.h>

#include <filesystem>

#include "usb/usb_job.h"

#if __has_include("sim/usb_phone.h")
#include "sim/usb_phone.h"
#define VELMORA_CLI_HAS_USB_SIM 1
#endif

namespace velmora::cli {

// A simulated phone on a stand-in bus in a private folder, gone with the session.
class UsbSimSession {
  public:
#ifdef VELMORA_CLI_HAS_USB_SIM
    ~UsbSimSession() {
        phone.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::unique_ptr<sim::UsbPhone> phone;
#endif
    std::string folder;
};

UsbLink::UsbLink() = default;
UsbLink::~UsbLink() = default;
UsbLink::UsbLink(UsbLink&&) noexcept = default;
UsbLink& UsbLink::operator=(UsbLink&&) noexcept = default;

bool PrepareUsbLink(const std::string& home, const std::string& port_option, UsbLink* link,
                    std::string* error) {
    if (port_option != "sim" && port_option.rfind("sim:", 0) != 0) {
        usb::UsbLinkSpec spec;
        if (!usb::ParseUsbLinkSpec(port_option, &spec, error)) {
            return false;
        }
        link->port = port_option;
        return true;
    }
#ifdef VELMORA_CLI_HAS_USB_SIM
    sim::PhoneOptions options;
    sim::UsbPhoneOptions usb_options;
    options.catalogue = home;
    std::string rest, why;
    const std::string text = port_option.size() > 4 ? port_option.substr(4) : "";
    if (!sim::SplitUsbPhoneOptions(text, usb_options, rest, why) ||
        !sim::ParsePhoneOptions(rest, options, why)) {
        *error = "simulated phone: " + why;
        return false;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string pattern = std::string(runtime && *runtime ? runtime : "/tmp") + "/velmora-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        *error = "simulated phone: no folder for its USB stand-in";
        return false;
    }
    auto session = std::make_unique<UsbSimSession>();
    session->folder = pattern;
    session->phone = std::make_unique<sim::UsbPhone>(options, usb_options);
    const std::string socket = pattern + "/usb.sock";
    if (!session->phone->Start(socket, &why)) {
        *error = "simulated phone: " + why;
        return false;
    }
    link->port = "unix:" + socket;
    link->sim = std::move(session);
    return true;
#else
    (void)home;
    *error = "the simulated phone is not part of this build";
    return false;
#endif
}

}  // namespace velmora::cli
