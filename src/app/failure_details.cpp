#include "app/failure_details.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/status_text.h"

namespace velmora::app {

void RecentLines::Add(std::string_view text) {
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        // A text said twice in a row (a step's status, then the job's end) is kept once.
        if (line.find_first_not_of(" \t") != std::string_view::npos &&
            (lines_.empty() || lines_.back() != line)) {
            lines_.emplace_back(line);
            if (lines_.size() > kKept) {
                lines_.pop_front();
            }
        }
        from = end + 1;
    }
}

QString ResultHeadline(const JobEnd& end) {
    const QString code = QString::number(end.result);
    if (end.step.empty()) {
        return code;
    }
    return code + QStringLiteral(" · ") + DisplayStatus(end.step);
}

QString ShortMeaning(const JobEnd& end) {
    QString meaning = DisplayStatus(end.meaning.empty() ? end.error_text : end.meaning);
    // A composed meaning joins its parts with ": "; the first says what failed.
    for (const QString& joint : {QStringLiteral(": "), QStringLiteral("：")}) {
        if (const qsizetype at = meaning.indexOf(joint); at > 0) {
            meaning.truncate(at);
        }
    }
    constexpr qsizetype kLongest = 90;
    if (meaning.size() > kLongest) {
        meaning = meaning.left(kLongest - 1).trimmed() + QChar(0x2026);
    }
    return meaning;
}

FailureReport ReportOf(const Failure& failure) {
    const JobEnd& end = failure.end;
    FailureReport report;
    report.headline = ResultHeadline(end);
    report.result = QString::number(end.result);
    if (!end.result_name.empty()) {
        report.result += QStringLiteral(" (%1)").arg(QString::fromStdString(end.result_name));
    }
    report.step = DisplayStatus(end.step);
    report.meaning = DisplayStatus(end.meaning);
    report.reason = DisplayStatus(end.error_text);
    report.next_step = DisplayStatus(end.next_step);
    report.from_log = failure.from_log;
    for (const std::string& line : failure.last_lines) {
        report.last_lines << DisplayStatus(line);
    }
    return report;
}

FailureDialog::FailureDialog(const FailureReport& report, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("失败详情"));
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const auto add = [&](const QString& caption, const QString& text, const char* name) {
        if (text.isEmpty()) {
            return;
        }
        auto* value = new QLabel(text, this);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setObjectName(QLatin1String(name));
        form->addRow(caption, value);
    };
    add(tr("结果："), report.result, "resultValue");
    add(tr("步骤："), report.step, "stepValue");
    add(tr("含义："), report.meaning, "meaningValue");
    add(tr("原因："), report.reason, "reasonValue");
    add(tr("下一步："), report.next_step, "nextStepValue");

    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    if (!report.last_lines.isEmpty()) {
        column->addWidget(new QLabel(
            report.from_log ? tr("dl_log.txt 的最后几行：") : tr("作业最后的状态："), this));
        auto* lines = new QPlainTextEdit(report.last_lines.join(u'\n'), this);
        lines->setObjectName(QStringLiteral("lastLines"));
        lines->setReadOnly(true);
        lines->setLineWrapMode(QPlainTextEdit::NoWrap);
        lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        column->addWidget(lines, 1);
    }
    auto* close = new QPushButton(tr("关闭"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    column->addLayout(buttons);
    resize(520, 420);
}

}  // namespace velmora::app
