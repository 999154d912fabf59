#pragma once
// The station view (velmora --station): one code upgrade on a phone at each of
// many ports at once, a cell per slot with its bar, phase, rate and last result,
// the pass and fail counters, and the settings locked while the station runs.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/language.h"
#include "base/job_timings.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace velmora {
class PartitionTable;
class Station;
}  // namespace velmora

namespace velmora::app {

class DialogHost;
class SlotEvents;
class StationCell;

class StationWindow : public QDialog {
    Q_OBJECT
  public:
    struct Options {
        std::string home;  // the program's folder, ending in '/'
        // Lists the serial ports; the system's when empty.
        std::function<std::vector<std::string>()> probe_ports;
    };

    StationWindow(DialogHost& dialogs, Options options, QWidget* parent = nullptr);
    ~StationWindow() override;

    // Reads the catalogue, lists the ports and takes the partition table, baud
    // rate, link and language the single window last kept. False when the
    // catalogue cannot be read: the message has been shown.
    bool Initialise();

    // Start: a slot for each ticked port, every one running the same upgrade.
    // A refused request shows why and starts nothing.
    void StartStation();
    // Stops every slot through the job engine's Stop; returns at once.
    void StopStation();
    // Stops a running station and waits for every slot's end while the window
    // stays alive.
    void StopAndWait();
    bool running() const { return running_; }

    // Adds a port text (a serial port, a USB bus path or link text, `sim:…`) to
    // the list, ticked.
    void AddPort(const QString& text);
    // The ticked ports, in list order.
    QStringList checkedPorts() const;

    void SetLanguage(Language language);
    Language language() const { return language_; }
    // Closes as the close box does, but stops a running station without asking.
    void CloseWithoutAsking();

    // Time-outs of the jobs to come (tests shorten them).
    JobTimings timings;
    // The station log's file (<home>/station-log.sqlite unless changed); empty: none.
    std::string log_path;

    int passedCount() const { return passed_count_; }
    int failedCount() const { return failed_count_; }
    const std::vector<StationCell*>& cells() const { return cells_; }

  public slots:
    // Exit button, close box and Esc: asks while slots run, stops every slot,
    // waits for their ends and closes.
    void done(int result) override;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void BuildControls();
    void RetranslateTexts();
    void FillPortList();
    void OnChooseFile();
    void MakeCells(const QStringList& ports);
    void ShowCounters();
    void SetSettingsEnabled(bool enabled);
    void Finished();
    void ShowLogNotes();
    void SaveLanguage();
    QString TitleText() const;

    DialogHost& dialogs_;
    Options options_;
    Language language_ = Language::kChinese;
    bool initialised_ = false;
    bool running_ = false;
    bool closing_ = false;
    bool ask_before_stop_ = true;
    bool language_chosen_ = false;  // from the language menu
    int passed_count_ = 0;
    int failed_count_ = 0;
    std::unique_ptr<PartitionTable> table_;
    std::string catalogue_version_;

    QLabel* target_file_ = nullptr;
    QPushButton* choose_ = nullptr;
    QCheckBox* serial_ = nullptr;
    QListWidget* ports_ = nullptr;
    QLineEdit* port_entry_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QComboBox* bauds_ = nullptr;
    QCheckBox* loop_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* exit_ = nullptr;
    QToolButton* language_button_ = nullptr;
    QActionGroup* language_actions_ = nullptr;
    QLabel* passed_ = nullptr;
    QLabel* failed_ = nullptr;
    QLabel* file_label_ = nullptr;
    QLabel* ports_label_ = nullptr;
    QLabel* baud_label_ = nullptr;
    QLabel* catalogue_date_ = nullptr;
    QLabel* log_note_ = nullptr;
    QStringList log_notes_;
    QWidget* grid_host_ = nullptr;
    QGridLayout* grid_ = nullptr;

    std::vector<StationCell*> cells_;  // children of grid_host_
    std::vector<std::unique_ptr<SlotEvents>> slot_events_;
    std::unique_ptr<Station> station_;
    std::thread watcher_;  // waits for the station's end and tells the window
};

}  // namespace velmora::app
