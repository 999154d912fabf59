#pragma once
// A failed job told in full: the result with the step it came from, what it
// means, the job's own words, what to do next, and the last lines the window
// saw of it. The main window's Details button and a station cell's both open it.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "base/events.h"

namespace velmora::app {

// The last lines of a job, kept for its failure's details.
class RecentLines {
  public:
    static constexpr size_t kKept = 20;

    void Clear() { lines_.clear(); }
    // A piece of text, split at its line breaks; blank lines are left out.
    void Add(std::string_view text);
    const std::deque<std::string>& lines() const { return lines_; }

  private:
    std::deque<std::string> lines_;
};

// A failed job as the window keeps it: in the library's words, so that what is
// shown of it follows a change of language.
struct Failure {
    JobEnd end;
    std::deque<std::string> last_lines;
    bool from_log = false;  // dl_log.txt's lines (debug mode), else the statuses shown
};

// "100 · partition write": the code and its step's name, in the interface language.
QString ResultHeadline(const JobEnd& end);
// The meaning up to its first clause, for a station cell's small room.
QString ShortMeaning(const JobEnd& end);

// The failure in the interface language, as the details show it.
struct FailureReport {
    QString headline;
    QString result;  // the code and its constant's name
    QString step;
    QString meaning;
    QString reason;  // the job's error text
    QString next_step;
    bool from_log = false;
    QStringList last_lines;
};
FailureReport ReportOf(const Failure& failure);

class FailureDialog : public QDialog {
    Q_OBJECT
  public:
    explicit FailureDialog(const FailureReport& report, QWidget* parent = nullptr);
};

}  // namespace velmora::app
