#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/app_icon.h"
#include "app/block_map.h"
#include "app/dialog_host.h"
#include "app/failure_details.h"
#include "app/language_menu.h"
#include "app/progress_bar.h"
#include "app/status_text.h"
#include "app/window_jobs.h"
#include "config/chip_catalogue.h"
#include "config/partition_table.h"
#include "config/settings.h"
#include "job/link_registry.h"
#include "serial/port_list.h"
#include "velmora_version.h"

namespace velmora::app {

namespace {

QLabel* Label(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

QLabel* SunkenLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

MainWindow::MainWindow(DialogHost& dialogs, Options options, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      dialogs_(dialogs),
      options_(std::move(options)),
      table_(std::make_unique<PartitionTable>()) {
    BuildControls();
    jobs_ = std::make_unique<WindowJobs>(*this);
    language_ = CurrentLanguage();
    RetranslateTexts();
    setWindowIcon(AppIcon());
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    // A window destroyed without closing still must not leave a worker behind.
    jobs_->StopAndWait();
}

void MainWindow::BuildControls() {
    target_file_ = SunkenLabel(this);
    choose_ = new QPushButton(this);

    block_model_ = new BlockMapModel(this);
    block_view_ = new BlockMapView(this);
    block_view_->setBlockModel(block_model_);
    block_view_->setMinimumHeight(220);

    serial_ = new QCheckBox(this);
    ports_ = new QComboBox(this);
    ports_->setEditable(true);
    ports_->setInsertPolicy(QComboBox::NoInsert);
    auto* port_number = Label(tr("串口号："), this);
    port_number->hide();
    bauds_ = new QComboBox(this);
    work_modes_ = new QComboBox(this);
    range_label_ = Label({}, this);
    ranges_ = new QComboBox(this);
    start_label_ = Label({}, this);
    start_text_ = Label({}, this);
    end_label_ = Label({}, this);
    end_text_ = Label({}, this);
    for (QComboBox* list : {ports_, bauds_, work_modes_, ranges_}) {
        list->setMinimumWidth(150);
    }

    auto* choices = new QGridLayout;
    choices->addWidget(serial_, 0, 0);
    choices->addWidget(ports_, 0, 1);
    baud_label_ = Label({}, this);
    mode_label_ = Label({}, this);
    choices->addWidget(baud_label_, 1, 0);
    choices->addWidget(bauds_, 1, 1);
    choices->addWidget(mode_label_, 2, 0);
    choices->addWidget(work_modes_, 2, 1);
    choices->addWidget(range_label_, 3, 0);
    choices->addWidget(ranges_, 3, 1);
    choices->addWidget(start_label_, 4, 0);
    choices->addWidget(start_text_, 4, 1);
    choices->addWidget(end_label_, 5, 0);
    choices->addWidget(end_text_, 5, 1);
    // The net around a write: a backup of what it will replace, and a read-back.
    backup_ = new QCheckBox(this);
    backup_folder_ = SunkenLabel(this);
    // A long path must not widen the window; its tool tip shows it whole.
    backup_folder_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    backup_choose_ = new QPushButton(this);
    auto* backup_row = new QHBoxLayout;
    backup_row->addWidget(backup_folder_, 1);
    backup_row->addWidget(backup_choose_);
    verify_ = new QCheckBox(this);
    // Reading the EEROM twice outvotes a bit flipped on its way out of the chip,
    // at the cost of a second read (about 110 s at 921600 baud).
    eerom_twice_ = new QCheckBox(this);
    choices->addWidget(backup_, 6, 0);
    choices->addLayout(backup_row, 6, 1);
    choices->addWidget(verify_, 7, 0);
    choices->addWidget(eerom_twice_, 7, 1);
    choices->setRowStretch(8, 1);
    choices->setColumnStretch(1, 1);
    choices->setRowMinimumHeight(4, 20);
    choices->setRowMinimumHeight(5, 20);

    auto* group = new QGroupBox(this);
    auto* group_row = new QHBoxLayout(group);
    group_row->addWidget(block_view_);
    group_row->addSpacing(8);
    group_row->addLayout(choices, 1);

    auto* file_row = new QHBoxLayout;
    file_label_ = Label({}, this);
    file_row->addWidget(file_label_);
    file_row->addWidget(target_file_, 1);
    file_row->addWidget(choose_);

    elapsed_ = Label({}, this);
    progress_ = new ProgressBar(this);
    auto* progress_frame = new QFrame(this);
    progress_frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    progress_frame->setLineWidth(1);
    auto* progress_layout = new QVBoxLayout(progress_frame);
    progress_layout->setContentsMargins(1, 1, 1, 1);
    progress_layout->addWidget(progress_);
    chip_info_ = Label({}, this);
    status_ = Label({}, this);
    status_->setWordWrap(true);  // a failure's reason and next step in full
    result_ = Label({}, this);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details_ = new QPushButton(this);
    result_->hide();
    details_->hide();
    // The device the job talks to and how fast the data goes.
    device_ = Label({}, this);
    device_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    rate_ = Label({}, this);
    rate_->setMinimumWidth(90);
    rate_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel** label : {&elapsed_label_, &progress_label_, &chip_label_, &status_label_,
                           &device_label_, &rate_label_}) {
        *label = Label({}, this);
    }
    auto* device_row = new QHBoxLayout;
    device_row->addWidget(device_, 1);
    device_row->addWidget(rate_label_);
    device_row->addWidget(rate_);
    auto* displays = new QGridLayout;
    displays->addWidget(elapsed_label_, 0, 0);
    displays->addWidget(elapsed_, 0, 1);
    displays->addWidget(progress_label_, 1, 0);
    displays->addWidget(progress_frame, 1, 1);
    displays->addWidget(chip_label_, 2, 0);
    displays->addWidget(chip_info_, 2, 1);
    displays->addWidget(device_label_, 3, 0);
    displays->addLayout(device_row, 3, 1);
    auto* status_row = new QHBoxLayout;
    status_row->addWidget(status_, 1);
    status_row->addWidget(result_);
    status_row->addWidget(details_);
    displays->addWidget(status_label_, 4, 0, Qt::AlignTop);
    displays->addLayout(status_row, 4, 1);
    displays->setColumnStretch(1, 1);

    catalogue_date_ = Label(QStringLiteral("更新日期： 2007-09-19"), this);
    start_ = new QPushButton(this);
    stop_ = new QPushButton(this);
    exit_ = new QPushButton(this);
    health_ = new QPushButton(this);
    health_->hide();  // debug mode only
    language_button_ = new QToolButton(this);
    language_button_->setPopupMode(QToolButton::InstantPopup);
    language_actions_ = BuildLanguageMenu(language_button_, this, [this](Language language) {
        SetLanguage(language);
        if (initialised_) {
            SaveSettings();
        }
    });
    for (QPushButton* button : {choose_, start_, stop_, exit_, backup_choose_, health_, details_}) {
        button->setAutoDefault(false);
    }
    auto* button_row = new QHBoxLayout;
    button_row->addWidget(catalogue_date_);
    button_row->addStretch(1);
    button_row->addWidget(health_);
    button_row->addWidget(language_button_);
    button_row->addWidget(start_);
    button_row->addWidget(stop_);
    button_row->addWidget(exit_);

    auto* column = new QVBoxLayout(this);
    column->addLayout(file_row);
    column->addWidget(group, 1);
    column->addLayout(displays);
    column->addLayout(button_row);
    resize(600, 490);

    about_ = new QAction(this);
    about_->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about_, &QAction::triggered, this, [this] { dialogs_.ShowAbout(this); });
    addAction(about_);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(start_, &QPushButton::clicked, this, &MainWindow::StartJob);
    connect(stop_, &QPushButton::clicked, this, &MainWindow::StopJob);
    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
    connect(choose_, &QPushButton::clicked, this, &MainWindow::OnChooseFile);
    connect(work_modes_, &QComboBox::activated, this, &MainWindow::OnWorkModeChange);
    connect(ranges_, &QComboBox::activated, this, &MainWindow::OnRangeChange);
    connect(ports_, &QComboBox::activated, this, [this] { start_->setFocus(); });
    connect(backup_choose_, &QPushButton::clicked, this, &MainWindow::OnChooseBackupFolder);
    connect(backup_, &QCheckBox::toggled, this, [this] { UpdateSafetyControls(!jobRunning()); });
    connect(health_, &QPushButton::clicked, this, &MainWindow::StartHealth);
    connect(details_, &QPushButton::clicked, this, &MainWindow::ShowFailureDetails);
    setBackupFolder({});
    // The names by which the tests and the pictures find the controls.
    for (const auto& [control, name] : std::initializer_list<std::pair<QObject*, const char*>>{
             {target_file_, "targetFile"},
             {choose_, "chooseButton"},
             {serial_, "serialCheck"},
             {ports_, "portList"},
             {bauds_, "baudList"},
             {work_modes_, "workModeList"},
             {range_label_, "rangeLabel"},
             {ranges_, "rangeList"},
             {start_label_, "rangeStartLabel"},
             {start_text_, "rangeStartText"},
             {end_label_, "rangeEndLabel"},
             {end_text_, "rangeEndText"},
             {elapsed_, "elapsedText"},
             {chip_info_, "chipInfo"},
             {status_, "statusText"},
             {result_, "resultText"},
             {details_, "detailsButton"},
             {catalogue_date_, "catalogueDate"},
             {device_, "deviceText"},
             {rate_, "rateText"},
             {language_button_, "languageButton"},
             {progress_, "progressBar"},
             {block_model_, "blockMap"},
             {block_view_, "blockMapView"},
             {start_, "startButton"},
             {stop_, "stopButton"},
             {exit_, "exitButton"},
             {backup_, "backupCheck"},
             {backup_choose_, "backupFolderButton"},
             {backup_folder_, "backupFolderText"},
             {verify_, "verifyCheck"},
             {eerom_twice_, "eeromTwiceCheck"},
             {health_, "healthButton"}}) {
        control->setObjectName(QLatin1String(name));
    }
}

bool MainWindow::Initialise() {
    std::string version;
    if (CatalogueVersionText(options_.home, version) != 0) {
        dialogs_.Message(this, MessageIcon::Error, QStringLiteral("ERROR"),
                         tr("读FlashChip.ini错误，请检查该文件是否存在或损坏！"));
        return false;
    }
    catalogue_version_ = version;
    catalogue_date_->setText(DisplayStatus(version));

    dialogs_.ShowPortSearch(this);

    stop_->setEnabled(false);
    status_->clear();
    FillPortList();
    progress_->SetRange(0, 100);
    progress_->SetPos(0);
    chip_info_->clear();

    bauds_->clear();
    bauds_->addItems(
        {QStringLiteral("115200"), QStringLiteral("460800"), QStringLiteral("921600")});
    bauds_->setCurrentIndex(2);
    work_modes_->clear();
    work_modes_->addItems(WorkModeItems());
    work_modes_->setCurrentIndex(0);
    range_label_->setText(RangeLabelText(0));
    ranges_->clear();
    ranges_->addItems(RangeItems(0));
    ranges_->setCurrentIndex(0);
    serial_->setChecked(false);
    backup_->setChecked(false);
    verify_->setChecked(false);
    eerom_twice_->setChecked(true);
    setBackupFolder({});

    LoadSettings();
    UpdateSafetyControls(true);

    debug_ = false;
    setWindowTitle(TitleText());
    block_model_->Clear();
    initialised_ = true;
    return true;
}

void MainWindow::FillPortList() {
    const std::vector<std::string> found =
        options_.probe_ports ? options_.probe_ports() : ListSerialPorts();
    QStringList names;
    for (const std::string& name : found) {
        names << QString::fromStdString(name);
    }
    // The list keeps its entries sorted as text.
    names.sort(Qt::CaseSensitive);
    ports_->clear();
    ports_->addItems(names);
    if (!names.isEmpty()) {
        ports_->setCurrentIndex(0);
    }
}

void MainWindow::OnWorkModeChange() {
    ranges_->setEnabled(true);
    ranges_->clear();
    const int mode = work_modes_->currentIndex();
    if (mode >= 0 && mode <= 2) {
        range_label_->setText(RangeLabelText(mode));
        ranges_->addItems(RangeItems(mode));
    } else {
        ShowError(tr("错误"), tr("选择模式错误！"));
    }
    ranges_->setCurrentIndex(0);
    UpdateSafetyControls(!jobRunning());
    start_->setFocus();
}

void MainWindow::OnRangeChange() {
    start_label_->clear();
    end_label_->clear();
    start_text_->clear();
    end_text_->clear();
    const int mode = work_modes_->currentIndex();
    const int range = ranges_->currentIndex();
    const auto enter_area = [this](bool upper_case_end) {
        uint32_t start = range_start_;
        uint32_t end = range_end_;
        if (!dialogs_.EnterRange(this, start, end)) {
            ranges_->setCurrentIndex(0);
            return;
        }
        const auto hex = [](uint32_t value, bool upper) {
            QString digits = QString::number(value, 16).rightJustified(8, u'0');
            return QStringLiteral("0x") + (upper ? digits.toUpper() : digits);
        };
        start_label_->setText(tr("开始："));
        end_label_->setText(tr("结束："));
        start_text_->setText(hex(start, true));
        end_text_->setText(hex(end, upper_case_end));
        range_start_ = start;
        range_end_ = end;
    };
    switch (mode) {
        case 0:
            break;
        case 1:
            if (range == 2) {
                enter_area(true);
            }
            break;
        case 2:
            if (range == 1) {
                enter_area(false);
            }
            if (ranges_->currentIndex() == 4 && !dialogs_.ConfirmEeromErase(this)) {
                ranges_->setCurrentIndex(0);
            }
            break;
        default:
            ShowError(tr("错误"), tr("选择模式错误！"));
            break;
    }
    start_->setFocus();
}

void MainWindow::OnChooseFile() {
    QString path = target_file_->text();
    if (dialogs_.ViewPartitionTable(this, *table_, path)) {
        target_file_->setText(path);
        SaveSettings();
    }
    remembered_ptt_ = target_file_->text();
}

bool MainWindow::OnChooseBackupFolder() {
    QString folder = backup_dir_;
    if (!dialogs_.ChooseFolder(this, tr("备份文件夹"), folder)) {
        return false;
    }
    setBackupFolder(folder);
    if (initialised_) {
        SaveSettings();
    }
    return true;
}

void MainWindow::setBackupFolder(const QString& folder) {
    backup_dir_ = folder;
    backup_folder_->setText(folder.isEmpty() ? tr("(未选择文件夹)") : folder);
    backup_folder_->setToolTip(folder);
}

void MainWindow::StartHealth() {
    jobs_->StartHealth();
}

void MainWindow::SetDebugMode(bool on) {
    debug_ = on;
    setWindowTitle(TitleText());
    health_->setVisible(on);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            if (key->key() == Qt::Key_D) {
                SetDebugMode(true);
            } else if (key->key() == Qt::Key_N) {
                SetDebugMode(false);
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MainWindow::SetJobControlsEnabled(bool enabled) {
    start_->setEnabled(enabled);
    stop_->setEnabled(!enabled);
    for (QWidget* control :
         std::initializer_list<QWidget*>{bauds_, ports_, choose_, work_modes_, ranges_, serial_}) {
        control->setEnabled(enabled);
    }
    language_button_->setEnabled(enabled);
    health_->setEnabled(enabled);
    UpdateSafetyControls(enabled);
}

void MainWindow::UpdateSafetyControls(bool idle) {
    const int mode = work_modes_->currentIndex();
    const bool writes = mode == 0 || mode == 2;
    backup_->setEnabled(idle && writes);
    backup_choose_->setEnabled(idle && writes);
    backup_folder_->setEnabled(idle && writes);
    verify_->setEnabled(idle && mode == 0);
    eerom_twice_->setEnabled(idle && writes && backup_->isChecked());
}

void MainWindow::ShowError(const QString& caption, const QString& text) {
    dialogs_.Message(this, MessageIcon::Error, caption, text);
}

bool MainWindow::jobRunning() const {
    return jobs_->running();
}

void MainWindow::StartJob() {
    jobs_->Start();
}

void MainWindow::StopJob() {
    jobs_->Stop();
}

void MainWindow::ShowLastFailure() {
    const std::optional<Failure>& failure = jobs_->failure();
    result_->setVisible(failure.has_value());
    details_->setVisible(failure.has_value());
    if (!failure) {
        result_->clear();
        return;
    }
    // The status is the job's error text: shown again so that it follows the language.
    status_->setText(DisplayStatus(failure->end.error_text));
    result_->setText(ResultHeadline(failure->end));
}

void MainWindow::ShowFailureDetails() {
    if (const std::optional<Failure>& failure = jobs_->failure()) {
        dialogs_.ShowFailure(this, ReportOf(*failure));
    }
}

void MainWindow::FinishJob() {
    SetJobControlsEnabled(true);
    start_->setText(tr("开始"));
    start_->setFocus();
}

void MainWindow::done(int result) {
    if (closing_) {
        return;  // already waiting for the job to end, or asking
    }
    closing_ = true;
    // A write cut short leaves the phone half written: the operator decides.
    if (ask_before_stop_ && jobs_->writing() && !dialogs_.ConfirmStopJob(this)) {
        closing_ = false;
        return;
    }
    jobs_->StopAndWait();
    // Settings are only written by a window whose lists were filled.
    if (initialised_) {
        SaveSettings();
    }
    closing_ = false;
    QDialog::done(result);
}

void MainWindow::CloseWithoutAsking() {
    ask_before_stop_ = false;
    reject();
    ask_before_stop_ = true;
}

void MainWindow::SetLanguage(Language language) {
    language_ = language;
    if (!ApplyLanguage(language)) {
        ShowError(tr("错误"), tr("无法载入英文界面。"));
    }
    // The change event retranslates; without a catalogue change there is none.
    RetranslateTexts();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        RetranslateTexts();
    }
    QDialog::changeEvent(event);
}

QStringList MainWindow::WorkModeItems() const {
    return {tr("代码升级"), tr("读取代码"), tr("擦除")};
}

QStringList MainWindow::RangeItems(int work_mode) const {
    switch (work_mode) {
        case 1:
            return {tr("依据分区表"), QStringLiteral("EEROM"), tr("指定区域")};
        case 2:
            return {tr("文件系统"), tr("指定区域"), tr("代码区域"), tr("代码和文件系统"),
                    QStringLiteral("EEROM")};
        default:
            break;
    }
    return {tr("代码和文件系统"), tr("代码区域")};
}

QString MainWindow::RangeLabelText(int work_mode) const {
    return work_mode == 1 ? tr("读取范围：") : tr("擦除范围：");
}

QString EnglishTitle() {
    return QStringLiteral("Velmora %1").arg(QString::fromLatin1(kVersion));
}

QString MainWindow::TitleText() const {
    // The Chinese title is kept as the phones' tools have always shown it; the
    // English one carries the program's own version.
    const QString title = CurrentTextLang() == text::Lang::kEnglish ? EnglishTitle() : kWindowTitle;
    return debug_ ? title + tr(" (调试模式)") : title;
}

void MainWindow::RetranslateTexts() {
    setWindowTitle(TitleText());
    file_label_->setText(tr("目标文件:"));
    choose_->setText(tr("选择"));
    serial_->setText(tr("串口："));
    baud_label_->setText(tr("波特率："));
    mode_label_->setText(tr("工作模式："));
    elapsed_label_->setText(tr("花费时间："));
    progress_label_->setText(tr("当前进度："));
    chip_label_->setText(tr("芯片信息:"));
    device_label_->setText(tr("设备:"));
    rate_label_->setText(tr("速率:"));
    status_label_->setText(tr("当前状态:"));
    stop_->setText(tr("停止"));
    exit_->setText(tr("退出"));
    backup_->setText(tr("备份"));
    backup_->setToolTip(tr("写入前把 EEROM 和将被擦除的块备份到所选文件夹中的新文件夹"));
    backup_choose_->setText(tr("文件夹..."));
    verify_->setText(tr("校验"));
    verify_->setToolTip(tr("写入后读回每个写入的块并比较"));
    eerom_twice_->setText(tr("两次读取 EEROM"));
    eerom_twice_->setToolTip(
        tr("备份时把 EEROM 读两遍并比较，读出时翻转的位由第三次读取纠正；921600 波特率下约多 "
           "110 秒"));
    health_->setText(tr("NAND 健康"));
    details_->setText(tr("详情..."));
    details_->setToolTip(tr("失败的含义、原因、下一步和作业的最后几行"));
    if (!jobRunning()) {
        ShowLastFailure();
    }
    if (backup_dir_.isEmpty()) {
        backup_folder_->setText(tr("(未选择文件夹)"));
    }
    if (!jobRunning()) {
        start_->setText(tr("开始"));
    }
    about_->setText(tr("关于 Velmora"));
    RetranslateLanguageMenu(language_button_, language_actions_, language_);
    const int mode = work_modes_->currentIndex();
    const QStringList modes = WorkModeItems();
    for (int i = 0; i < work_modes_->count() && i < modes.size(); ++i) {
        work_modes_->setItemText(i, modes[i]);
    }
    if (mode >= 0 && mode <= 2) {
        range_label_->setText(RangeLabelText(mode));
        const QStringList ranges = RangeItems(mode);
        for (int i = 0; i < ranges_->count() && i < ranges.size(); ++i) {
            ranges_->setItemText(i, ranges[i]);
        }
    }
    if (!catalogue_version_.empty()) {
        catalogue_date_->setText(DisplayStatus(catalogue_version_));
    }
    if (!start_text_->text().isEmpty()) {
        start_label_->setText(tr("开始："));
        end_label_->setText(tr("结束："));
    }
}

QString MainWindow::settingsPath() const {
    return QString::fromStdString(options_.home) + QStringLiteral("velmora.ini");
}

}  // namespace velmora::app

namespace velmora::app {

// The settings' view of the window: its lists, its target-file field and the
// path it remembers.
class WindowSettings : public SettingsView {
  public:
    explicit WindowSettings(MainWindow& window) : w_(window) {}

