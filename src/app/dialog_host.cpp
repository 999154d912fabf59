#include "app/dialog_host.h"

#include <QFileDialog>
#include <QMessageBox>

#include "app/dialogs.h"
#include "app/failure_details.h"
#include "app/ptt_viewer.h"

namespace velmora::app {

void QtDialogHost::Message(QWidget* parent, MessageIcon icon, const QString& caption,
                           const QString& text) {
    QMessageBox::Icon shown = QMessageBox::NoIcon;
    switch (icon) {
        case MessageIcon::None:
            break;
        case MessageIcon::Error:
            shown = QMessageBox::Critical;
            break;
        case MessageIcon::Warning:
            shown = QMessageBox::Warning;
            break;
        case MessageIcon::Information:
            shown = QMessageBox::Information;
            break;
    }
    QMessageBox box(shown, caption.isEmpty() ? QString::fromLatin1(kProgramName) : caption, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogHost::ConfirmEeromErase(QWidget* parent) {
    WarningDialog dialog(parent);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogHost::ConfirmAreaErase(QWidget* parent, const AreaQuestion& area) {
    AreaEraseQuestion box(area, parent);
    box.exec();
    return box.eraseChosen();
}

bool QtDialogHost::ConfirmStopJob(QWidget* parent) {
    StopQuestion box(parent);
    box.exec();
    return box.stopChosen();
}

bool QtDialogHost::ConfirmReplaceFiles(QWidget* parent, const QString& folder,
                                       const QString& names) {
    ReplaceQuestion box(folder, names, parent);
    box.exec();
    return box.replaceChosen();
}

bool QtDialogHost::EnterRange(QWidget* parent, uint32_t& start, uint32_t& end) {
    RangeDialog dialog(*this, start, end, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    start = dialog.start();
    end = dialog.end();
    return true;
}

bool QtDialogHost::ViewPartitionTable(QWidget* parent, PartitionTable& table, QString& path) {
    PartitionTableViewer viewer(*this, table, path, parent);
    if (viewer.exec() != QDialog::Accepted) {
        return false;
    }
    path = viewer.path();
    return true;
}

void QtDialogHost::ShowAbout(QWidget* parent) {
    AboutDialog dialog(parent);
    dialog.exec();
}

void QtDialogHost::ShowPortSearch(QWidget* parent) {
    PortSearchDialog dialog(parent);
    dialog.exec();
}

bool QtDialogHost::ChooseFolder(QWidget* parent, const QString& caption, QString& folder) {
    const QString chosen = QFileDialog::getExistingDirectory(parent, caption, folder);
    if (chosen.isEmpty()) {
        return false;
    }
    folder = chosen;
    return true;
}

bool QtDialogHost::ChooseSaveFile(QWidget* parent, const QString& caption, QString& path) {
    const QString chosen =
        QFileDialog::getSaveFileName(parent, caption, path, QStringLiteral("JSON (*.json)"));
    if (chosen.isEmpty()) {
        return false;
    }
    path = chosen;
    return true;
}

void QtDialogHost::ShowHealthReport(QWidget* parent, const QString& text, const QString& json) {
    HealthDialog dialog(*this, text, json, parent);
    dialog.exec();
}

void QtDialogHost::ShowFailure(QWidget* parent, const FailureReport& report) {
    FailureDialog dialog(report, parent);
    dialog.exec();
}

}  // namespace velmora::app
