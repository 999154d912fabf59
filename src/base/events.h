#pragma once
// What a job tells the operator, in meanings rather than display terms: the
// status text, the phase and how far it is, the chip, what became of each
// block, the files written, step messages, log lines and the job's end. Each
// front end turns these into its own form (the window's colours and grid, the
// CLI's lines and JSON).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// What the job is doing; progress counts within the phase.
enum class Phase {
    kConnect,     // finding the phone, boot ROM, RAM loader: no percentage yet
    kErase,       // a code upgrade's erase
    kWrite,       // a code upgrade's partitions
    kBootBlock,   // a code upgrade's block 0
    kRead,        // a read-back
    kEraseRange,  // the erase work mode
    kBackup,      // reading what a write will replace, before it erases anything
    kVerify,      // reading back what was written and comparing
};

// What became of a block.
enum class BlockState {
    kErased,
    kProgrammed,
    kRead,
    kBad,          // bad in the chip's table: passed over
    kReplaced,     // bad, its replacement used instead
    kSkipped,      // bad without a replacement: left alone
    kEraseFailed,  // the erase of this block failed
    kFailed,       // a write or read of this block failed
};

std::string_view PhaseName(Phase phase);       // "erase", "write", ...
std::string_view StateName(BlockState state);  // "erased", "programmed", ...

// The job's end as the operator should learn it.
struct JobEnd {
    int result = 0;
    bool user_stopped = false;
    std::string error_text;
    std::vector<std::string> notes;  // what the operator should know about a success
    // The result in words: the step it came from, its name, meaning and what to
    // do next (empty when the job succeeded).
    std::string step;
    std::string result_name;
    std::string meaning;
    std::string next_step;
    // The step that failed, where the result wraps another step's code (a
    // partition write behind the upgrade's 100); else the same as `step`.
    std::string failed_step;
    // A health report's job: the report, as JSON text.
    std::string report;
    // The phone's product ID as the boot ROM gave it, once read.
    std::optional<std::array<uint8_t, 5>> product_id;
};

// Receives a job's events on the job's worker thread, in the order they
// happen. Every method defaults to doing nothing.
class EventSink {
  public:
    virtual ~EventSink() = default;

    virtual void OnStatus(const std::string& /*text*/) {}
    virtual void OnPhase(Phase /*phase*/) {}
    virtual void OnProgress(uint64_t /*done*/, uint64_t /*total*/) {}
    // Time since the work began; none clears it.
    virtual void OnElapsed(std::optional<uint32_t> /*milliseconds*/) {}
    // The NAND chip's four ID bytes; none clears them.
    virtual void OnChip(const std::optional<std::array<uint8_t, 4>>& /*id*/) {}
    // The USB device the job has taken for the phone: its bus path and IDs.
    virtual void OnUsbDevice(const std::string& /*path*/, uint16_t /*vendor*/,
                             uint16_t /*product*/) {}
    // The chip's blocks (0: none known).
    virtual void OnBlockMap(int /*block_count*/, uint32_t /*block_size*/) {}
    virtual void OnBlock(int /*block*/, BlockState /*state*/) {}
    virtual void OnFile(const std::string& /*path*/) {}
    // A step or failure message of a debug-mode job. Returns when the operator
    // has acknowledged it (the window: a modal box).
    virtual void OnStepMessage(const std::string& /*text*/) {}
    // A piece of dl_log.txt as written (debug mode only).
    virtual void OnLog(const std::string& /*text*/) {}
    virtual void OnEnd(const JobEnd& /*end*/) {}
};

}  // namespace velmora
