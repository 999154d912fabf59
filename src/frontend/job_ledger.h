#pragma once
// What a job has done to the phone, as its events tell it: which blocks it
// erased, programmed or failed on, which partition it was writing, whether its
// backup came to its end. A front end tells from it what a stopped phone holds
// and what to do before it is switched off, and sums up the blocks.
#include <optional>
#include <string>
#include <vector>

#include "base/events.h"
#include "frontend/job_progress.h"

namespace velmora {

// What the phone holds when the job ended.
struct PhoneState {
    enum class Boot {
        kKept,     // block 0 untouched: the old boot block
        kWritten,  // the new boot block
        kErased,   // block 0 erased without its new content: the phone will not start
    };
    bool changed = false;  // a block was erased or written
    Boot boot = Boot::kKept;
    // Upgrade: partitions numbered from 1 as the table numbers them.
    std::vector<int> written;
    std::vector<int> partly_written;
    std::vector<int> erased;
    std::vector<int> partly_erased;
    // Blocks left erased outside every partition of the table (an upgrade), or
    // every block an erase job erased.
    std::vector<int> erased_blocks;
    std::vector<int> restored_blocks;  // restore: the blocks written back
    bool all_written = false;          // upgrade: every partition and block 0 written
    bool backup_complete = false;      // the backup came to its end before anything changed
    std::optional<int> interrupted;    // the block the stop cut short
};

// "1..3, 5, 7..9" of sorted, distinct numbers.
std::string NumberRanges(const std::vector<int>& numbers);

class JobLedger {
  public:
    // `request`: the job's mode and, for an upgrade, the partitions it writes.
    explicit JobLedger(ProgressRequest request);

    void OnPhase(Phase phase);
    void OnStatus(const std::string& text);
    void OnBlockMap(int block_count, uint32_t block_size);
    void OnBlock(int block, BlockState state);

    WorkMode work_mode() const { return request_.work_mode; }
    int block_count() const { return static_cast<int>(blocks_.size()); }
    // Blocks whose last coloured state is `state` (failed: both failures).
    int Count(BlockState state) const;

    // The phone when the job ended; `stopped`: it ended by a stop.
    PhoneState State(bool stopped) const;

    // A block as the summary counts it: its last state with a colour, and
    // whether the window's STATUS cell says NG.
    struct Block {
        std::optional<BlockState> shown;
        bool not_good = false;
        bool erased = false;      // erased at some point of the job
        bool programmed = false;  // programmed at some point of the job
    };
    const std::vector<Block>& blocks() const { return blocks_; }
    // The block of the last failure mark, if the job's last block event was one.
    std::optional<int> last_failed() const { return last_failed_; }

  private:
    ProgressRequest request_;
    uint32_t block_size_ = 0;
    std::vector<Block> blocks_;
    std::vector<Phase> phases_;        // each work phase as it began, in order
    int partition_being_written_ = 0;  // 1-based; 0: none yet
    std::optional<int> last_failed_;
};

}  // namespace velmora
