#pragma once
// What the window makes of a job's texts and counts for its status line:
// texts trimmed and, where they are fixed Chinese texts, translated; the done
// text; the device and the transfer rate.
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/events.h"

namespace velmora::app {

// A status or message text from the library as the window shows it: blanks and
// line breaks at either end removed, and a fixed Chinese text in the interface
// language (context "status"). Texts that carry paths or numbers stay as they are.
QString DisplayStatus(const std::string& text);

// The elapsed time as the window shows it: the serial link's "12秒" in the
// interface language, anything else as it is.
QString DisplayElapsed(const std::string& text);

// The catalogue's "配置文件：DATE(VERSION)" with its caption in the interface language.
QString DisplayCatalogueVersion(const std::string& text);

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
