#include "job/link_registry.h"

#include "job/download_job.h"
#include "job/serial_sequence.h"
#include "job/usb_sequence.h"
#include "usb/usb_link_spec.h"

namespace velmora {

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

LinkRegistry::LinkRegistry(SimulatorFactory simulator) : simulator_(std::move(simulator)) {}

LinkRegistry::~LinkRegistry() = default;

bool LinkRegistry::Resolve(LinkKind link, const std::string& text, const std::string& home,
                           OtherPortText other, std::string* port, std::string* error) {
    if (IsSimulatedPortText(text)) {
        if (!phone_ || phone_link_ != link || phone_text_ != text) {
            phone_.reset();
            if (!simulator_) {
                *error = "no simulated phone in this program";
                return false;
            }
            phone_ = simulator_(link, text.size() > 4 ? text.substr(4) : "", home, error);
            if (!phone_) {
                return false;
            }
            phone_link_ = link;
            phone_text_ = text;
        }
        *port = phone_->port();
        return true;
    }
    if (link == LinkKind::kSerial) {
        *port = text;  // a device path or COMn, taken apart when the port is opened
        return true;
    }
    usb::UsbLinkSpec spec;
    std::string why;
    if (usb::ParseUsbLinkSpec(text, &spec, &why)) {
        *port = usb::FormatUsbLinkSpec(spec);
        return true;
    }
    if (other == OtherPortText::kDefaultDevice && NamesSerialPort(text)) {
        port->clear();
        return true;
    }
    *error = why;
    return false;
}

int RunJob(DownloadJob& job) {
    if (job.link_kind == LinkKind::kUsb) {
        return usb::RunUsbJob(job);
    }
    return RunSerialJob(job);
}

}  // namespace velmora
