#include "app/station_cell.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/progress_bar.h"
#include "app/status_text.h"

namespace velmora::app {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("StationCell", text);
}

}  // namespace

QString PhaseText(Phase phase) {
    switch (phase) {
        case Phase::kConnect:
            return Tr("连接");
        case Phase::kErase:
            return Tr("擦除");
        case Phase::kWrite:
            return Tr("写入");
        case Phase::kBootBlock:
            return Tr("启动块");
        case Phase::kRead:
            return Tr("读取");
        case Phase::kEraseRange:
            return Tr("擦除范围");
        case Phase::kBackup:
            return Tr("备份");
        case Phase::kVerify:
            return Tr("校验");
    }
    return {};
}

StationCell::StationCell(const QString& port, QWidget* parent) : QFrame(parent), port_(port) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    port_label_ = new QLabel(port, this);
    QFont bold = port_label_->font();
    bold.setBold(true);
    port_label_->setFont(bold);
    port_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar_ = new ProgressBar(this);
    bar_->SetRange(0, 100);
    bar_->SetPos(0);
    auto* bar_frame = new QFrame(this);
    bar_frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* bar_layout = new QVBoxLayout(bar_frame);
    bar_layout->setContentsMargins(1, 1, 1, 1);
    bar_layout->addWidget(bar_);
    phase_label_ = new QLabel(this);
    rate_ = new QLabel(this);
    rate_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    result_label_ = new QLabel(this);
    result_label_->setWordWrap(true);
    result_label_->setAutoFillBackground(true);
    result_label_->setMargin(2);
    log_label_ = new QLabel(this);
    log_label_->setWordWrap(true);
    log_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette red = log_label_->palette();
    red.setColor(QPalette::WindowText, QColor(200, 0, 0));
    log_label_->setPalette(red);
    log_label_->hide();

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setVerticalSpacing(3);
    layout->addWidget(port_label_, 0, 0, 1, 2);
    layout->addWidget(bar_frame, 1, 0, 1, 2);
    layout->addWidget(phase_label_, 2, 0);
    layout->addWidget(rate_, 2, 1);
    layout->addWidget(status_, 3, 0, 1, 2);
    layout->addWidget(result_label_, 4, 0, 1, 2);
    layout->addWidget(log_label_, 5, 0, 1, 2);
    layout->setRowStretch(6, 1);
    layout->setColumnStretch(0, 1);
    setMinimumWidth(200);
    ShowResult();
}

void StationCell::SetProgress(int percent) {
    bar_->SetPos(percent);
}

void StationCell::SetBarColour(uint32_t colour) {
    bar_->SetBarColour(colour);
}

void StationCell::SetPercentDisplay(bool on) {
    bar_->SetPercentDisplay(on);
}

void StationCell::SetBarText(const QString& text) {
    bar_->SetText(text);
}

void StationCell::SetStatus(const QString& text) {
    // A failure's text comes after its end; the result shows it already.
    if (ended_ && result_ == SlotResult::kFailed && text == last_error_) {
        return;
    }
    status_->setText(text);
}

void StationCell::SetPhase(Phase phase) {
    phase_ = phase;
    phase_label_->setText(PhaseText(phase));
}

void StationCell::SetRate(const QString& text) {
    rate_->setText(text);
}

void StationCell::BeginPhone() {
    ended_ = false;
    phase_.reset();
    phase_label_->clear();
    bar_->SetPos(0);
    rate_->clear();
    status_->clear();
}

void StationCell::EndPhone(const JobEnd& end) {
    if (end.result == 0) {
        result_ = SlotResult::kPassed;
    } else if (end.user_stopped) {
        result_ = SlotResult::kStopped;
    } else {
        result_ = SlotResult::kFailed;
    }
    last_code_ = end.result;
    last_error_ = DisplayStatus(end.error_text);
    rate_->clear();
    status_->clear();
    ended_ = true;
    ShowResult();
}

void StationCell::SlotStopped() {
    if (ended_) {
        return;
    }
    ended_ = true;
    result_ = SlotResult::kStopped;
    rate_->clear();
    ShowResult();
}

void StationCell::SetLogProblem(const QString& text) {
    log_problem_ = text;
    Retranslate();
}

void StationCell::ShowResult() {
    QPalette palette = result_label_->palette();
    switch (result_) {
        case SlotResult::kNone:
            result_label_->clear();
            result_label_->setAutoFillBackground(false);
            return;
        case SlotResult::kPassed:
            result_label_->setText(Tr("通过"));
            palette.setColor(QPalette::Window, QColor(11, 212, 11));
            break;
        case SlotResult::kFailed: {
            QString text = Tr("失败 (%1)").arg(last_code_);
            if (!last_error_.isEmpty()) {
                text += QStringLiteral(": ") + last_error_;
            }
            result_label_->setText(text);
            palette.setColor(QPalette::Window, QColor(255, 90, 90));
            break;
        }
        case SlotResult::kStopped:
            result_label_->setText(Tr("已停止"));
            palette.setColor(QPalette::Window, QColor(220, 220, 220));
            break;
    }
    palette.setColor(QPalette::WindowText, Qt::black);
    result_label_->setPalette(palette);
    result_label_->setAutoFillBackground(true);
}

void StationCell::Retranslate() {
    if (phase_) {
        phase_label_->setText(PhaseText(*phase_));
    }
    ShowResult();
    log_label_->setText(log_problem_.isEmpty() ? QString()
                                               : Tr("未写入站点日志：%1").arg(log_problem_));
    log_label_->setVisible(!log_problem_.isEmpty());
}

QString StationCell::logProblemText() const {
    return log_label_->text();
}

QString StationCell::phaseText() const {
    return phase_label_->text();
}

QString StationCell::percentText() const {
    return bar_->percentDisplay() ? bar_->paintedText() : QString();
}

QString StationCell::rateText() const {
    return rate_->text();
}

QString StationCell::statusText() const {
    return status_->text();
}

QString StationCell::resultText() const {
    return result_label_->text();
}

}  // namespace velmora::app
