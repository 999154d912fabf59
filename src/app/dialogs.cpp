#include "app/dialogs.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

#include "app/app_icon.h"
#include "app/dialog_host.h"
#include "app/status_text.h"
#include "frontend/area_input.h"
#include "job/download_job.h"
#include "velmora_version.h"

namespace velmora::app {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("关于 Velmora"));
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(tr("Velmora(中文版) 7.03"), this));
    texts->addWidget(new QLabel(QStringLiteral("NXP pnx5220 platform NAND FLASH Downlaod."), this));
    // The program's own version, on a line of its own below the texts phones'
    // tools have always shown.
    auto* version = new QLabel(tr("程序版本：%1").arg(QString::fromLatin1(kVersion)), this);
    version->setObjectName(QStringLiteral("versionText"));
    texts->addWidget(version);
    texts->addSpacing(6);
    texts->addWidget(new QLabel(tr("支持 FLASH:"), this));
    texts->addWidget(new QLabel(QStringLiteral("SAMSUNG: K9F1G08R0A, K9F2G08R0A"), this));
    texts->addWidget(
        new QLabel(QStringLiteral("ST(Large Page): NAND01GR3B2B, NAND02GR3B2B"), this));
    texts->addWidget(new QLabel(QStringLiteral("ST(Small Page): NAND256R3A, NAND512R3A"), this));

    auto* close = new QPushButton(tr("关闭"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(texts, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(close);
    buttons->addStretch();
    row->addLayout(buttons);
    setLayout(row);
}

WarningDialog::WarningDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("警告！"));
    auto* note = new QLabel(
        tr("注意：\n选择该项，将擦除手机内部的所有数据，包括射频校准参数、IMEI号码等！\n"), this);
    note->setWordWrap(true);
    auto* question = new QLabel(tr("确认要擦除?"), this);
    question->setAlignment(Qt::AlignCenter);

    auto* yes = new QPushButton(tr("是"), this);
    auto* no = new QPushButton(tr("否"), this);
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addStretch();
    auto* column = new QVBoxLayout(this);
    column->addWidget(note);
    column->addWidget(question);
    column->addLayout(buttons);
    setMinimumWidth(300);
}

