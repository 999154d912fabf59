#pragma once
// A late answer at each step the host asks again, for the tests of both links:
// the phone holds the answer to the first such command past the host's time-out
// (400 ms), so that it comes while the host waits for the answer to its retry,
// and answers the retry 50 ms after it.
#include <string>
#include <vector>

#include "flash/nand_session.h"
#include "job/download_job.h"
#include "nand_harness.h"

namespace velmora::testing {

struct LateCase {
    const char* step;
    bool upgrade;  // else a read by the partition table
    std::string command;

    std::string Faults() const { return "late=" + command + "#1:700+" + command + "#2:50"; }
};

inline const std::vector<LateCase>& LateCases() {
    static const std::vector<LateCase> cases = {
        {"identification", true, "5"},   {"IBT", true, "7"},
        {"parameters", true, "6"},       {"record", true, "20"},
        {"erase", true, "10"},           {"block write", true, "8@3"},
        {"block 0 read", false, "11@0"}, {"page read", false, "13@0.1"},
        {"block read", false, "11@3"},
    };
    return cases;
}

inline void ShortWaits(DownloadJob& job) {
    job.timings.ack_ms = 400;
    job.timings.response_ms = 400;
    job.timings.usb_response_ms = 400;
    job.timings.retry_pause_ms = 1;
    job.timings.quiet_ms = 250;  // ends before the late answer, covers the retry's
}

// Code blocks 2 to 5, yaffs (with spare bytes) blocks 8 to 10.
inline std::vector<Partition> LateFirmware() {
    return {{"code", 2 * kBlock, 4 * kBlock, Bytes(3 * kBlock + kBlock / 2, 1), 1},
            {"yaffs", 8 * kBlock, 3 * kBlock, Bytes(kSpareBlock + 5000, 2), 3}};
}

}  // namespace velmora::testing
