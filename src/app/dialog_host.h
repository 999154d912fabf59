#pragma once
// Every modal box the window opens goes through this interface, so that tests
// can answer them instead of an operator.
#include <QString>
#include <cstdint>

class QWidget;

namespace velmora {
class PartitionTable;
struct AreaQuestion;
}  // namespace velmora

namespace velmora::app {

struct FailureReport;

enum class MessageIcon { None, Error, Warning, Information };

class DialogHost {
  public:
    virtual ~DialogHost() = default;
    // A modal box with an OK button. An empty caption means the program's name.
    virtual void Message(QWidget* parent, MessageIcon icon, const QString& caption,
                         const QString& text) = 0;
    // The EEROM erase warning: true when the operator answers "是".
    virtual bool ConfirmEeromErase(QWidget* parent) = 0;
    // Asked before an area erase that reaches block 0 or the EEROM and
    // reservoir: true when the operator answers "是".
    virtual bool ConfirmAreaErase(QWidget* parent, const AreaQuestion& area) = 0;
    // Asked when the window is closed while a job writes to the phone: true
    // when the operator chooses to stop it.
    virtual bool ConfirmStopJob(QWidget* parent) = 0;
    // Asked before a read replaces the files an earlier read left in `folder`:
    // true when the operator chooses to replace them.
    virtual bool ConfirmReplaceFiles(QWidget* parent, const QString& folder,
                                     const QString& names) = 0;
    // The specified-area entry: true on OK with start and end replaced.
    virtual bool EnterRange(QWidget* parent, uint32_t& start, uint32_t& end) = 0;
    // The partition table viewer over the program's table, opened with `path`:
    // true on OK with `path` replaced by the chosen file.
    virtual bool ViewPartitionTable(QWidget* parent, PartitionTable& table, QString& path) = 0;
    virtual void ShowAbout(QWidget* parent) = 0;
    virtual void ShowPortSearch(QWidget* parent) = 0;
    // A folder chooser opened at `folder`: true with `folder` replaced.
    virtual bool ChooseFolder(QWidget* parent, const QString& caption, QString& folder) = 0;
    // A file chooser for saving, proposing `path`: true with `path` replaced.
    virtual bool ChooseSaveFile(QWidget* parent, const QString& caption, QString& path) = 0;
    // The NAND health report: `text` for the operator, `json` as the job gave it.
    virtual void ShowHealthReport(QWidget* parent, const QString& text, const QString& json) = 0;
    // A failed job's details: its result and step, meaning, reason, next step
    // and last lines.
    virtual void ShowFailure(QWidget* parent, const FailureReport& report) = 0;
};

// The real thing: the window's own dialogs and QMessageBox.
class QtDialogHost : public DialogHost {
  public:
    void Message(QWidget* parent, MessageIcon icon, const QString& caption,
                 const QString& text) override;
    bool ConfirmEeromErase(QWidget* parent) override;
    bool ConfirmAreaErase(QWidget* parent, const AreaQuestion& area) override;
    bool ConfirmStopJob(QWidget* parent) override;
    bool ConfirmReplaceFiles(QWidget* parent, const QString& folder, const QString& names) override;
    bool EnterRange(QWidget* parent, uint32_t& start, uint32_t& end) override;
    bool ViewPartitionTable(QWidget* parent, PartitionTable& table, QString& path) override;
    void ShowAbout(QWidget* parent) override;
    void ShowPortSearch(QWidget* parent) override;
    bool ChooseFolder(QWidget* parent, const QString& caption, QString& folder) override;
    bool ChooseSaveFile(QWidget* parent, const QString& caption, QString& path) override;
    void ShowHealthReport(QWidget* parent, const QString& text, const QString& json) override;
    void ShowFailure(QWidget* parent, const FailureReport& report) override;
};

// Caption of the boxes that have none of their own.
inline const char* const kProgramName = "Velmora";

}  // namespace velmora::app
