#include "app/station_cell.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/progress_bar.h"
#include "app/status_text.h"

namespace velmora::app {

QString PhaseText(Phase phase) {
    switch (phase) {
        case Phase::kConnect:
            return StationCell::tr("连接");
        case Phase::kErase:
            return StationCell::tr("擦除");
        case Phase::kWrite:
            return StationCell::tr("写入");
        case Phase::kBootBlock:
            return StationCell::tr("启动块");
        case Phase::kRead:
            return StationCell::tr("读取");
        case Phase::kEraseRange:
            return StationCell::tr("擦除范围");
        case Phase::kBackup:
            return StationCell::tr("备份");
        case Phase::kVerify:
            return StationCell::tr("校验");
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
    status_label_ = new QLabel(this);
    status_label_->setWordWrap(true);
    result_label_ = new QLabel(this);
    result_label_->setWordWrap(true);
    result_label_->setAutoFillBackground(true);
    result_label_->setMargin(2);
    result_label_->setObjectName(QStringLiteral("resultText"));
    details_ = new QPushButton(this);
    details_->setObjectName(QStringLiteral("detailsButton"));
    details_->setAutoDefault(false);
    details_->hide();
    connect(details_, &QPushButton::clicked, this, &StationCell::detailsRequested);
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
    layout->addWidget(status_label_, 3, 0, 1, 2);
    layout->addWidget(result_label_, 4, 0, 1, 2);
    layout->addWidget(details_, 5, 1, Qt::AlignRight);
    layout->addWidget(log_label_, 6, 0, 1, 2);
    layout->setRowStretch(7, 1);
    layout->setColumnStretch(0, 1);
    setMinimumWidth(200);
    Retranslate();
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

void StationCell::SetStatus(const std::string& text) {
    statuses_.Add(text);
    // A failure's text comes after its end; the result shows it already.
    if (failure_ && ended_ && text == failure_->end.error_text) {
        return;
    }
    status_ = text;
    status_label_->setText(DisplayStatus(text));
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
    status_.clear();
    status_label_->clear();
    statuses_.Clear();
}

void StationCell::EndPhone(const JobEnd& end) {
    failure_.reset();
    if (end.result == 0) {
        result_ = SlotResult::kPassed;
    } else if (end.user_stopped) {
        result_ = SlotResult::kStopped;
    } else {
        result_ = SlotResult::kFailed;
        failure_ = Failure{end, statuses_.lines(), false};
    }
    rate_->clear();
    status_.clear();
    status_label_->clear();
    ended_ = true;
    ShowResult();
}

void StationCell::mouseReleaseEvent(QMouseEvent* event) {
    if (failure_ && event->button() == Qt::LeftButton) {
        emit detailsRequested();
    }
    QFrame::mouseReleaseEvent(event);
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
            details_->hide();
            return;
        case SlotResult::kPassed:
            result_label_->setText(StationCell::tr("通过"));
            palette.setColor(QPalette::Window, QColor(11, 212, 11));
            break;
        case SlotResult::kFailed: {
            QString text = StationCell::tr("失败 · %1").arg(ResultHeadline(failure_->end));
            if (const QString meaning = ShortMeaning(failure_->end); !meaning.isEmpty()) {
                text += u'\n' + meaning;
            }
            result_label_->setText(text);
            palette.setColor(QPalette::Window, QColor(255, 90, 90));
            break;
        }
        case SlotResult::kStopped:
            result_label_->setText(StationCell::tr("已停止"));
            palette.setColor(QPalette::Window, QColor(220, 220, 220));
            break;
    }
    palette.setColor(QPalette::WindowText, Qt::black);
    result_label_->setPalette(palette);
    result_label_->setAutoFillBackground(true);
    details_->setVisible(failure_.has_value());
    setCursor(failure_ ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void StationCell::Retranslate() {
    if (phase_) {
        phase_label_->setText(PhaseText(*phase_));
    }
    if (!status_.empty()) {
        status_label_->setText(DisplayStatus(status_));
    }
    details_->setText(StationCell::tr("详情..."));
    details_->setToolTip(StationCell::tr("失败的含义、原因、下一步和最后的状态"));
    ShowResult();
    log_label_->setText(log_problem_.isEmpty()
                            ? QString()
                            : StationCell::tr("未写入站点日志：%1").arg(log_problem_));
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
    return status_label_->text();
}

QString StationCell::resultText() const {
    return result_label_->text();
}

}  // namespace velmora::app
