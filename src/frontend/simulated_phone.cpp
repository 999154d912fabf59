#include "frontend/simulated_phone.h"

#include <stdlib.h>

#include <filesystem>

#include "sim/phone.h"
#include "sim/usb_phone.h"

namespace velmora {
namespace {

class SerialSimulatedPhone final : public SimulatedPhone {
  public:
    explicit SerialSimulatedPhone(const sim::PhoneOptions& options) : phone_(options) {}
    bool Start(std::string* error) {
        if (!phone_.Start(error)) {
            return false;
        }
        port_ = phone_.SlavePath();
        return true;
    }
    const std::string& port() const override { return port_; }

  private:
    sim::Phone phone_;
    std::string port_;
};

// A phone on a stand-in bus in a private folder, gone with the phone.
class UsbSimulatedPhone final : public SimulatedPhone {
  public:
    ~UsbSimulatedPhone() override {
        phone_.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    bool Start(const sim::PhoneOptions& options, const sim::UsbPhoneOptions& usb_options,
               std::string* error) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        std::string pattern =
            std::string(runtime && *runtime ? runtime : "/tmp") + "/velmora-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            *error = "simulated phone: no folder for its USB stand-in";
            return false;
        }
        folder_ = pattern;
        phone_ = std::make_unique<sim::UsbPhone>(options, usb_options);
        const std::string socket = pattern + "/usb.sock";
        std::string why;
        if (!phone_->Start(socket, &why)) {
            *error = "simulated phone: " + why;
            return false;
        }
        // The phone is named by its bus path: it is on the bus before the job
        // starts, in whichever DFU mode its options give.
        port_ = "unix:" + socket + ",path=" + sim::UsbPhone::kPort;
        return true;
    }
    const std::string& port() const override { return port_; }

  private:
    std::string folder_;
    std::unique_ptr<sim::UsbPhone> phone_;
    std::string port_;
};

std::unique_ptr<SimulatedPhone> Start(LinkKind link, const std::string& text,
                                      const std::string& home, std::string* error) {
    sim::PhoneOptions options;
    options.catalogue = home;
    std::string why;
    if (link == LinkKind::kSerial) {
        if (!text.empty() && !sim::ParsePhoneOptions(text, options, why)) {
            *error = "simulated phone: " + why;
            return nullptr;
        }
        auto phone = std::make_unique<SerialSimulatedPhone>(options);
        if (!phone->Start(&why)) {
            *error = "simulated phone: " + why;
            return nullptr;
        }
        return phone;
    }
    sim::UsbPhoneOptions usb_options;
    std::string rest;
    if (!sim::SplitUsbPhoneOptions(text, usb_options, rest, why) ||
        !sim::ParsePhoneOptions(rest, options, why)) {
        *error = "simulated phone: " + why;
        return nullptr;
    }
    auto phone = std::make_unique<UsbSimulatedPhone>();
    if (!phone->Start(options, usb_options, error)) {
        return nullptr;
    }
    return phone;
}

}  // namespace

SimulatorFactory SimulatedPhones() {
    return Start;
}

}  // namespace velmora
