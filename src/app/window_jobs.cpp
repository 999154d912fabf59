#include "app/window_jobs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QThread>

#include "app/block_map.h"
#include "app/dialog_host.h"
#include "app/main_window.h"
#include "app/progress_bar.h"
#include "frontend/simulated_phone.h"
#include "job/job_control.h"
#include "safety/safety_net.h"

namespace velmora::app {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QString NewBackupFolder(const QString& base, const QDateTime& now) {
    const QDir dir(base);
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stamp;
    for (int n = 2; dir.exists(name); ++n) {
        name = stamp + QStringLiteral("-%1").arg(n);
    }
    return dir.filePath(name) + u'/';
}

WindowJobs::WindowJobs(MainWindow& window)
    : window_(window),
      links_(SimulatedPhones()),
      controller_(std::make_unique<JobController>(&events_)) {
    controller_->on_finished = [this](const JobOutcome&) { Post([this] { Finished(); }); };
    controller_->on_notice = [this](const std::string& text) {
        // Read code: the field shows where the output goes, then the operator is told.
        const std::string prefix = kReadNotice;
        if (text.rfind(prefix, 0) == 0) {
            window_.targetFile()->setText(Q(text.substr(prefix.size())));
        }
        window_.dialogs().Message(&window_, MessageIcon::None, {}, DisplayStatus(text));
    };
}

WindowJobs::~WindowJobs() {
    StopAndWait();
}

template <typename F>
void WindowJobs::Post(F&& f) {
    QMetaObject::invokeMethod(&window_, std::forward<F>(f), Qt::QueuedConnection);
}

bool WindowJobs::ChooseLink(JobRequest& request) {
    request.link = window_.serialCheck()->isChecked() ? LinkKind::kSerial : LinkKind::kUsb;
    request.port = window_.portList()->currentText().trimmed().toStdString();
    if (std::string error; !links_.Resolve(request.link, request.port, window_.home(),
                                           OtherPortText::kDefaultDevice, &request.port, &error)) {
        window_.dialogs().Message(&window_, MessageIcon::Error,
                                  QCoreApplication::translate("WindowJobs", "错误"),
                                  DisplayStatus(error));
        return false;
    }
    request.baud_selection = window_.baudList()->currentIndex();
    request.debug = window_.debugMode();
    request.home = window_.home();
    request.timings = timings;
    return true;
}

void WindowJobs::Start() {
    JobRequest request;
    if (!ChooseLink(request)) {
        return;
    }
    const int mode = window_.workModeList()->currentIndex();
    const bool writes = mode != 1;  // an upgrade (0 and any other) or an erase (2)
    QString backup;
    if (writes && window_.backupCheck()->isChecked()) {
        // A backup goes nowhere by default: the operator names the place once.
        if (window_.backupFolder().isEmpty() && !window_.OnChooseBackupFolder()) {
            window_.dialogs().Message(
                &window_, MessageIcon::Error, QCoreApplication::translate("WindowJobs", "错误"),
                QCoreApplication::translate(
                    "WindowJobs", "备份需要一个文件夹：请选择文件夹，或取消勾选“备份”。"));
            return;
        }
        backup = NewBackupFolder(window_.backupFolder(), QDateTime::currentDateTime());
        request.backup_folder = backup.toStdString();
        request.read_once = !window_.eeromTwiceCheck()->isChecked();
    }
    switch (mode) {
        case 1:
            request.work_mode = WorkMode::kReadCode;
            window_.startButton()->setText(
                QCoreApplication::translate("WindowJobs", "读FLASH数据"));
            break;
        case 2:
            request.work_mode = WorkMode::kErase;
            window_.startButton()->setText(QStringLiteral("ERASE FLASH"));
            break;
        default:
            request.work_mode = WorkMode::kCodeUpgrade;
            request.verify = window_.verifyCheck()->isChecked();
            break;
    }
    request.range = RangeAt(request.work_mode, window_.rangeList()->currentIndex());
    request.range_start = window_.rangeStart();
    request.range_end = window_.rangeEnd();
    request.ptt_path = window_.targetFile()->text().toStdString();
    // An area erase over block 0 or the EEROM asks once the chip shows which
    // blocks the area covers.
    request.ask_area = [this](const AreaQuestion& area, std::function<void(bool)> answer) {
        Post([this, area, answer = std::move(answer)] { AskArea(area, answer); });
    };
    if (request.work_mode == WorkMode::kReadCode) {
        const std::string folder = ReadFolder(request);
        if (const auto earlier = EarlierReadFiles(folder, request); !earlier.empty()) {
            QStringList names;
            for (const std::string& name : earlier) {
                names << Q(name);
            }
            if (!window_.dialogs().ConfirmReplaceFiles(&window_, Q(folder),
                                                       names.join(QStringLiteral(", ")))) {
                return;
            }
            request.overwrite = true;
        }
    }

    if (!Launch(request)) {
        if (!backup.isEmpty()) {
            QDir().rmdir(backup);  // made by the refused Start; only when still empty
        }
        return;
    }
    if (request.work_mode == WorkMode::kCodeUpgrade) {
        window_.startButton()->setText(QCoreApplication::translate("WindowJobs", "代码升级"));
    }
}

void WindowJobs::StartHealth() {
    JobRequest request;
    if (!ChooseLink(request)) {
        return;
    }
    request.work_mode = WorkMode::kHealth;
    if (Launch(request)) {
        window_.startButton()->setText(QCoreApplication::translate("WindowJobs", "NAND 健康"));
    }
}

bool WindowJobs::Launch(const JobRequest& request) {
    adapter_.set_link(request.link);
    const StartOutcome outcome = controller_->Start(request);
    if (!outcome.started) {
        if (!outcome.loader_message.empty()) {
            window_.dialogs().Message(&window_, MessageIcon::Error,
                                      DisplayStatus(outcome.loader_title),
                                      DisplayStatus(outcome.loader_message));
        }
        window_.dialogs().Message(&window_, MessageIcon::Error, DisplayStatus(outcome.caption),
                                  DisplayStatus(outcome.message));
        return false;
    }
    running_ = true;
    stopping_ = false;
    writes_ = request.work_mode == WorkMode::kCodeUpgrade || request.work_mode == WorkMode::kErase;
    succeeded_.reset();
    report_.reset();
    failed_.reset();
    failure_.reset();
    statuses_.Clear();
    log_lines_.Clear();
    window_.ShowLastFailure();
    window_.rateText()->clear();
    // A serial job's device is its port; a USB job names its device once chosen.
    window_.deviceText()->setText(request.link == LinkKind::kSerial ? Q(request.port) : QString());
    window_.SetJobControlsEnabled(false);
    return true;
}

void WindowJobs::Stop() {
    stopping_ = running_;
    controller_->Stop();
    window_.statusText()->clear();
}

void WindowJobs::StopAndWait() {
    if (running_) {
        stopping_ = true;
        controller_->Stop();
        // The job no longer waits for the question's answer: close it ("否").
        if (QWidget* question = asking_ ? QApplication::activeModalWidget() : nullptr) {
            question->close();
        }
        // The job's last display calls and its end arrive through the event
        // loop; a worker waiting on a message box is answered here too.
        QEventLoop loop;
        waiting_ = &loop;
        loop.exec();
        waiting_ = nullptr;
    }
    controller_->Wait();
}

void WindowJobs::Finished() {
    running_ = false;
    if (succeeded_) {
        window_.statusText()->setText(DoneText(*succeeded_));
        succeeded_.reset();
    }
    if (failed_) {
        const bool logged = !log_lines_.lines().empty();
        failure_ = Failure{std::move(*failed_), (logged ? log_lines_ : statuses_).lines(), logged};
        failed_.reset();
        window_.ShowLastFailure();
    }
    window_.FinishJob();
    if (waiting_) {
        waiting_->quit();
        report_.reset();  // the window is closing: nobody to read it
    }
    if (report_) {
        const std::string json = std::move(*report_);
        report_.reset();
        window_.dialogs().ShowHealthReport(&window_, Q(HealthText(json)), Q(json));
    }
}

void WindowJobs::AskArea(const AreaQuestion& area, const std::function<void(bool)>& answer) {
    if (stopping_ || !running_) {
        answer(false);
        return;
    }
    asking_ = true;
    const bool yes = window_.dialogs().ConfirmAreaErase(&window_, area);
    asking_ = false;
    answer(yes && !stopping_);
}

void WindowJobs::OnStatus(const std::string& text) {
    Post([this, text] {
        statuses_.Add(text);
        window_.statusText()->setText(DisplayStatus(text));
    });
}

void WindowJobs::OnLog(const std::string& text) {
    Post([this, text] { log_lines_.Add(text); });
}

void WindowJobs::OnProgress(int percent) {
    Post([this, percent] { window_.progressBar()->SetPos(percent); });
}

void WindowJobs::OnBarColour(uint32_t colour) {
    Post([this, colour] { window_.progressBar()->SetBarColour(colour); });
}

void WindowJobs::OnPercentDisplay(bool on) {
    Post([this, on] { window_.progressBar()->SetPercentDisplay(on); });
}

void WindowJobs::OnBarText(const std::string& text) {
    Post([this, text = Q(text)] { window_.progressBar()->SetText(text); });
}

void WindowJobs::OnElapsed(const std::string& text) {
    Post([this, text] { window_.elapsedText()->setText(DisplayStatus(text)); });
}

void WindowJobs::OnChipInfo(const std::string& text) {
    Post([this, text = Q(text)] { window_.chipInfo()->setText(text); });
}

void WindowJobs::OnBlockMapClear() {
    Post([this] { window_.blockMap()->Clear(); });
}

void WindowJobs::OnBlockMapInit(int block_count, uint32_t block_size) {
    Post([this, block_count, block_size] { window_.blockMap()->Init(block_count, block_size); });
}

void WindowJobs::OnBlockText(int block, int column, const std::string& text) {
    Post([this, block, column, text] { window_.blockMap()->SetText(block, column, text); });
}

void WindowJobs::OnBlockColour(int block, uint32_t colour, int top_row) {
    Post([this, block, colour, top_row] {
        if (window_.blockMap()->Mark(block, colour)) {
            window_.blockMapView()->ScrollToTopRow(top_row);
        }
    });
}

void WindowJobs::OnStepMessage(const std::string& text) {
    const auto show = [this, text = DisplayStatus(text)] {
        window_.dialogs().Message(&window_, MessageIcon::None, {}, text);
    };
    if (QThread::currentThread() == window_.thread()) {
        show();
        return;
    }
    // The worker waits until the operator has closed the box.
    QMetaObject::invokeMethod(&window_, show, Qt::BlockingQueuedConnection);
}

void WindowJobs::Events::OnStatus(const std::string& text) {
    jobs_.adapter_.OnStatus(text);
}

void WindowJobs::Events::OnPhase(Phase phase) {
    meter_.OnPhase(phase);
    jobs_.adapter_.OnPhase(phase);
}

void WindowJobs::Events::OnProgress(uint64_t done, uint64_t total) {
    meter_.OnProgress(done);
    jobs_.adapter_.OnProgress(done, total);
}

void WindowJobs::Events::OnElapsed(std::optional<uint32_t> milliseconds) {
    jobs_.adapter_.OnElapsed(milliseconds);
    if (!milliseconds) {
        return;
    }
    if (const std::optional<double> rate = meter_.OnElapsed(*milliseconds)) {
        jobs_.Post(
            [&jobs = jobs_, text = RateText(*rate)] { jobs.window_.rateText()->setText(text); });
    }
}

void WindowJobs::Events::OnChip(const std::optional<std::array<uint8_t, 4>>& id) {
    jobs_.adapter_.OnChip(id);
}

void WindowJobs::Events::OnUsbDevice(const std::string& path, uint16_t vendor, uint16_t product) {
    jobs_.Post([&jobs = jobs_, text = UsbDeviceText(path, vendor, product)] {
        jobs.window_.deviceText()->setText(text);
    });
}

void WindowJobs::Events::OnBlockMap(int block_count, uint32_t block_size) {
    jobs_.adapter_.OnBlockMap(block_count, block_size);
}

void WindowJobs::Events::OnBlock(int block, BlockState state) {
    jobs_.adapter_.OnBlock(block, state);
}

void WindowJobs::Events::OnFile(const std::string& path) {
    jobs_.adapter_.OnFile(path);
}

void WindowJobs::Events::OnStepMessage(const std::string& text) {
    jobs_.adapter_.OnStepMessage(text);
}

void WindowJobs::Events::OnLog(const std::string& text) {
    jobs_.adapter_.OnLog(text);
}

void WindowJobs::Events::OnEnd(const JobEnd& end) {
    jobs_.adapter_.OnEnd(end);
    jobs_.Post([&jobs = jobs_, result = end.result] { jobs.last_result_ = result; });
    if (end.result != 0 && !end.user_stopped) {
        jobs_.Post([&jobs = jobs_, end] { jobs.failed_ = end; });
    }
    if (end.result == 0) {
        jobs_.Post([&jobs = jobs_, notes = end.notes] { jobs.succeeded_ = notes; });
        if (!end.report.empty()) {
            jobs_.Post([&jobs = jobs_, report = end.report] { jobs.report_ = report; });
        }
    }
}

}  // namespace velmora::app
