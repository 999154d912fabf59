#pragma once
// The partition table viewer: the chosen .ptt file and a summary of its table.
#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;

namespace velmora {
class PartitionTable;
}

namespace velmora::app {

class DialogHost;

class PartitionTableViewer : public QDialog {
    Q_OBJECT
  public:
    // Loads `path` into `table` (the program's own) when it is not empty.
    PartitionTableViewer(DialogHost& host, PartitionTable& table, const QString& path,
                         QWidget* parent = nullptr);

    QString path() const { return path_; }
    QString summary() const;
    // Loads another file, as the browse button does after its file chooser.
    void Choose(const QString& path);

  private:
    void Browse();
    // Loads path_ and shows the loader's own message, if any. True on success.
    bool Load();

    DialogHost& host_;
    PartitionTable& table_;
    QString path_;
    QLabel* path_label_;
    QPlainTextEdit* summary_;
};

}  // namespace velmora::app
