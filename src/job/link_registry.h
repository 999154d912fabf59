#pragma once
// Port texts, in one place: what the operator types for a link (a serial device
// path or COMn; a USB link text; `sim` or `sim:OPTIONS` for a simulated phone)
// becomes the port a job opens, and a job runs the sequence of its link.
#include <functional>
#include <memory>
#include <string>

#include "base/link_kind.h"

namespace velmora {

class DownloadJob;

// "sim" or "sim:OPTIONS".
bool IsSimulatedPortText(const std::string& text);
// Empty, a device path or COMn: what the serial port list holds.
bool NamesSerialPort(const std::string& text);

// A simulated phone a port text asked for; it runs while the object lives.
class SimulatedPhone {
  public:
    virtual ~SimulatedPhone() = default;
    // The port the job opens: the pseudo-terminal, or the stand-in's link text.
    virtual const std::string& port() const = 0;
};

// Starts a simulated phone for a link from the options after "sim:" (the
// library does not hold the simulator: front ends hand it in). `home` is where
// it finds the chip catalogue. Null, with `error`, when it cannot start.
using SimulatorFactory = std::function<std::unique_ptr<SimulatedPhone>(
    LinkKind link, const std::string& options, const std::string& home, std::string* error)>;

// What to make of a USB port text that names no USB link.
enum class OtherPortText {
    kRefuse,         // an error (the command line)
    kDefaultDevice,  // a serial port's name (the window's port field may still show
                     // one) or nothing: the machine's USB with the default choice;
                     // any other text is refused as a malformed USB link
};

class LinkRegistry {
  public:
    explicit LinkRegistry(SimulatorFactory simulator = {});
    ~LinkRegistry();
    LinkRegistry(const LinkRegistry&) = delete;
    LinkRegistry& operator=(const LinkRegistry&) = delete;

    // The port a job on `link` opens for the operator's `text`. A simulated
    // phone is started, and kept for the next call with the same link and text
    // (its chip keeps its content from one job to the next). False, with
    // `error`, when the text is unusable or the phone cannot start.
    bool Resolve(LinkKind link, const std::string& text, const std::string& home,
                 OtherPortText other, std::string* port, std::string* error);

  private:
    SimulatorFactory simulator_;
    LinkKind phone_link_ = LinkKind::kSerial;
    std::string phone_text_;
    std::unique_ptr<SimulatedPhone> phone_;
};

// Runs the job's sequence for its link; returns the job result.
int RunJob(DownloadJob& job);

}  // namespace velmora
