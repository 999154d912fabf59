#include "app/station_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/app_icon.h"
#include "app/dialog_host.h"
#include "app/language_menu.h"
#include "app/station_cell.h"
#include "app/station_slot.h"
#include "app/status_text.h"
#include "config/chip_catalogue.h"
#include "config/partition_table.h"
#include "config/settings.h"
#include "frontend/simulated_phone.h"
#include "serial/port_list.h"
#include "station/station.h"
#include "station/station_log.h"

namespace velmora::app {

namespace {

// Slots side by side: up to four in a row.
constexpr int kColumns = 4;

}  // namespace

StationWindow::StationWindow(DialogHost& dialogs, Options options, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      options_(std::move(options)),
      table_(std::make_unique<PartitionTable>()) {
    log_path = DefaultStationLogPath(options_.home);
    BuildControls();
    language_ = CurrentLanguage();
    RetranslateTexts();
    setWindowIcon(AppIcon());
}

StationWindow::~StationWindow() {
    // A window destroyed without closing still must not leave a worker behind.
    StopAndWait();
}

void StationWindow::BuildControls() {
    file_label_ = new QLabel(this);
    target_file_ = new QLabel(this);
    target_file_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    target_file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    choose_ = new QPushButton(this);
    auto* file_row = new QHBoxLayout;
    file_row->addWidget(file_label_);
    file_row->addWidget(target_file_, 1);
    file_row->addWidget(choose_);

    serial_ = new QCheckBox(this);
    ports_label_ = new QLabel(this);
    ports_ = new QListWidget(this);
    ports_->setMaximumHeight(110);
    port_entry_ = new QLineEdit(this);
    add_ = new QPushButton(this);
    remove_ = new QPushButton(this);
    baud_label_ = new QLabel(this);
    bauds_ = new QComboBox(this);
    bauds_->addItems(
        {QStringLiteral("115200"), QStringLiteral("460800"), QStringLiteral("921600")});
    bauds_->setCurrentIndex(2);
    loop_ = new QCheckBox(this);
    verify_ = new QCheckBox(this);
    // Only where the job engine can check what it wrote.

    auto* entry_row = new QHBoxLayout;
    entry_row->addWidget(port_entry_, 1);
    entry_row->addWidget(add_);
    entry_row->addWidget(remove_);
    auto* port_column = new QVBoxLayout;
    port_column->addWidget(ports_);
    port_column->addLayout(entry_row);

    auto* options_column = new QGridLayout;
    options_column->addWidget(serial_, 0, 0, 1, 2);
    options_column->addWidget(baud_label_, 1, 0);
    options_column->addWidget(bauds_, 1, 1);
    options_column->addWidget(loop_, 2, 0, 1, 2);
    options_column->addWidget(verify_, 3, 0, 1, 2);
    options_column->setRowStretch(4, 1);

    auto* settings = new QGroupBox(this);
    auto* settings_row = new QHBoxLayout(settings);
    auto* ports_block = new QVBoxLayout;
    ports_block->addWidget(ports_label_);
    ports_block->addLayout(port_column);
    settings_row->addLayout(ports_block, 1);
    settings_row->addSpacing(12);
    settings_row->addLayout(options_column);

    grid_host_ = new QWidget;
    grid_ = new QGridLayout(grid_host_);
    grid_->setSpacing(6);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(grid_host_);
    scroll->setMinimumHeight(160);

    passed_ = new QLabel(this);
    failed_ = new QLabel(this);
    for (QLabel* counter : {passed_, failed_}) {
        QFont font = counter->font();
        font.setBold(true);
        font.setPointSize(font.pointSize() + 3);
        counter->setFont(font);
        counter->setMargin(3);
        counter->setAutoFillBackground(true);
    }
    QPalette green = passed_->palette();
    green.setColor(QPalette::Window, QColor(11, 212, 11));
    passed_->setPalette(green);
    QPalette red = failed_->palette();
    red.setColor(QPalette::Window, QColor(255, 90, 90));
    failed_->setPalette(red);

    catalogue_date_ = new QLabel(this);
    start_ = new QPushButton(this);
    stop_ = new QPushButton(this);
    exit_ = new QPushButton(this);
    language_button_ = new QToolButton(this);
    language_button_->setPopupMode(QToolButton::InstantPopup);
    language_actions_ = BuildLanguageMenu(language_button_, this, [this](Language language) {
        language_chosen_ = true;
        SetLanguage(language);
    });
    for (QPushButton* button : {choose_, add_, remove_, start_, stop_, exit_}) {
        button->setAutoDefault(false);
    }
    auto* button_row = new QHBoxLayout;
    button_row->addWidget(passed_);
    button_row->addWidget(failed_);
    button_row->addSpacing(12);
    button_row->addWidget(catalogue_date_);
    button_row->addStretch(1);
    button_row->addWidget(language_button_);
    button_row->addWidget(start_);
    button_row->addWidget(stop_);
    button_row->addWidget(exit_);

    log_note_ = new QLabel(this);
    log_note_->setWordWrap(true);
    log_note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    log_note_->hide();

    auto* column = new QVBoxLayout(this);
    column->addLayout(file_row);
    column->addWidget(settings);
    column->addWidget(scroll, 1);
    column->addWidget(log_note_);
    column->addLayout(button_row);
    resize(900, 600);

    connect(choose_, &QPushButton::clicked, this, &StationWindow::OnChooseFile);
    connect(add_, &QPushButton::clicked, this, [this] {
        AddPort(port_entry_->text());
        port_entry_->clear();
    });
    connect(port_entry_, &QLineEdit::returnPressed, add_, &QPushButton::click);
    connect(remove_, &QPushButton::clicked, this, [this] { delete ports_->currentItem(); });
    connect(start_, &QPushButton::clicked, this, &StationWindow::StartStation);
    connect(stop_, &QPushButton::clicked, this, &StationWindow::StopStation);
    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
    // The names by which the tests and the pictures find the controls.
    for (const auto& [control, name] : std::initializer_list<std::pair<QObject*, const char*>>{
             {target_file_, "targetFile"},
             {choose_, "chooseButton"},
             {serial_, "serialCheck"},
             {ports_, "portList"},
             {port_entry_, "portEntry"},
             {add_, "addButton"},
             {remove_, "removeButton"},
             {bauds_, "baudList"},
             {loop_, "loopCheck"},
             {verify_, "verifyCheck"},
             {start_, "startButton"},
             {stop_, "stopButton"},
             {exit_, "exitButton"},
             {language_button_, "languageButton"},
             {passed_, "passedText"},
             {failed_, "failedText"},
             {log_note_, "logNote"}}) {
        control->setObjectName(QLatin1String(name));
    }
}

bool StationWindow::Initialise() {
    std::string version;
    if (CatalogueVersionText(options_.home, version) != 0) {
        dialogs_.Message(this, MessageIcon::Error, QStringLiteral("ERROR"),
                         QCoreApplication::translate(
                             "MainWindow", "读FlashChip.ini错误，请检查该文件是否存在或损坏！"));
        return false;
    }
    catalogue_version_ = version;
    catalogue_date_->setText(DisplayStatus(version));
    FillPortList();
    // What the single window last used is the likeliest choice here too.
    if (JobSettings stored; ReadSettingsFile(options_.home, stored)) {
        if (stored.ptt_path) {
            target_file_->setText(QString::fromStdString(*stored.ptt_path));
        }
        if (stored.baud_rate_index) {
            bauds_->setCurrentIndex(SettingsPosition(*stored.baud_rate_index, bauds_->count()));
        }
        if (stored.serial_link) {
            serial_->setChecked(*stored.serial_link != 0);
        }
    }
    stop_->setEnabled(false);
    ShowCounters();
    initialised_ = true;
    return true;
}

void StationWindow::FillPortList() {
    const std::vector<std::string> found =
        options_.probe_ports ? options_.probe_ports() : ListSerialPorts();
    QStringList names;
    for (const std::string& name : found) {
        names << QString::fromStdString(name);
    }
    names.sort(Qt::CaseSensitive);
    ports_->clear();
    // Listed, not ticked: the operator picks the ports the station's phones are on.
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, ports_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void StationWindow::AddPort(const QString& text) {
    const QString port = text.trimmed();
    if (port.isEmpty()) {
        return;
    }
    for (int i = 0; i < ports_->count(); ++i) {
        if (ports_->item(i)->text() == port) {
            ports_->item(i)->setCheckState(Qt::Checked);
            return;
        }
    }
    auto* item = new QListWidgetItem(port, ports_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
}

QStringList StationWindow::checkedPorts() const {
    QStringList out;
    for (int i = 0; i < ports_->count(); ++i) {
        if (ports_->item(i)->checkState() == Qt::Checked) {
            out << ports_->item(i)->text();
        }
    }
    return out;
}

void StationWindow::OnChooseFile() {
    QString path = target_file_->text();
    if (dialogs_.ViewPartitionTable(this, *table_, path)) {
        target_file_->setText(path);
    }
}

void StationWindow::MakeCells(const QStringList& ports) {
    slot_events_.clear();
    for (StationCell* cell : cells_) {
        delete cell;
    }
    cells_.clear();
    const int columns = std::max(1, std::min(kColumns, static_cast<int>(ports.size())));
    for (int i = 0; i < ports.size(); ++i) {
        auto* cell = new StationCell(ports[i], grid_host_);
        connect(cell, &StationCell::detailsRequested, this, [this, cell] {
            if (cell->failure()) {
                dialogs_.ShowFailure(this, ReportOf(*cell->failure()));
            }
        });
        grid_->addWidget(cell, i / columns, i % columns);
        cells_.push_back(cell);
    }
    // Columns of one width, however long a cell's result; the cells keep their
    // height, and the room left goes below them.
    for (int column = 0; column < kColumns; ++column) {
        grid_->setColumnStretch(column, column < columns ? 1 : 0);
    }
    const int rows = (static_cast<int>(ports.size()) + columns - 1) / columns;
    for (int row = 0; row < grid_->rowCount(); ++row) {
        grid_->setRowStretch(row, row == rows ? 1 : 0);
    }
    grid_->setRowStretch(rows, 1);
}

void StationWindow::StartStation() {
    if (running_) {
        return;
    }
    const QStringList ports = checkedPorts();
    if (ports.isEmpty()) {
        dialogs_.Message(this, MessageIcon::Error, tr("错误"), tr("请选择至少一个端口！"));
        return;
    }
    StationRequest request;
    request.job.work_mode = WorkMode::kCodeUpgrade;
    request.job.range = UpgradeRange::kAll;
    request.job.link = serial_->isChecked() ? LinkKind::kSerial : LinkKind::kUsb;
    request.job.baud_selection = bauds_->currentIndex();
    request.job.ptt_path = target_file_->text().toStdString();
    request.job.home = options_.home;
    request.job.timings = timings;
    request.job.verify = verify_->isChecked();
    request.loop = loop_->isChecked();
    request.log_path = log_path;
    for (const QString& port : ports) {
        request.ports.push_back(port.toStdString());
    }

    // The last station's workers are done (Finished waited for them).
    if (watcher_.joinable()) {
        watcher_.join();
    }
    station_ = std::make_unique<Station>(SimulatedPhones());
    MakeCells(ports);
    passed_count_ = 0;
    failed_count_ = 0;
    auto counts = std::make_shared<std::vector<std::pair<int, int>>>(ports.size());
    station_->on_slot = [this, counts](const SlotView& view) {
        QMetaObject::invokeMethod(
            this,
            [this, counts, slot = view.slot, passed = view.passed, failed = view.failed,
             state = view.state, done = view.done, log_text = view.log_text] {
                if (slot < 0 || slot >= static_cast<int>(counts->size())) {
                    return;
                }
                // Published before the slot's job starts, so before any of its events.
                if (state == SlotState::kRunning) {
                    cells_[slot]->BeginPhone();
                }
                if (state == SlotState::kPassed || state == SlotState::kFailed ||
                    state == SlotState::kStopped) {
                    cells_[slot]->SetLogProblem(DisplayStatus(log_text));
                }
                if (done && state == SlotState::kStopped) {
                    cells_[slot]->SlotStopped();
                }
                (*counts)[slot] = {passed, failed};
                passed_count_ = 0;
                failed_count_ = 0;
                for (const auto& [p, f] : *counts) {
                    passed_count_ += p;
                    failed_count_ += f;
                }
                ShowCounters();
            },
            Qt::QueuedConnection);
    };
    std::vector<EventSink*> sinks;
    for (StationCell* cell : cells_) {
        slot_events_.push_back(std::make_unique<SlotEvents>(cell, request.job.link, nullptr));
        sinks.push_back(slot_events_.back().get());
    }
    const StationStart outcome = station_->Start(request, sinks);
    if (!outcome.started) {
        station_.reset();
        MakeCells({});
        dialogs_.Message(this, MessageIcon::Error, tr("错误"), DisplayStatus(outcome.message));
        return;
    }
    running_ = true;
    log_notes_.clear();
    for (const std::string& note : outcome.notes) {
        log_notes_ << DisplayStatus(note);
    }
    ShowLogNotes();
    ShowCounters();
    SetSettingsEnabled(false);
    // Every slot's end reaches the window after the events its workers posted.
    watcher_ = std::thread([this, station = station_.get()] {
        station->Wait();
        QMetaObject::invokeMethod(
            this, [this] { Finished(); }, Qt::QueuedConnection);
    });
}

void StationWindow::StopStation() {
    if (station_) {
        station_->Stop();
    }
}

void StationWindow::StopAndWait() {
    if (running_) {
        StopStation();
        // The slots' last events and the station's end arrive through the event loop.
        QEventLoop loop;
        while (running_) {
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    if (watcher_.joinable()) {
        watcher_.join();
    }
}

void StationWindow::Finished() {
    if (watcher_.joinable()) {
        watcher_.join();
    }
    running_ = false;
    SetSettingsEnabled(true);
    start_->setFocus();
    // A phone's row that is not in the log is said once more at the end, where
    // it cannot be missed.
    if (station_ && station_->unlogged() > 0) {
        const int lost = station_->lost_rows();
        const QString log = QString::fromStdString(station_->log_path());
        const QString pending = QString::fromStdString(station_->pending_path());
        QStringList text;
        if (station_->unlogged() > lost) {
            text << tr("%1 部手机的记录未能写入站点日志 %2。它们保存在 %3，下次启动多口下载或运行 "
                       "velmora-cli log --merge-pending 时加入日志。")
                        .arg(station_->unlogged() - lost)
                        .arg(log, pending);
        }
        if (lost > 0) {
            text << tr("%1 部手机的记录既未写入站点日志，也未能保存到 "
                       "%2：这些记录已丢失（见各端口的说明）。")
                        .arg(lost)
                        .arg(pending);
        }
        log_notes_ << text;
        ShowLogNotes();
        dialogs_.Message(this, MessageIcon::Warning, tr("站点日志"),
                         text.join(QStringLiteral("\n")));
    }
}

void StationWindow::ShowLogNotes() {
    log_note_->setText(log_notes_.join(QStringLiteral("\n")));
    log_note_->setVisible(!log_notes_.isEmpty());
}

void StationWindow::SetSettingsEnabled(bool enabled) {
    start_->setEnabled(enabled);
    stop_->setEnabled(!enabled);
    for (QWidget* control :
         std::initializer_list<QWidget*>{choose_, serial_, ports_, port_entry_, add_, remove_,
                                         bauds_, loop_, verify_, language_button_}) {
        control->setEnabled(enabled);
    }
}

void StationWindow::ShowCounters() {
    passed_->setText(tr("通过：%1").arg(passed_count_));
    failed_->setText(tr("失败：%1").arg(failed_count_));
}

void StationWindow::done(int result) {
    if (closing_) {
        return;  // already waiting for the slots to end, or asking
    }
    closing_ = true;
    // Phones cut short are left half written: the operator decides.
    if (ask_before_stop_ && running_ && !dialogs_.ConfirmStopJob(this)) {
        closing_ = false;
        return;
    }
    StopAndWait();
    if (initialised_) {
        SaveLanguage();
    }
    closing_ = false;
    QDialog::done(result);
}

void StationWindow::CloseWithoutAsking() {
    ask_before_stop_ = false;
    reject();
    ask_before_stop_ = true;
}

void StationWindow::SaveLanguage() {
    // The settings file is the single window's; the station keeps only the
    // language in it, and only when the operator chose one here.
    if (!language_chosen_) {
        return;
    }
    JobSettings settings;
    ReadSettingsFile(options_.home, settings);
    const std::string key = LanguageKey(language_);
    if (settings.language != key) {
        settings.language = key;
        WriteSettingsFile(options_.home, settings);
    }
}

void StationWindow::SetLanguage(Language language) {
    language_ = language;
    if (!ApplyLanguage(language)) {
        dialogs_.Message(this, MessageIcon::Error, tr("错误"),
                         QCoreApplication::translate("MainWindow", "无法载入英文界面。"));
    }
    RetranslateTexts();
}

void StationWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        RetranslateTexts();
    }
    QDialog::changeEvent(event);
}

QString StationWindow::TitleText() const {
    return tr("Velmora 多口下载");
}

void StationWindow::RetranslateTexts() {
    setWindowTitle(TitleText());
    file_label_->setText(QCoreApplication::translate("MainWindow", "目标文件:"));
    choose_->setText(QCoreApplication::translate("MainWindow", "选择"));
    serial_->setText(QCoreApplication::translate("MainWindow", "串口："));
    baud_label_->setText(QCoreApplication::translate("MainWindow", "波特率："));
    ports_label_->setText(tr("端口（每个勾选的端口一部手机）："));
    port_entry_->setPlaceholderText(tr("串口、USB 路径或 sim:…"));
    add_->setText(tr("添加"));
    remove_->setText(tr("删除"));
    loop_->setText(tr("循环（完成后等待下一部手机）"));
    verify_->setText(tr("写入后校验"));
    start_->setText(QCoreApplication::translate("MainWindow", "开始"));
    stop_->setText(QCoreApplication::translate("MainWindow", "停止"));
    exit_->setText(QCoreApplication::translate("MainWindow", "退出"));
    RetranslateLanguageMenu(language_button_, language_actions_, language_);
    if (!catalogue_version_.empty()) {
        catalogue_date_->setText(DisplayStatus(catalogue_version_));
    }
    ShowCounters();
    for (StationCell* cell : cells_) {
        cell->Retranslate();
    }
}

}  // namespace velmora::app
