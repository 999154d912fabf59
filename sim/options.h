#pragma once
// The simulated phone's options, shared by the executable (--name VALUE) and
// the compact in-process form "chip=EC,A1,bad=5+9,pace" (--port sim:...).
#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/chip_catalogue.h"
#include "sim/nand.h"

namespace velmora::sim {

enum class FaultKind {
    kNoEcho,       // the boot ROM does not echo the host's 'D'
    kNoStartByte,  // the RAM loader never sends its 0xBE
    kNoLoadAck,    // the boot ROM stops acknowledging at the nth 'L' (loader chunk)
    kDrop,         // a command gets no answer at all
    kStatus,       // a command answers with a non-zero status (value)
    kBadCrc,       // the checksum in a command's answer is wrong
    kStray,        // `value` stray bytes go out before a command's answer
    kVanish,       // the port goes away when the command arrives
    kLate,         // a command's answer is held back `value` ms
    kNoise,        // answer bytes the wire format leaves open carry random values
};

// One injected fault. It applies to frames of `command` (-1: any) naming
// `block` (-1: any) and, for the commands that name pages (8, 13), `page` (-1:
// any); with nth > 0 only the nth such frame, else every one.
struct Fault {
    FaultKind kind = FaultKind::kDrop;
    int command = -1;
    int64_t block = -1;
    int nth = 0;
    uint32_t value = 0;
    int64_t page = -1;
};

// Thread-safe set of faults with occurrence counting.
class FaultSet {
  public:
    void Add(const Fault& fault);
    void Clear();
    bool Has(FaultKind kind) const;
    // Counts the frame against every fault of `kind` and returns the one that
    // fires. The frame names pages first_page to first_page + pages − 1 (none when
    // `pages` is 0).
    std::optional<Fault> Match(FaultKind kind, int command, int64_t block, int64_t first_page = 0,
                               int64_t pages = 0);

  private:
    struct Entry {
        Fault fault;
        int seen = 0;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

struct PhoneOptions {
    // The chip: a catalogue key looked up in <catalogue>/FlashChip.ini, then
    // any explicit values below override what the catalogue gave.
    std::string chip = "EC,A1";
    std::string catalogue;  // folder of FlashChip.ini; empty: the program's home
    std::optional<int32_t> blocks, block_size, page_size, spare_size, erase_time, write_time;
    std::optional<std::array<uint8_t, 4>> id;  // default: maker and device of `chip`, 0x00, 0x15
    std::vector<uint32_t> bad_blocks;          // factory bad
    std::vector<uint32_t> erase_fail_blocks;   // erase fails although good in the IBT
    std::vector<uint32_t> program_fail_blocks;
    std::vector<uint32_t> grown_blocks;  // bad since the management record was written
    std::vector<BitFlip> flips;          // bytes stored with a bit inverted
    std::vector<uint32_t> read_flips;    // blocks whose first read comes back with a bit inverted
    std::vector<uint32_t> turns_bad;     // blocks that go bad once the first session has ended
    std::string nand_file;               // backing file; empty: memory, lost when the phone stops

    bool pace = false;       // bytes at the host's baud rate, erase and program times
    bool auto_power = true;  // the phone switches on whenever the host opens the port
    int announce_interval_ms = 10;
    int start_delay_ms = 10;     // from 'J' to the RAM loader's 0xBE
    int data_timeout_ms = 5000;  // a data phase or frame that stalls this long is dropped
    std::array<uint8_t, 5> product_id{0x52, 0x20, 0x05, 0x01, 0x00};

    std::vector<Fault> faults;
    std::string trace_file;
    bool trace_append = false;  // add to an existing trace file instead of refusing it
    std::string link;           // a symlink to the port, remade when the port changes
    int fd = -1;                // serve on this descriptor instead of a new pty (in-process)
};

struct OptionSpec {
    const char* name;
    const char* value;  // nullptr: a flag
    const char* help;
};
const std::vector<OptionSpec>& OptionSpecs();

// Applies one option by name ("chip", "bad", "pace", ...). False with `error`
// set when the name is unknown or the value unusable.
bool ApplyOption(const std::string& name, const std::string& value, PhoneOptions& options,
                 std::string& error);

// Parses the compact form: NAME[=VALUE] separated by commas; a piece that is
// neither NAME=VALUE nor a flag continues the previous value ("chip=EC,A1").
bool ParsePhoneOptions(std::string_view text, PhoneOptions& options, std::string& error);

// Fills the chip from the options and the catalogue; false with `error` set.
bool ResolveChip(const PhoneOptions& options, ChipDescription& chip, std::string& error);

}  // namespace velmora::sim
