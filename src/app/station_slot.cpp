#include "app/station_slot.h"

#include <QMetaObject>

#include "app/station_cell.h"

namespace velmora::app {

SlotEvents::SlotEvents(StationCell* cell, LinkKind link, std::function<void(const JobEnd&)> on_end)
    : cell_(cell), on_end_(std::move(on_end)) {
    adapter_.set_link(link);
}

namespace {

// Queued on the cell: a post still on its way when the cell goes is dropped.
template <typename F>
void Post(StationCell* cell, F&& f) {
    QMetaObject::invokeMethod(cell, std::forward<F>(f), Qt::QueuedConnection);
}

}  // namespace

void SlotEvents::OnStatus(const std::string& text) {
    Post(cell_, [cell = cell_, text] { cell->SetStatus(text); });
}

void SlotEvents::OnPhase(Phase phase) {
    meter_.OnPhase(phase);
    Post(cell_, [cell = cell_, phase] { cell->SetPhase(phase); });
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
        Post(cell_, [cell = cell_, text = RateText(*rate)] { cell->SetRate(text); });
    }
}

void SlotEvents::OnEnd(const JobEnd& end) {
    adapter_.OnEnd(end);
    Post(cell_, [cell = cell_, end, on_end = on_end_] {
        cell->EndPhone(end);
        if (on_end) {
            on_end(end);
        }
    });
}

void SlotEvents::Bar::OnProgress(int percent) {
    Post(cell_, [cell = cell_, percent] { cell->SetProgress(percent); });
}

void SlotEvents::Bar::OnBarColour(uint32_t colour) {
    Post(cell_, [cell = cell_, colour] { cell->SetBarColour(colour); });
}

void SlotEvents::Bar::OnPercentDisplay(bool on) {
    Post(cell_, [cell = cell_, on] { cell->SetPercentDisplay(on); });
}

void SlotEvents::Bar::OnBarText(const std::string& text) {
    Post(cell_, [cell = cell_, text = QString::fromStdString(text)] { cell->SetBarText(text); });
}

}  // namespace velmora::app
