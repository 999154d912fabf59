#pragma once
// The main window: every choice of a job (link, port, baud rate, work mode,
// range, partition table) and every display of a running one.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/language.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace velmora {
class PartitionTable;
}

namespace velmora::app {

class BlockMapModel;
class BlockMapView;
class DialogHost;
class WindowJobs;
class ProgressBar;

inline const QString kWindowTitle = QStringLiteral("Velmora(中文版)7.03");
// The English title: the program's name and version.
QString EnglishTitle();

class MainWindow : public QDialog {
    Q_OBJECT
  public:
    struct Options {
        std::string home;  // the program's folder, ending in '/'
        // Lists the serial ports; the system's when empty.
        std::function<std::vector<std::string>()> probe_ports;
    };

    MainWindow(DialogHost& dialogs, Options options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Reads the catalogue, searches the ports, fills the lists and restores the
    // settings. False when the catalogue cannot be read: the message has been
    // shown and the program should end without saving anything.
    bool Initialise();

    // The operator's actions, as the controls trigger them.
    void StartJob();
    void StopJob();
    void OnWorkModeChange();
    void OnRangeChange();
    void OnChooseFile();
    // The folder under which each backup gets a folder of its own; false when
    // the operator cancelled.
    bool OnChooseBackupFolder();
    // Debug mode only: a job that reports the chip's health, shown in a dialog.
    void StartHealth();
    void SetDebugMode(bool on);

    void LoadSettings();
    void SaveSettings();

    // The interface language, chosen in the language menu or by the settings:
    // the texts change at once.
    void SetLanguage(Language language);
    Language language() const { return language_; }

    // Closes as the close box does, but stops a running job without asking
    // (SIGTERM, SIGINT: nobody is there to answer).
    void CloseWithoutAsking();

    bool debugMode() const { return debug_; }
    bool jobRunning() const;
    uint32_t rangeStart() const { return range_start_; }
    uint32_t rangeEnd() const { return range_end_; }
    QString settingsPath() const;
    const std::string& home() const { return options_.home; }

    // The chosen backup folder; empty when none was chosen.
    QString backupFolder() const { return backup_dir_; }
    void setBackupFolder(const QString& folder);
    DialogHost& dialogs() const { return dialogs_; }
    // The program's partition table: the viewer loads it, Start reloads it.
    PartitionTable& table() { return *table_; }

    // The partition table path the settings keep while the field shows another.
    QString rememberedPtt() const { return remembered_ptt_; }
    void setRememberedPtt(const QString& path) { remembered_ptt_ = path; }

    WindowJobs& jobs() { return *jobs_; }
    // Called on the window's thread when a job has ended: the controls come back.
    void FinishJob();
    // Start and the selection controls on, Stop off (or the other way round).
    void SetJobControlsEnabled(bool enabled);
    // The last job's failure beside the status (its code and step, and the
    // Details button), or nothing when it has none.
    void ShowLastFailure();
    // The Details button: the last failure's details in a box.
    void ShowFailureDetails();

  public slots:
    // Exit button, close box and Esc: stops a running job, waits for it to
    // end, saves the settings and closes.
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // The window's own parts reach the controls through these; tests find them by
    // object name.
    friend class WindowJobs;
    friend class WindowSettings;
    QLabel* targetFile() const { return target_file_; }
    QPushButton* chooseButton() const { return choose_; }
    QCheckBox* serialCheck() const { return serial_; }
    QComboBox* portList() const { return ports_; }
    QComboBox* baudList() const { return bauds_; }
    QComboBox* workModeList() const { return work_modes_; }
    QLabel* rangeLabel() const { return range_label_; }
    QComboBox* rangeList() const { return ranges_; }
    QLabel* rangeStartLabel() const { return start_label_; }
    QLabel* rangeStartText() const { return start_text_; }
    QLabel* rangeEndLabel() const { return end_label_; }
    QLabel* rangeEndText() const { return end_text_; }
    QLabel* elapsedText() const { return elapsed_; }
    QLabel* chipInfo() const { return chip_info_; }
    QLabel* statusText() const { return status_; }
    QLabel* resultText() const { return result_; }
    QLabel* catalogueDate() const { return catalogue_date_; }
    QLabel* deviceText() const { return device_; }
    QLabel* rateText() const { return rate_; }
    QToolButton* languageButton() const { return language_button_; }
    ProgressBar* progressBar() const { return progress_; }
    BlockMapModel* blockMap() const { return block_model_; }
    BlockMapView* blockMapView() const { return block_view_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* exitButton() const { return exit_; }
    QCheckBox* backupCheck() const { return backup_; }
    QPushButton* backupFolderButton() const { return backup_choose_; }
    QLabel* backupFolderText() const { return backup_folder_; }
    QCheckBox* verifyCheck() const { return verify_; }
    QCheckBox* eeromTwiceCheck() const { return eerom_twice_; }
    QPushButton* healthButton() const { return health_; }

    void BuildControls();
    // Every text of the window's own in the interface language.
    void RetranslateTexts();
    QStringList WorkModeItems() const;
    QStringList RangeItems(int work_mode) const;
    QString RangeLabelText(int work_mode) const;
    QString TitleText() const;
    void FillPortList();
    void ShowError(const QString& caption, const QString& text);
    // The backup box applies to an upgrade and an erase, the EEROM-twice box to
    // a backup, the verify box to an upgrade; all are locked while a job runs.
    void UpdateSafetyControls(bool idle);

    DialogHost& dialogs_;
    Options options_;
    bool debug_ = false;
    bool closing_ = false;
    bool ask_before_stop_ = true;
    Language language_ = Language::kChinese;
    uint32_t range_start_ = 0;
    uint32_t range_end_ = 0;
    bool initialised_ = false;
    std::unique_ptr<PartitionTable> table_;
    QString remembered_ptt_;
    QString backup_dir_;
    std::string catalogue_version_;  // as the catalogue gives it
    std::unique_ptr<WindowJobs> jobs_;

    QLabel* target_file_ = nullptr;
    QPushButton* choose_ = nullptr;
    QCheckBox* serial_ = nullptr;
    QComboBox* ports_ = nullptr;
    QComboBox* bauds_ = nullptr;
    QComboBox* work_modes_ = nullptr;
    QLabel* range_label_ = nullptr;
    QComboBox* ranges_ = nullptr;
    QLabel* start_label_ = nullptr;
    QLabel* start_text_ = nullptr;
    QLabel* end_label_ = nullptr;
    QLabel* end_text_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* chip_info_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* result_ = nullptr;        // a failure's code and step
    QPushButton* details_ = nullptr;  // a failure's details
    QLabel* catalogue_date_ = nullptr;
    ProgressBar* progress_ = nullptr;
    BlockMapModel* block_model_ = nullptr;
    BlockMapView* block_view_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* exit_ = nullptr;
    QCheckBox* backup_ = nullptr;
    QLabel* backup_folder_ = nullptr;
    QPushButton* backup_choose_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QCheckBox* eerom_twice_ = nullptr;
    QPushButton* health_ = nullptr;
    QLabel* device_ = nullptr;
    QLabel* rate_ = nullptr;
    QToolButton* language_button_ = nullptr;
    QActionGroup* language_actions_ = nullptr;
    QAction* about_ = nullptr;
    // Labels that only carry a fixed text.
    QLabel* file_label_ = nullptr;
    QLabel* baud_label_ = nullptr;
    QLabel* mode_label_ = nullptr;
    QLabel* elapsed_label_ = nullptr;
    QLabel* progress_label_ = nullptr;
    QLabel* chip_label_ = nullptr;
    QLabel* status_label_ = nullptr;
    QLabel* device_label_ = nullptr;
    QLabel* rate_label_ = nullptr;
};

}  // namespace velmora::app
