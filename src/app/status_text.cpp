#include "app/status_text.h"

#include "app/language.h"

namespace velmora::app {

QString DisplayStatus(std::string_view text, text::Lang lang) {
    return QString::fromStdString(text::Localize(text, lang).text);
}

QString DisplayStatus(std::string_view text) {
    return DisplayStatus(text, CurrentTextLang());
}

QString DoneText(const std::vector<std::string>& notes) {
    QString text = QString::fromStdString(text::Tr("status.done", CurrentTextLang()));
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
