#pragma once
// One slot's events carried to its cell on the window's thread, in the order
// the slot's worker made them: the classic bar through the display adapter,
// and the phase, the rate, the status line and each phone's end.
#include <functional>
#include <string>

#include "app/status_text.h"
#include "base/events.h"
#include "base/link_kind.h"
#include "frontend/display.h"

namespace velmora::app {

class StationCell;

class SlotEvents : public EventSink {
  public:
    // `on_end` runs on the window's thread after the cell has shown the end.
    // The cell must outlive every call of the sink.
    SlotEvents(StationCell* cell, LinkKind link, std::function<void(const JobEnd&)> on_end);

    // EventSink, called on the slot's worker thread.
    void OnStatus(const std::string& text) override;
    void OnPhase(Phase phase) override;
    void OnProgress(uint64_t done, uint64_t total) override;
    void OnElapsed(std::optional<uint32_t> milliseconds) override;
    void OnEnd(const JobEnd& end) override;

  private:
    // The adapter's bar calls, carried to the cell.
    class Bar : public JobDisplay {
      public:
        explicit Bar(StationCell* cell) : cell_(cell) {}
        void OnProgress(int percent) override;
        void OnBarColour(uint32_t colour) override;
        void OnPercentDisplay(bool on) override;
        void OnBarText(const std::string& text) override;

      private:
        StationCell* cell_;
    };

    StationCell* cell_;  // outlives the slot's worker; posts to it die with it
    std::function<void(const JobEnd&)> on_end_;
    Bar bar_{cell_};
    DisplayAdapter adapter_{bar_};
    ThroughputMeter meter_;  // worker thread only
};

}  // namespace velmora::app
