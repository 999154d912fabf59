#pragma once
// A late answer at each step the host asks again, for the tests of both links:
// the phone holds the answer to the first such command past the host's time-out
// (400 ms), so that it comes while the host waits for the answer to its retry,
// and answers the retry 50 ms after it.
#include <gtest/gtest.h>

#include <string>

#include "job/download_job.h"
#include "nand_harness.h"
#include "sim/options.h"

namespace velmora::testing {

inline std::string LateFaults(const std::string& command) {
    return "noise,late=" + command + "#1:700+" + command + "#2:50";
}

inline void ShortWaits(DownloadJob& job) {
    job.mutable_timings().ack_ms = 400;
    job.mutable_timings().response_ms = 400;
    job.mutable_timings().usb_response_ms = 400;
    job.mutable_timings().retry_pause_ms = 1;
    job.mutable_timings().quiet_ms = 250;  // ends before the late answer, covers the retry's
}

// Sets the phone's faults to `faults`, in their compact form.
template <typename Phone>
void SetFaults(Phone& phone, const std::string& faults) {
    sim::PhoneOptions o;
    std::string error;
    EXPECT_TRUE(sim::ParsePhoneOptions(faults, o, error)) << error;
    phone.ClearFaults();
    for (const sim::Fault& f : o.faults)
        phone.AddFault(f);
}

// A link's phone with code (blocks 2 to 5) and yaffs (8 to 10, spare bytes).
class LateRig {
  public:
    virtual ~LateRig() = default;
    // An upgrade, or a read by the table into a fresh upload_nand/, with the
    // phone's faults (in its compact form) set to `faults`.
    virtual int Run(bool upgrade, const std::string& faults) = 0;
    virtual const DownloadJob& job() const = 0;
    virtual std::vector<uint8_t> File(const std::string& name) const = 0;  // in upload_nand/
    virtual std::vector<uint8_t> Block0() = 0;

    std::vector<Partition> parts = {
        {"code", 2 * kBlock, 4 * kBlock, Bytes(3 * kBlock + kBlock / 2, 1), 1},
        {"yaffs", 8 * kBlock, 3 * kBlock, Bytes(kSpareBlock + 5000, 2), 3}};

    // After an upgrade that ended 0, or a read: the phone holds the firmware.
    void ExpectWhole(bool upgrade) {
        if (upgrade) {
            ASSERT_EQ(Run(false, "noise"), 0) << job().outcome().text;
        }
        EXPECT_EQ(File("parti_01_code"), parts[0].content);
        EXPECT_EQ(File("parti_02_yaffs"), parts[1].content);
        const auto block0 = Block0();
        EXPECT_EQ(File("boot_nand.bin"), decltype(block0)(block0.begin(), block0.begin() + 65536));
    }

    // With a late answer each step ends whole or fails with a text, never a
    // success with wrong data; with the first answer `lost`, each ends whole.
    void CheckEachStep(bool lost = false) {
        const std::pair<const char*, bool> steps[] = {
            {"5", true},   {"7", true},     {"6", true},       {"20", true},   {"10", true},
            {"8@3", true}, {"11@0", false}, {"13@0.1", false}, {"11@3", false}};
        for (const auto& [command, upgrade] : steps) {
            SCOPED_TRACE(command);
            ASSERT_EQ(Run(true, "noise"), 0) << job().outcome().text;
            const std::string drop = std::string("noise,drop=") + command + "#1";
            const int r = Run(upgrade, lost ? drop : LateFaults(command));
            if (r != 0) {
                EXPECT_FALSE(lost || job().outcome().text.empty()) << job().outcome().text;
                continue;
            }
            ExpectWhole(upgrade);
        }
    }
};

}  // namespace velmora::testing
