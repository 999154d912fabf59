#pragma once
// How a running job tells the operator what it does. The job's worker thread
// calls StatusReporter; StatusReporter keeps the job's display state and
// forwards every change, in call order, to the JobDisplay that the front end
// implements (the window forwards to its own thread, the CLI prints, tests
// record).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/output_file.h"
#include "job/block_map.h"
#include "base/link_kind.h"

namespace velmora {

// Progress bar colours (0x00BBGGRR).
inline constexpr uint32_t kBarBlue = 0xFF0000;       // boot stage
inline constexpr uint32_t kBarGreen = 0x0BD40B;      // success
inline constexpr uint32_t kBarPink = 0xFF64FF;       // erasing
inline constexpr uint32_t kBarRedSerial = 0x0000FF;  // failed serial job
inline constexpr uint32_t kBarRedUsb = 0x0A0AFF;     // failed USB job

// What a front end shows. Every call comes from the job's worker thread, except
// where a front end calls its own display. Defaults do nothing, so a front end
// implements what it shows.
class JobDisplay {
  public:
    virtual ~JobDisplay() = default;

    virtual void OnStatus(const std::string& /*text*/) {}
    virtual void OnProgress(int /*percent*/) {}  // 0..100
    virtual void OnBarColour(uint32_t /*colour*/) {}
    virtual void OnPercentDisplay(bool /*on*/) {}  // percentage, or the bar's own text
    virtual void OnBarText(const std::string& /*text*/) {}
    virtual void OnElapsed(const std::string& /*text*/) {}   // "" clears it
    virtual void OnChipInfo(const std::string& /*text*/) {}  // the NAND ID text; "" clears it
    // Block map model changes (see BlockMap): apply them to a BlockMap in order.
    virtual void OnBlockMapClear() {}
    virtual void OnBlockMapInit(int /*block_count*/, uint32_t /*block_size*/) {}
    virtual void OnBlockText(int /*block*/, int /*column*/, const std::string& /*text*/) {}
    virtual void OnBlockColour(int /*block*/, uint32_t /*colour*/, int /*top_row*/) {}
    // A step or failure message of a debug-mode job. Returns when the operator has
    // acknowledged it (the window: a modal box; the CLI prints and returns).
    virtual void OnStepMessage(const std::string& /*text*/) {}
    // A line written to dl_log.txt (debug mode only), as written.
    virtual void OnLog(const std::string& /*text*/) {}
};

class StatusReporter {
  public:
    // `display` may be null (nothing is shown); it must outlive the reporter.
    StatusReporter(JobDisplay* display, LinkKind link, bool debug);
    ~StatusReporter();
    StatusReporter(const StatusReporter&) = delete;
    StatusReporter& operator=(const StatusReporter&) = delete;

    bool debug() const { return debug_; }
    LinkKind link() const { return link_; }

    void SetStatus(const std::string& text);
    // Debug mode only: the message, acknowledged by the operator.
    void ShowStepMessage(const std::string& text);
    void SetProgress(int percent);
    void SetBarColour(uint32_t colour);
    void SetPercentDisplay(bool on);
    // Percentage off, bar red (serial 0x0000FF, USB 0x0A0AFF with an empty bar
    // text first), position 100, failed mark set.
    void MarkJobFailed();
    bool failed_mark() const { return failed_mark_; }
    // Serial "%u秒" of whole seconds; USB "%3.2f S".
    void ShowElapsed(uint32_t milliseconds);
    void ClearElapsed();
    void SetChipInfo(const std::string& text);

    // Progress state kept by the NAND operations. units_total 0 shows 0.
    uint32_t start_tick = 0;
    uint64_t units_done = 0;
    uint64_t units_total = 0;
    // Percent of units done (truncated), then the elapsed time since start_tick.
    void UpdateProgress();

    void ResetBlockMap();  // grid emptied, chip information cleared
    void InitBlockMap(int block_count, uint32_t block_size);
    void SetBlockText(int block, int column, const std::string& text);
    void MarkBlock(int block, uint32_t colour);
    const BlockMap& block_map() const { return block_map_; }

    // dl_log.txt: 0 opened (or already open), 1 could not be created. The file is
    // replaced, not appended to.
    int OpenLog(const std::string& path);
    bool log_open() const { return log_ != nullptr; }
    void WriteLog(std::string_view text);
    void CloseLog();

  private:
    JobDisplay* display_;
    LinkKind link_;
    bool debug_;
    bool failed_mark_ = false;
    BlockMap block_map_;
    File log_;
};

// Percent of `done` in `total`, truncated; 0 when total is 0.
int PercentOf(uint64_t done, uint64_t total);

}  // namespace velmora
