#include "frontend/job_ledger.h"

#include <algorithm>
#include <cstdlib>

#include "base/texts.h"
#include "frontend/display.h"

namespace velmora {

std::string NumberRanges(const std::vector<int>& numbers) {
    std::string text;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) {
            ++j;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(numbers[i]);
        if (j > i) {
            text += ".." + std::to_string(numbers[j]);
        }
        i = j + 1;
    }
    return text;
}

JobLedger::JobLedger(ProgressRequest request) : request_(std::move(request)) {}

void JobLedger::OnPhase(Phase phase) {
    if (phase != Phase::kConnect) {
        phases_.push_back(phase);
    }
}

void JobLedger::OnStatus(const std::string& text) {
    // The upgrade names each partition as it begins to write it.
    if (const auto parts = text::Match("Write partition_#{1}...", text)) {
        const int number = std::atoi(parts->at(0).c_str());
        if (number > 0) {
            partition_being_written_ = number;
        }
    }
}

void JobLedger::OnBlockMap(int block_count, uint32_t block_size) {
    blocks_.assign(static_cast<size_t>(std::max(block_count, 0)), {});
    block_size_ = block_size;
    last_failed_.reset();
}

void JobLedger::OnBlock(int block, BlockState state) {
    if (block < 0 || static_cast<size_t>(block) >= blocks_.size()) {
        return;
    }
    Block& b = blocks_[static_cast<size_t>(block)];
    if (RowColour(state)) {
        b.shown = state;
    }
    if (const std::string_view cell = CellText(state); !cell.empty()) {
        b.not_good = cell == "NG";
    }
    b.erased = b.erased || state == BlockState::kErased;
    b.programmed = b.programmed || state == BlockState::kProgrammed;
    if (state == BlockState::kFailed || state == BlockState::kEraseFailed) {
        last_failed_ = block;
    } else {
        last_failed_.reset();
    }
}

int JobLedger::Count(BlockState state) const {
    const auto failed = [](std::optional<BlockState> s) {
        return s == BlockState::kFailed || s == BlockState::kEraseFailed;
    };
    return static_cast<int>(std::count_if(blocks_.begin(), blocks_.end(), [&](const Block& b) {
        return failed(state) ? failed(b.shown) : b.shown == state;
    }));
}

PhoneState JobLedger::State(bool stopped) const {
    PhoneState s;
    const auto backup = std::find(phases_.begin(), phases_.end(), Phase::kBackup);
    s.backup_complete = backup != phases_.end() && backup + 1 != phases_.end();
    if (stopped) {
        s.interrupted = last_failed_;
    }
    for (const Block& b : blocks_) {
        s.changed = s.changed || b.erased || b.programmed;
    }
    if (!blocks_.empty()) {
        s.boot = blocks_[0].programmed ? PhoneState::Boot::kWritten
                 : blocks_[0].erased   ? PhoneState::Boot::kErased
                                       : PhoneState::Boot::kKept;
    }
    const int count = static_cast<int>(blocks_.size());
    switch (request_.work_mode) {
        case WorkMode::kErase:
            for (int b = 0; b < count; ++b) {
                if (blocks_[static_cast<size_t>(b)].erased) {
                    s.erased_blocks.push_back(b);
                }
            }
            return s;
        case WorkMode::kRestore:
            for (int b = 0; b < count; ++b) {
                if (blocks_[static_cast<size_t>(b)].programmed) {
                    s.restored_blocks.push_back(b);
                }
            }
            return s;
        case WorkMode::kCodeUpgrade:
            break;
        default:
            return s;
    }

    // Block 0 is written last: once it is, every partition is.
    s.all_written = s.boot == PhoneState::Boot::kWritten;
    std::vector<bool> in_partition(blocks_.size(), false);
    for (size_t i = 0; i < request_.partitions.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const PlannedPartition& p = request_.partitions[i];
        int good = 0;
        int erased = 0;
        if (block_size_ > 0) {
            const auto first = static_cast<int>(p.offset / block_size_);
            const auto end = static_cast<int>(
                std::min<uint64_t>((uint64_t{p.offset} + p.size) / block_size_, count));
            for (int b = std::max(first, 1); b < end; ++b) {
                const Block& block = blocks_[static_cast<size_t>(b)];
                in_partition[static_cast<size_t>(b)] = true;
                if (!block.not_good) {
                    ++good;
                    erased += block.erased ? 1 : 0;
                }
            }
        }
        if (s.all_written || number < partition_being_written_) {
            s.written.push_back(number);
        } else if (number == partition_being_written_) {
            s.partly_written.push_back(number);
        } else if (good > 0 && erased == good) {
            s.erased.push_back(number);
        } else if (erased > 0) {
            s.partly_erased.push_back(number);
        }
    }
    // Outside the partitions: the blocks left erased (not those written again,
    // as the record's are).
    for (int b = 1; b < count; ++b) {
        const Block& block = blocks_[static_cast<size_t>(b)];
        if (block.shown == BlockState::kErased && !in_partition[static_cast<size_t>(b)]) {
            s.erased_blocks.push_back(b);
        }
    }
    return s;
}

}  // namespace velmora
