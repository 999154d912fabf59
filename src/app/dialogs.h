#pragma once
// The small modal dialogs of the window: About, the EEROM erase warning, the
// specified-area entry, the port search notice and the NAND health report.
#include <QDialog>
#include <QString>
#include <cstdint>

#include <QMessageBox>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QTimer;

namespace velmora {
struct AreaQuestion;
}

namespace velmora::app {

class DialogHost;

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

class WarningDialog : public QDialog {
    Q_OBJECT
  public:
    explicit WarningDialog(QWidget* parent = nullptr);
};

class RangeDialog : public QDialog {
    Q_OBJECT
  public:
    // `host` shows the refusal of a text that is not an address, or of an end
    // below the start; the dialog then stays open.
    RangeDialog(DialogHost& host, uint32_t start, uint32_t end, QWidget* parent = nullptr);

    uint32_t start() const { return start_; }
    uint32_t end() const { return end_; }
    QLineEdit* startEdit() const { return start_edit_; }
    QLineEdit* endEdit() const { return end_edit_; }

  public slots:
    void accept() override;

  private:
    DialogHost& host_;
    uint32_t start_;
    uint32_t end_;
    QLineEdit* start_edit_;
    QLineEdit* end_edit_;
    QRadioButton* address_;
};

// The question before closing the window stops a running write. Esc and the
// default button keep the job running.
class StopQuestion : public QMessageBox {
    Q_OBJECT
  public:
    explicit StopQuestion(QWidget* parent = nullptr);
    bool stopChosen() const { return clickedButton() == stop_; }

  private:
    QAbstractButton* stop_;
};

// The question before a read replaces the files an earlier read left in a
// folder. Esc and the default button keep them.
class ReplaceQuestion : public QMessageBox {
    Q_OBJECT
  public:
    ReplaceQuestion(const QString& folder, const QString& names, QWidget* parent = nullptr);
    bool replaceChosen() const { return clickedButton() == replace_; }

  private:
    QAbstractButton* replace_;
};

// The question before an erase of an area that reaches block 0 or the EEROM
// and reservoir, naming the blocks. Esc and the default button keep them.
class AreaEraseQuestion : public QMessageBox {
    Q_OBJECT
  public:
    AreaEraseQuestion(const AreaQuestion& area, QWidget* parent = nullptr);
    bool eraseChosen() const { return clickedButton() == yes_; }

  private:
    QAbstractButton* yes_;
};

// The question's text: the area, its blocks and what they hold.
QString AreaQuestionText(const AreaQuestion& area);

// Counts 1 to 16 and closes by itself.
class PortSearchDialog : public QDialog {
    Q_OBJECT
  public:
    explicit PortSearchDialog(QWidget* parent = nullptr);
    QString counterText() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Tick();

    QLabel* counter_;
    QTimer* timer_;
    int count_ = 0;
};

// The NAND health report of the debug mode, read-only, with a button that
// saves the report as the job gave it (JSON).
class HealthDialog : public QDialog {
    Q_OBJECT
  public:
    // `host` asks for the file and shows a failed save.
    HealthDialog(DialogHost& host, const QString& text, const QString& json,
                 QWidget* parent = nullptr);

    QPlainTextEdit* reportView() const { return view_; }
    QPushButton* saveButton() const { return save_; }
    // Asks for a file and writes the JSON into it; true when it was written.
    bool Save();

  private:
    DialogHost& host_;
    QString json_;
    QPlainTextEdit* view_;
    QPushButton* save_;
};

}  // namespace velmora::app
