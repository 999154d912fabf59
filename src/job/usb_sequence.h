#pragma once
// The whole job over USB: find the boot ROM's DFU device, identify the target, push
// the RAM loader, find and open the loader's bulk device, then the target steps and
// the work mode over the USB TargetLink.
#include <functional>
#include <memory>
#include <string>

#include "usb/usb_device.h"
#include "usb/usb_link_spec.h"

namespace velmora {
class DownloadJob;
}

namespace velmora::usb {

// The pauses of the sequence; tests shrink them.
struct UsbJobTimings {
    int dfu_search_ms = 100;    // between looks for the DFU device
    int dlv_settle_ms = 500;    // before the first look for the bulk device
    int dlv_retry_ms = 500;     // between looks for the bulk device
    int dlv_attempts = 102;     // looks for the bulk device before giving up
    int dlv_refusals = 6;       // looks at a bulk device that will not open (access, busy)
    int dfu_request_ms = 5000;  // one DFU control request
};

// Result 100's text: the RAM loader's bulk device never came up (the loader did not
// arrive or does not run, or the device is not recognised: see dlv= above).
inline constexpr const char* kNoDlvDeviceText =
    "The phone's RAM loader did not come up on USB: no dlv device found";

// Runs the job over USB; the bus comes from job.port. Returns the job result.
int RunUsbJob(DownloadJob& job);
// The same with the bus and the pauses given (tests).
int RunUsbJob(DownloadJob& job, std::unique_ptr<UsbBus> bus, const UsbMatch& match,
              const UsbJobTimings& timings);

}  // namespace velmora::usb
