#include "app/ptt_viewer.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_host.h"
#include "app/status_text.h"
#include "config/partition_table.h"

namespace velmora::app {

PartitionTableViewer::PartitionTableViewer(DialogHost& host, PartitionTable& table,
                                           const QString& path, QWidget* parent)
    : QDialog(parent), host_(host), table_(table), path_(path) {
    setWindowTitle(QStringLiteral("Partition Table File"));
    path_label_ = new QLabel(this);
    path_label_->setWordWrap(false);
    path_label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    path_label_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    path_label_->setMinimumWidth(300);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setAutoDefault(false);
    browse->setFixedWidth(32);
    summary_ = new QPlainTextEdit(this);
    summary_->setReadOnly(true);
    summary_->setLineWrapMode(QPlainTextEdit::NoWrap);
    summary_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    cancel->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &PartitionTableViewer::Browse);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* path_row = new QHBoxLayout;
    path_row->addWidget(new QLabel(QStringLiteral("PTT FILE:"), this));
    path_row->addWidget(path_label_, 1);
    path_row->addWidget(browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* column = new QVBoxLayout(this);
    column->addLayout(path_row);
    column->addWidget(summary_, 1);
    column->addLayout(buttons);
    resize(460, 520);

    path_label_->setText(path_);
    if (!path_.isEmpty() && Load()) {
        summary_->setPlainText(QString::fromStdString(BuildSummary(table_)).remove(u'\r'));
    }
}

QString PartitionTableViewer::summary() const {
    return summary_->toPlainText();
}

bool PartitionTableViewer::Load() {
    const int rc = table_.Load(path_.toStdString());
    const LoaderMessage& message = table_.message();
    if (!message.empty()) {
        host_.Message(this, MessageIcon::Error, DisplayStatus(message.title),
                      DisplayStatus(message.text));
    }
    return rc == 0;
}

void PartitionTableViewer::Choose(const QString& path) {
    path_ = path;
    path_label_->setText(path_);
    // After a failed load the new path stands above the previous summary.
    if (Load()) {
        summary_->setPlainText(QString::fromStdString(BuildSummary(table_)).remove(u'\r'));
    }
}

void PartitionTableViewer::Browse() {
    const QString chosen = QFileDialog::getOpenFileName(
        this, {}, {}, QStringLiteral("Partition Table Files (*.ptt);;All Files (*)"));
    if (!chosen.isEmpty()) {
        Choose(chosen);
    }
}

}  // namespace velmora::app
