#pragma once
// Answers the window's boxes in place of an operator and records what was shown.
#include <QLineEdit>
#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/dialog_host.h"
#include "app/dialogs.h"
#include "app/failure_details.h"
#include "job/download_job.h"

namespace velmora::app {

// The system's language as LC_ALL names it, for a window whose settings keep
// none; unset again at the end.
struct SystemLanguage {
    explicit SystemLanguage(const char* locale) { qputenv("LC_ALL", locale); }
    ~SystemLanguage() { qunsetenv("LC_ALL"); }
};

struct FakeDialogs : DialogHost {
    struct Shown {
        MessageIcon icon;
        QString caption;
        QString text;
    };
    std::vector<Shown> messages;
    std::deque<bool> eerom_answers;  // answered in turn; "否" once they run out
    int eerom_asked = 0;
    std::vector<AreaQuestion> area_asked;
    bool area_answer = false;
    // Typed into a real range dialog in place of range_answer; OK is pressed,
    // then Cancel when the dialog refused the texts.
    std::optional<std::pair<QString, QString>> range_typed;
    std::deque<bool> stop_answers;  // answered in turn; "stop" once they run out
    int stop_asked = 0;
    std::vector<QString> replace_asked;  // the names each question listed
    bool replace_answer = false;
    std::optional<std::pair<uint32_t, uint32_t>> range_answer;  // none: Cancel
    std::optional<QString> chosen_ptt;                          // none: Cancel
    int port_search_shown = 0;
    std::optional<QString> chosen_folder;  // none: Cancel
    int folder_asked = 0;
    std::optional<QString> chosen_save_file;  // none: Cancel
    struct Report {
        QString text;
        QString json;
    };
    std::vector<Report> reports;                          // health reports shown
    std::vector<FailureReport> failures;                  // failure details shown
    std::function<void(const QString& text)> on_message;  // called as each box is shown

    void Message(QWidget*, MessageIcon icon, const QString& caption, const QString& text) override {
        messages.push_back({icon, caption, text});
        if (on_message) {
            on_message(text);
        }
    }
    bool ConfirmEeromErase(QWidget*) override {
        ++eerom_asked;
        if (eerom_answers.empty()) {
            return false;
        }
        const bool yes = eerom_answers.front();
        eerom_answers.pop_front();
        return yes;
    }
    bool ConfirmAreaErase(QWidget*, const AreaQuestion& area) override {
        area_asked.push_back(area);
        return area_answer;
    }
    bool ConfirmReplaceFiles(QWidget*, const QString&, const QString& names) override {
        replace_asked.push_back(names);
        return replace_answer;
    }
    bool ConfirmStopJob(QWidget*) override {
        ++stop_asked;
        if (stop_answers.empty()) {
            return true;
        }
        const bool stop = stop_answers.front();
        stop_answers.pop_front();
        return stop;
    }
    bool EnterRange(QWidget*, uint32_t& start, uint32_t& end) override {
        if (range_typed) {
            RangeDialog dialog(*this, start, end);
            dialog.startEdit()->setText(range_typed->first);
            dialog.endEdit()->setText(range_typed->second);
            dialog.accept();
            start = dialog.start();
            end = dialog.end();
            return dialog.result() == QDialog::Accepted;
        }
        if (!range_answer) {
            return false;
        }
        start = range_answer->first;
        end = range_answer->second;
        return true;
    }
    bool ViewPartitionTable(QWidget*, PartitionTable&, QString& path) override {
        if (!chosen_ptt) {
            return false;
        }
        path = *chosen_ptt;
        return true;
    }
    void ShowAbout(QWidget*) override {}
    void ShowPortSearch(QWidget*) override { ++port_search_shown; }
    bool ChooseFolder(QWidget*, const QString&, QString& folder) override {
        ++folder_asked;
        if (!chosen_folder) {
            return false;
        }
        folder = *chosen_folder;
        return true;
    }
    bool ChooseSaveFile(QWidget*, const QString&, QString& path) override {
        if (!chosen_save_file) {
            return false;
        }
        path = *chosen_save_file;
        return true;
    }
    void ShowHealthReport(QWidget*, const QString& text, const QString& json) override {
        reports.push_back({text, json});
    }
    void ShowFailure(QWidget*, const FailureReport& report) override { failures.push_back(report); }

    QString lastText() const { return messages.empty() ? QString() : messages.back().text; }
};

}  // namespace velmora::app
