#include "app/status_text.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace velmora::app {

namespace {

// The fixed Chinese texts a job shows in its status line or its message boxes.
// Listed here so that the translation tools keep them in the catalogue.
[[maybe_unused]] constexpr const char* kStatusTexts[] = {
    QT_TRANSLATE_NOOP("status", "请打开手机！"),
    QT_TRANSLATE_NOOP("status", "代码升级！"),
    QT_TRANSLATE_NOOP("status", "读取FLASH数据！"),
    QT_TRANSLATE_NOOP("status", "读取EEROM数据！"),
    QT_TRANSLATE_NOOP("status", "打开串口失败！"),
    QT_TRANSLATE_NOOP("status", "连接手机失败！"),
    QT_TRANSLATE_NOOP("status", "BootLoader启动失败!"),
    // "FLash" is kept as phones' tools and logs know it.
    QT_TRANSLATE_NOOP("status", "读NAND FLash ID错误！"),
    QT_TRANSLATE_NOOP("status", "未知芯片类型！"),
    QT_TRANSLATE_NOOP("status", "芯片类型错误！"),
    QT_TRANSLATE_NOOP("status", "参数定义错误！"),
    QT_TRANSLATE_NOOP("status", "创建目录失败！"),
    QT_TRANSLATE_NOOP("status", "请选择PTT文件！"),
    QT_TRANSLATE_NOOP("status", "解析PTT文件错误！"),
    QT_TRANSLATE_NOOP("status", "不能打开PTT文件，请确认该文件是否存在！"),
    QT_TRANSLATE_NOOP("status", "改变波特率到115200！"),
    QT_TRANSLATE_NOOP("status", "改变波特率到460800!"),
    QT_TRANSLATE_NOOP("status", "改变波特率到921600!"),
    QT_TRANSLATE_NOOP("status", "改变波特率到115200失败！"),
    QT_TRANSLATE_NOOP("status", "改变波特率到460800失败！"),
    QT_TRANSLATE_NOOP("status", "改变波特率到921600失败！"),
    QT_TRANSLATE_NOOP("status", "错误"),
};

// The library's status texts of the backup, verify and health steps carry a
// path or a count: matched here and shown in the interface language.
struct PhaseText {
    const char* pattern;
    const char* shown;  // Chinese source, %1 the captured part
};
constexpr PhaseText kPhaseTexts[] = {
    {R"(^Backing up to (.+)\.\.\.$)", QT_TRANSLATE_NOOP("status", "正在备份到 %1 ...")},
    {R"(^Verifying (\d+) written blocks\.\.\.$)",
     QT_TRANSLATE_NOOP("status", "正在校验写入的 %1 个块...")},
    {R"(^NAND health\.\.\.$)", QT_TRANSLATE_NOOP("status", "正在检查 NAND 健康...")},
    // The specified area's refusals, in the command line's words.
    {R"re(^the area's start "(.*)" is not an address:)re",
     QT_TRANSLATE_NOOP("status", "开始地址“%1”不是地址：请输入 1 到 8 位十六进制数字（可带 0x）")},
    {R"re(^the area's end "(.*)" is not an address:)re",
     QT_TRANSLATE_NOOP("status", "结束地址“%1”不是地址：请输入 1 到 8 位十六进制数字（可带 0x）")},
    {R"(^The phone asks to wait: (\d+) s\.\.\.$)",
     QT_TRANSLATE_NOOP("status", "手机要求等待：%1 秒...")},
};

}  // namespace

QString DisplayStatus(const std::string& text) {
    const QString trimmed = QString::fromStdString(text).trimmed();
    for (const PhaseText& phase : kPhaseTexts) {
        const QRegularExpressionMatch match =
            QRegularExpression(QString::fromLatin1(phase.pattern)).match(trimmed);
        if (match.hasMatch()) {
            const QString shown = QCoreApplication::translate("status", phase.shown);
            return match.lastCapturedIndex() >= 1 ? shown.arg(match.captured(1)) : shown;
        }
    }
    const QByteArray key = trimmed.toUtf8();
    // Untranslated texts come back unchanged, so any text may be looked up.
    return QCoreApplication::translate("status", key.constData());
}

QString DisplayElapsed(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    const QString seconds = QStringLiteral("秒");
    if (!shown.endsWith(seconds)) {
        return shown;
    }
    return QCoreApplication::translate("status", "%1秒").arg(shown.chopped(seconds.size()));
}

QString DisplayCatalogueVersion(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    const QString caption = QStringLiteral("配置文件：");
    if (!shown.startsWith(caption)) {
        return shown;
    }
    return QCoreApplication::translate("status", "配置文件：%1").arg(shown.mid(caption.size()));
}

QString DoneText(const std::vector<std::string>& notes) {
    QString text = QCoreApplication::translate("status", "完成");
    for (const std::string& note : notes) {
        text += QStringLiteral("  ") + DisplayStatus(note);
    }
    return text;
}

QString UsbDeviceText(const std::string& path, uint16_t vendor, uint16_t product) {
    return QStringLiteral("%1, %2:%3")
        .arg(QString::fromStdString(path))
        .arg(vendor, 4, 16, QLatin1Char('0'))
        .arg(product, 4, 16, QLatin1Char('0'));
}

QString RateText(double bytes_per_second) {
    if (bytes_per_second < 1024) {
        return QStringLiteral("%1 B/s").arg(bytes_per_second, 0, 'f', 0);
    }
    if (bytes_per_second < 1024 * 1024) {
        return QStringLiteral("%1 KB/s").arg(bytes_per_second / 1024, 0, 'f', 1);
    }
    return QStringLiteral("%1 MB/s").arg(bytes_per_second / (1024 * 1024), 0, 'f', 2);
}

void ThroughputMeter::OnPhase(Phase phase) {
    measuring_ = phase == Phase::kWrite || phase == Phase::kBootBlock || phase == Phase::kRead ||
                 phase == Phase::kBackup || phase == Phase::kVerify;
    first_.reset();
}

void ThroughputMeter::OnProgress(uint64_t done) {
    done_ = done;
}

std::optional<double> ThroughputMeter::OnElapsed(uint32_t milliseconds) {
    if (!measuring_) {
        return std::nullopt;
    }
    // Counts that went back (a new pass over the chip) start the measure anew.
    if (!first_ || done_ < first_->done || milliseconds < first_->ms) {
        first_ = Sample{done_, milliseconds};
        return std::nullopt;
    }
    if (milliseconds == first_->ms) {
        return std::nullopt;
    }
    return static_cast<double>(done_ - first_->done) * 1000.0 / (milliseconds - first_->ms);
}

}  // namespace velmora::app
