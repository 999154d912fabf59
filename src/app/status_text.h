#pragma once
// What the window makes of a job's texts and counts for its status line:
// the library's texts in the interface language, the done text, the device and
// the transfer rate.
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/events.h"
#include "base/texts.h"

namespace velmora::app {

// A text from the library (a status, an error, a step's name, a meaning) as the
// window shows it: blanks and line breaks at either end removed, and in the
// interface language through the library's message catalogue; a text the
// catalogue does not know stays as it came.
QString DisplayStatus(std::string_view text);
QString DisplayStatus(std::string_view text, text::Lang lang);

// The status after a successful job, followed by what it has to say.
QString DoneText(const std::vector<std::string>& notes);

// "1-4.2, 1fc9:0117" for a USB device.
QString UsbDeviceText(const std::string& path, uint16_t vendor, uint16_t product);

// "850 B/s", "117.3 KB/s", "2.41 MB/s".
QString RateText(double bytes_per_second);

// The rate of a write or read phase: bytes done since the phase's first count
// over the time since then. Other phases (connect, erase) have no rate.
class ThroughputMeter {
  public:
    void OnPhase(Phase phase);
    void OnProgress(uint64_t done);
    // Time since the job's start; returns the phase's rate once there is one.
    std::optional<double> OnElapsed(uint32_t milliseconds);

  private:
    struct Sample {
        uint64_t done;
        uint32_t ms;
    };
    bool measuring_ = false;
    uint64_t done_ = 0;
    std::optional<Sample> first_;
};

}  // namespace velmora::app
