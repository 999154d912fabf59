#pragma once
// How a running job reports: the job's worker thread calls the Reporter, which
// forwards every event, in call order, to the front end's EventSink, keeps the
// progress counters of the work and writes dl_log.txt.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/events.h"
#include "base/output_file.h"

namespace velmora {

class Reporter {
  public:
    // `sink` may be null (nothing is shown); it must outlive the reporter.
    Reporter(EventSink* sink, bool debug);
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    bool debug() const { return debug_; }

    void SetStatus(const std::string& text);
    // Debug mode only: the message, acknowledged by the operator.
    void ShowStepMessage(const std::string& text);
    void SetPhase(Phase phase);
    void SetProgress(uint64_t done, uint64_t total);

    // Progress counters kept by the NAND operations.
    uint32_t start_tick = 0;
    uint64_t units_done = 0;
    uint64_t units_total = 0;
    // The counters' progress, then the elapsed time since start_tick.
    void UpdateProgress();
    void ShowElapsed(uint32_t milliseconds);
    void ClearElapsed();

    void SetChip(const std::array<uint8_t, 4>& id);
    void SetUsbDevice(const std::string& path, uint16_t vendor, uint16_t product);
    // The chip's blocks; blocks outside them are not reported.
    void InitBlockMap(int block_count, uint32_t block_size);
    // No blocks and no chip.
    void ResetBlockMap();
    void MarkBlock(int block, BlockState state);
    void FileWritten(const std::string& path);
    void End(const JobEnd& end);

    // dl_log.txt: 0 opened (or already open), 1 could not be created. The file
    // is replaced, not appended to.
    int OpenLog(const std::string& path);
    bool log_open() const { return log_ != nullptr; }
    void WriteLog(std::string_view text);
    void CloseLog();

  private:
    EventSink* sink_;
    bool debug_;
    int block_count_ = 0;
    File log_;
};

}  // namespace velmora