    int ItemCount(List list) const override { return ListOf(list)->count(); }
    int Selection(List list) const override { return ListOf(list)->currentIndex(); }
    void Select(List list, int position) override { ListOf(list)->setCurrentIndex(position); }
    std::string TargetFileText() const override { return w_.targetFile()->text().toStdString(); }
    void SetTargetFileText(const std::string& text) override {
        w_.targetFile()->setText(QString::fromStdString(text));
    }
    std::string RememberedPttPath() const override { return w_.rememberedPtt().toStdString(); }
    void SetRememberedPttPath(const std::string& path) override {
        w_.setRememberedPtt(QString::fromStdString(path));
    }
    void RefreshWorkMode() override { w_.OnWorkModeChange(); }
    void ShowSaveFailure(const std::string& text) override {
        w_.dialogs().Message(&w_, MessageIcon::None, {}, DisplayStatus(text));
    }
    std::optional<bool> SerialLink() const override { return w_.serialCheck()->isChecked(); }
    void SetSerialLink(bool serial) override { w_.serialCheck()->setChecked(serial); }
    // With USB chosen, a text typed into the port field that is no serial port's name.
    std::string UsbPortText() const override {
        const std::string text = w_.portList()->currentText().trimmed().toStdString();
        return w_.serialCheck()->isChecked() || NamesSerialPort(text) ? "" : text;
    }
    void SetUsbPortText(const std::string& text) override {
        if (!w_.serialCheck()->isChecked()) {
            w_.portList()->setEditText(QString::fromStdString(text));
        }
    }
    std::optional<std::string> Language() const override { return LanguageKey(w_.language()); }
    void SetLanguage(const std::string& key) override { w_.SetLanguage(LanguageFromKey(key)); }
    std::optional<SafetyChoices> Safety() const override {
        return SafetyChoices{w_.backupCheck()->isChecked(), w_.backupFolder().toStdString(),
                             w_.verifyCheck()->isChecked(), w_.eeromTwiceCheck()->isChecked()};
    }
    void SetSafety(const SafetyChoices& choices) override {
        w_.backupCheck()->setChecked(choices.backup);
        w_.setBackupFolder(QString::fromStdString(choices.backup_folder));
        w_.verifyCheck()->setChecked(choices.verify);
        w_.eeromTwiceCheck()->setChecked(choices.eerom_twice);
    }

  private:
    QComboBox* ListOf(List list) const {
        switch (list) {
            case List::kComPort:
                return w_.portList();
            case List::kWorkMode:
                return w_.workModeList();
            case List::kBaudRate:
                return w_.baudList();
            case List::kEraseRange:
                break;
        }
        return w_.rangeList();
    }

    MainWindow& w_;
};

void MainWindow::LoadSettings() {
    WindowSettings view(*this);
    velmora::LoadSettings(options_.home, view);
}

void MainWindow::SaveSettings() {
    WindowSettings view(*this);
    velmora::SaveSettings(options_.home, view);
}

}  // namespace velmora::app
