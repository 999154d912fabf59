#pragma once
// The classic display of a job, as the window shows it and the CLI's JSON
// repeats it: bar colours, block rows with a colour and a STATUS cell, the
// elapsed time and chip ID as texts. DisplayAdapter turns a job's events into
// these terms for a JobDisplay.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/events.h"
#include "base/link_kind.h"
#include "frontend/block_map.h"

namespace velmora {

// Progress bar colours (0x00BBGGRR).
inline constexpr uint32_t kBarBlue = 0xFF0000;       // boot stage, writing, reading
inline constexpr uint32_t kBarGreen = 0x0BD40B;      // success
inline constexpr uint32_t kBarPink = 0xFF64FF;       // erasing
inline constexpr uint32_t kBarRedSerial = 0x0000FF;  // failed serial job
inline constexpr uint32_t kBarRedUsb = 0x0A0AFF;     // failed USB job

inline constexpr int kStatusColumn = 2;  // the block map's STATUS column

uint32_t BarColour(Phase phase);
// The row colour and the STATUS cell of a block in `state`; none / empty when
// the state leaves them as they were.
std::optional<uint32_t> RowColour(BlockState state);
std::string_view CellText(BlockState state);
// " EC, F1, 00, 95", or " EC, 76" for a chip that repeats its two ID bytes.
std::string ChipText(const std::array<uint8_t, 4>& id);
// Serial "12秒" (whole seconds); USB "12.34 S".
std::string ElapsedText(LinkKind link, uint32_t milliseconds);
// Percent of `done` in `total`, truncated and within 0..100; 0 when total is 0.
int PercentOf(uint64_t done, uint64_t total);

// What the window shows. Every call comes from the job's worker thread; the
// defaults do nothing.
class JobDisplay {
  public:
    virtual ~JobDisplay() = default;

    virtual void OnStatus(const std::string& /*text*/) {}
    virtual void OnProgress(int /*percent*/) {}  // 0..100
    virtual void OnBarColour(uint32_t /*colour*/) {}
    virtual void OnPercentDisplay(bool /*on*/) {}  // percentage, or the bar's own text
    virtual void OnBarText(const std::string& /*text*/) {}
    virtual void OnElapsed(const std::string& /*text*/) {}   // "" clears it
    virtual void OnChipInfo(const std::string& /*text*/) {}  // "" clears it
    // Block map changes (see BlockMap): apply them to a BlockMap in order.
    virtual void OnBlockMapClear() {}
    virtual void OnBlockMapInit(int /*block_count*/, uint32_t /*block_size*/) {}
    virtual void OnBlockText(int /*block*/, int /*column*/, const std::string& /*text*/) {}
    virtual void OnBlockColour(int /*block*/, uint32_t /*colour*/, int /*top_row*/) {}
    // Returns when the operator has acknowledged the message.
    virtual void OnStepMessage(const std::string& /*text*/) {}
    virtual void OnLog(const std::string& /*text*/) {}
};

// A job's events in the classic display's terms.
class DisplayAdapter : public EventSink {
  public:
    // `display` must outlive the adapter.
    explicit DisplayAdapter(JobDisplay& display) : display_(display) {}

    // The link of the jobs to come: it decides the elapsed time's form and the
    // failure's red.
    void set_link(LinkKind link) { link_ = link; }

    void OnStatus(const std::string& text) override;
    void OnPhase(Phase phase) override;
    void OnProgress(uint64_t done, uint64_t total) override;
    void OnElapsed(std::optional<uint32_t> milliseconds) override;
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override;
    void OnBlockMap(int block_count, uint32_t block_size) override;
    void OnBlock(int block, BlockState state) override;
    void OnStepMessage(const std::string& text) override;
    void OnLog(const std::string& text) override;
    void OnEnd(const JobEnd& end) override;

  private:
    JobDisplay& display_;
    LinkKind link_ = LinkKind::kSerial;
    BlockMap map_;  // for the scroll position and to keep calls within the grid
};

}  // namespace velmora
