#pragma once
// One slot of the station view: its port, a progress bar in the window's own
// colours, the phase, the percentage, the transfer rate, the status line and
// the last phone's result.
#include <QFrame>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "app/failure_details.h"

#include "base/events.h"
#include "base/link_kind.h"
#include "frontend/display.h"

class QLabel;
class QPushButton;

namespace velmora::app {

class ProgressBar;

// What the last phone on a slot came to.
enum class SlotResult { kNone, kPassed, kFailed, kStopped };

class StationCell : public QFrame {
    Q_OBJECT
  public:
    StationCell(const QString& port, QWidget* parent = nullptr);

    // The classic bar, as a single job's display drives it.
    void SetProgress(int percent);
    void SetBarColour(uint32_t colour);
    void SetPercentDisplay(bool on);
    void SetBarText(const QString& text);
    // A status as the library gave it; shown in the interface language.
    void SetStatus(const std::string& text);
    void SetPhase(Phase phase);
    void SetRate(const QString& text);
    // A phone's job began on the slot: phase, rate and status start afresh; the
    // last result stays until this phone's own.
    void BeginPhone();
    // A phone's job ended. A failure is shown by its step and short meaning;
    // its details are a click away.
    void EndPhone(const JobEnd& end);
    // The slot was stopped: shown as such unless its last phone's end says more
    // (a slot stopped before its job began has none).
    void SlotStopped();
    // Why the last phone's row is not in the station log; empty: it is.
    void SetLogProblem(const QString& text);

    // Texts in the interface language.
    void Retranslate();

    QString port() const { return port_; }
    ProgressBar* progressBar() const { return bar_; }
    QString phaseText() const;
    // The percentage the bar shows; empty when it shows none.
    QString percentText() const;
    QString rateText() const;
    QString statusText() const;
    QString resultText() const;
    QString logProblemText() const;
    SlotResult result() const { return result_; }
    // The last phone's failure; none unless it failed.
    const std::optional<Failure>& failure() const { return failure_; }

  signals:
    // The Details button, or a click on the cell, after a failure.
    void detailsRequested();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void ShowResult();

    QString port_;
    std::optional<Phase> phase_;
    SlotResult result_ = SlotResult::kNone;
    bool ended_ = false;  // the phone's job has ended; its last words may follow
    std::optional<Failure> failure_;
    RecentLines statuses_;  // this phone's, as the library gave them
    std::string status_;    // the status shown, as the library gave it
    QString log_problem_;
    QLabel* port_label_ = nullptr;
    ProgressBar* bar_ = nullptr;
    QLabel* phase_label_ = nullptr;
    QLabel* rate_ = nullptr;
    QLabel* status_label_ = nullptr;
    QLabel* result_label_ = nullptr;
    QPushButton* details_ = nullptr;
    QLabel* log_label_ = nullptr;
};

// The name of a phase as the station view shows it.
QString PhaseText(Phase phase);

}  // namespace velmora::app