RangeDialog::RangeDialog(DialogHost& host, uint32_t start, uint32_t end, QWidget* parent)
    : QDialog(parent), host_(host), start_(start), end_(end) {
    auto* group = new QGroupBox(tr("输入地址或块"), this);
    address_ = new QRadioButton(tr("地址"), group);
    auto* block = new QRadioButton(tr("块"), group);
    block->setEnabled(false);  // only byte addresses are entered
    address_->setChecked(true);
    auto* kinds = new QHBoxLayout(group);
    kinds->addWidget(address_);
    kinds->addWidget(block);
    kinds->addStretch();

    start_edit_ = new QLineEdit(this);
    end_edit_ = new QLineEdit(this);
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(tr("开始：  0X"), this), 0, 0);
    fields->addWidget(start_edit_, 0, 1);
    fields->addWidget(new QLabel(tr("结束：  0X"), this), 1, 0);
    fields->addWidget(end_edit_, 1, 1);

    auto* ok = new QPushButton(tr("确定"), this);
    auto* cancel = new QPushButton(tr("取消"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &RangeDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(group);
    left->addLayout(fields);
    auto* row = new QHBoxLayout(this);
    row->addLayout(left, 1);
    row->addLayout(buttons);
    setMinimumWidth(340);
}

void RangeDialog::accept() {
    uint32_t start = 0;
    uint32_t end = 0;
    // Read as the command line reads --start and --end: a text that is not an
    // address is refused, never taken as 0 (block 0).
    const AreaProblem problem =
        ReadArea(start_edit_->text().toStdString(), end_edit_->text().toStdString(), start, end);
    if (problem.kind == AreaProblem::Kind::kEndBelowStart) {
        host_.Message(this, MessageIcon::Error, tr("错误"),
                      tr("输入参数错误，结束地址小于开始地址！"));
        return;
    }
    if (problem.kind != AreaProblem::Kind::kNone) {
        host_.Message(this, MessageIcon::Error, tr("错误"), DisplayStatus(problem.text));
        return;
    }
    start_ = start;
    end_ = end;
    QDialog::accept();
}

QString AreaQuestionText(const AreaQuestion& area) {
    QString blocks;
    if (area.boot) {
        blocks = AreaEraseQuestion::tr("块 0（启动块：擦除后手机在重新升级前无法启动）");
    }
    if (area.eerom_first >= 0) {
        const QString eerom =
            AreaEraseQuestion::tr("块 %1 到 %2（EEROM 和备用区：射频校准参数、IMEI号码等）")
                .arg(area.eerom_first)
                .arg(area.eerom_last);
        blocks = blocks.isEmpty() ? eerom : AreaEraseQuestion::tr("%1 和 %2").arg(blocks, eerom);
    }
    const auto hex = [](uint32_t value) {
        return QStringLiteral("0x") + QString::number(value, 16).rightJustified(8, u'0').toUpper();
    };
    return AreaEraseQuestion::tr("注意：\n指定区域 %1 到 %2 占块 %3 到 %4，其中包括%5。\n")
        .arg(hex(area.start), hex(area.end))
        .arg(area.first)
        .arg(area.last)
        .arg(blocks);
}

AreaEraseQuestion::AreaEraseQuestion(const AreaQuestion& area, QWidget* parent)
    : QMessageBox(parent) {
    setIcon(QMessageBox::Warning);
    setWindowTitle(tr("警告！"));
    setText(AreaQuestionText(area));
    setInformativeText(tr("确认要擦除?"));
    yes_ = addButton(tr("是"), QMessageBox::DestructiveRole);
    QPushButton* no = addButton(tr("否"), QMessageBox::RejectRole);
    setDefaultButton(no);
    setEscapeButton(no);
}

StopQuestion::StopQuestion(QWidget* parent) : QMessageBox(parent) {
    setIcon(QMessageBox::Warning);
    setWindowTitle(QString::fromLatin1(kProgramName));
    setText(tr("作业正在写入手机。要停止正在运行的作业吗？"));
    setInformativeText(tr("停止后，手机中的数据可能不完整。正在写入的启动块会先写完。"));
    stop_ = addButton(tr("停止作业"), QMessageBox::DestructiveRole);
    QPushButton* keep = addButton(tr("继续运行"), QMessageBox::RejectRole);
    setDefaultButton(keep);
    setEscapeButton(keep);
}

ReplaceQuestion::ReplaceQuestion(const QString& folder, const QString& names, QWidget* parent)
    : QMessageBox(parent) {
    setIcon(QMessageBox::Warning);
    setWindowTitle(QString::fromLatin1(kProgramName));
    setText(tr("文件夹 %1 中已有上次读取的文件：%2。要替换它们吗？").arg(folder, names));
    replace_ = addButton(tr("替换"), QMessageBox::DestructiveRole);
    QPushButton* keep = addButton(tr("取消"), QMessageBox::RejectRole);
    setDefaultButton(keep);
    setEscapeButton(keep);
}

PortSearchDialog::PortSearchDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    auto* note = new QLabel(tr("搜索计算机可用的串口，请等待:"), frame);
    note->setAlignment(Qt::AlignCenter);
    counter_ = new QLabel(frame);
    counter_->setAlignment(Qt::AlignCenter);
    auto* inner = new QVBoxLayout(frame);
    inner->addWidget(note);
    inner->addWidget(counter_);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);
    setMinimumSize(310, 90);

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &PortSearchDialog::Tick);
}

QString PortSearchDialog::counterText() const {
    return counter_->text();
}

void PortSearchDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A pause before counting, then one step each 10 ms: the notice stays
    // readable for a moment without ever blocking the event loop.
    count_ = 0;
    timer_->start(20);
}

void PortSearchDialog::Tick() {
    if (count_ == 0) {
        timer_->setInterval(10);
    }
    if (count_ >= 16) {
        timer_->stop();
        accept();
        return;
    }
    ++count_;
    counter_->setText(QString::number(count_));
}

HealthDialog::HealthDialog(DialogHost& host, const QString& text, const QString& json,
                           QWidget* parent)
    : QDialog(parent), host_(host), json_(json) {
    setWindowTitle(tr("NAND 健康"));
    view_ = new QPlainTextEdit(text, this);
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    save_ = new QPushButton(tr("保存为 JSON..."), this);
    auto* close = new QPushButton(tr("关闭"), this);
    save_->setAutoDefault(false);
    close->setDefault(true);
    connect(save_, &QPushButton::clicked, this, [this] { Save(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(view_, 1);
    column->addLayout(buttons);
    resize(560, 420);
}

bool HealthDialog::Save() {
    QString path = QDir::home().filePath(
        QStringLiteral("nand-health-%1.json")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    if (!host_.ChooseSaveFile(this, tr("保存 NAND 健康报告"), path)) {
        return false;
    }
    // Written whole or not at all: a report cut short would not parse.
    QSaveFile file(path);
    const QByteArray bytes = json_.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        host_.Message(this, MessageIcon::Error, tr("错误"),
                      tr("无法保存 %1：%2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

}  // namespace velmora::app
