#include "sim/usb_link.h"

#include <stdlib.h>

#include <filesystem>

#include "sim/usb_phone.h"
#include "usb/usb_job.h"

namespace velmora::sim {

// A simulated phone on a stand-in bus in a private folder, gone with the session.
class UsbSimSession {
  public:
    ~UsbSimSession() {
        phone.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::unique_ptr<UsbPhone> phone;
    std::string folder;
};

UsbLink::UsbLink() = default;
UsbLink::~UsbLink() = default;
UsbLink::UsbLink(UsbLink&&) noexcept = default;
UsbLink& UsbLink::operator=(UsbLink&&) noexcept = default;

bool IsSimulatedPortText(const std::string& text) {
    return text == "sim" || text.rfind("sim:", 0) == 0;
}

bool NamesSerialPort(const std::string& text) {
    if (text.empty() || text[0] == '/') {
        return true;
    }
    return text.size() > 3 && text.rfind("COM", 0) == 0 &&
           text.find_first_not_of("0123456789", 3) == std::string::npos;
}

bool PrepareUsbLink(const std::string& home, const std::string& port_text, OtherPortText other,
                    UsbLink* link, std::string* error) {
    if (!IsSimulatedPortText(port_text)) {
        usb::UsbLinkSpec spec;
        std::string why;
        if (usb::ParseUsbLinkSpec(port_text, &spec, &why)) {
            link->port = usb::FormatUsbLinkSpec(spec);
        } else if (other == OtherPortText::kDefaultDevice && NamesSerialPort(port_text)) {
            link->port.clear();
        } else {
            *error = why;
            return false;
        }
        link->sim.reset();
        return true;
    }
    PhoneOptions options;
    UsbPhoneOptions usb_options;
    options.catalogue = home;
    std::string rest, why;
    const std::string text = port_text.size() > 4 ? port_text.substr(4) : "";
    if (!SplitUsbPhoneOptions(text, usb_options, rest, why) ||
        !ParsePhoneOptions(rest, options, why)) {
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
    session->phone = std::make_unique<UsbPhone>(options, usb_options);
    const std::string socket = pattern + "/usb.sock";
    if (!session->phone->Start(socket, &why)) {
        *error = "simulated phone: " + why;
        return false;
    }
    // The simulated phone is named by its bus path: it is on the bus before the job
    // starts, in whichever DFU mode its options give.
    link->port = "unix:" + socket + ",path=" + UsbPhone::kPort;
    link->sim = std::move(session);
    return true;
}

}  // namespace velmora::sim
