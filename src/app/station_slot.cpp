#include "app/station_slot.h"

#include <QMetaObject>

#include "app/station_cell.h"

namespace velmora::app {

SlotEvents::SlotEvents(StationCell* cell, LinkKind link, std::function<void(const JobEnd&)> on_end)
    : cell_(cell), on_end_(std::move(on_end)) {
    adapter_.set_link(link);
}

template <typename F>
void SlotEvents::Post(F&& f) {
    // Queued on the cell: a post still on its way when the cell goes is dropped.
    QMetaObject::invokeMethod(cell_, std::forward<F>(f), Qt::QueuedConnection);
}

void SlotEvents::OnStatus(const std::string& text) {
    if (!begun_) {
        // The first word of the slot's next phone.
        begun_ = true;
        Post([cell = cell_] { cell->BeginPhone(); });
    }
    Post([cell = cell_, text = DisplayStatus(text)] { cell->SetStatus(text); });
    adapter_.OnStatus(text);
}

void SlotEvents::OnPhase(Phase phase) {
    begun_ = true;
    meter_.OnPhase(phase);
    Post([cell = cell_, phase] { cell->SetPhase(phase); });
    adapter_.OnPhase(phase);
}

void SlotEvents::OnProgress(uint64_t done, uint64_t total) {
    meter_.OnProgress(done);
    adapter_.OnProgress(done, total);
}

void SlotEvents::OnElapsed(std::optional<uint32_t> milliseconds) {
    if (!milliseconds) {
        return;
    }
    if (const std::optional<double> rate = meter_.OnElapsed(*milliseconds)) {
        Post([cell = cell_, text = RateText(*rate)] { cell->SetRate(text); });
    }
}

void SlotEvents::OnEnd(const JobEnd& end) {
    begun_ = false;
    adapter_.OnEnd(end);
    Post([cell = cell_, end, on_end = on_end_] {
        cell->EndPhone(end);
        if (on_end) {
            on_end(end);
        }
    });
}

void SlotEvents::OnProgress(int percent) {
    Post([cell = cell_, percent] { cell->SetProgress(percent); });
}

void SlotEvents::OnBarColour(uint32_t colour) {
    Post([cell = cell_, colour] { cell->SetBarColour(colour); });
}

void SlotEvents::OnPercentDisplay(bool on) {
    Post([cell = cell_, on] { cell->SetPercentDisplay(on); });
}

void SlotEvents::OnBarText(const std::string& text) {
    Post([cell = cell_, text = QString::fromStdString(text)] { cell->SetBarText(text); });
}

}  // namespace velmora::app
