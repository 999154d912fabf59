#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "app/app_icon.h"
#include "app/block_map.h"
#include "app/dialog_host.h"
#include "app/progress_bar.h"
#include "app/window_jobs.h"
#include "config/chip_catalogue.h"
#include "config/partition_table.h"
#include "config/settings.h"
#include "job/link_registry.h"
#include "serial/port_list.h"

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
    setWindowTitle(kWindowTitle);
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
    choose_ = new QPushButton(QStringLiteral("选择"), this);

    block_model_ = new BlockMapModel(this);
    block_view_ = new BlockMapView(this);
    block_view_->setBlockModel(block_model_);
    block_view_->setMinimumHeight(220);

    serial_ = new QCheckBox(QStringLiteral("串口："), this);
    ports_ = new QComboBox(this);
    ports_->setEditable(true);
    ports_->setInsertPolicy(QComboBox::NoInsert);
    auto* port_number = Label(QStringLiteral("串口号："), this);
    port_number->hide();
    bauds_ = new QComboBox(this);
    work_modes_ = new QComboBox(this);
    range_label_ = Label(QStringLiteral("擦除范围："), this);
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
    choices->addWidget(Label(QStringLiteral("波特率："), this), 1, 0);
    choices->addWidget(bauds_, 1, 1);
    choices->addWidget(Label(QStringLiteral("工作模式："), this), 2, 0);
    choices->addWidget(work_modes_, 2, 1);
    choices->addWidget(range_label_, 3, 0);
    choices->addWidget(ranges_, 3, 1);
    choices->addWidget(start_label_, 4, 0);
    choices->addWidget(start_text_, 4, 1);
    choices->addWidget(end_label_, 5, 0);
    choices->addWidget(end_text_, 5, 1);
    choices->setRowStretch(6, 1);
    choices->setColumnStretch(1, 1);
    choices->setRowMinimumHeight(4, 20);
    choices->setRowMinimumHeight(5, 20);

    auto* group = new QGroupBox(this);
    auto* group_row = new QHBoxLayout(group);
    group_row->addWidget(block_view_);
    group_row->addSpacing(8);
    group_row->addLayout(choices, 1);

    auto* file_row = new QHBoxLayout;
    file_row->addWidget(Label(QStringLiteral("目标文件:"), this));
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
    auto* displays = new QGridLayout;
    displays->addWidget(Label(QStringLiteral("花费时间："), this), 0, 0);
    displays->addWidget(elapsed_, 0, 1);
    displays->addWidget(Label(QStringLiteral("当前进度："), this), 1, 0);
    displays->addWidget(progress_frame, 1, 1);
    displays->addWidget(Label(QStringLiteral("芯片信息:"), this), 2, 0);
    displays->addWidget(chip_info_, 2, 1);
    displays->addWidget(Label(QStringLiteral("当前状态:"), this), 3, 0);
    displays->addWidget(status_, 3, 1);
    displays->setColumnStretch(1, 1);

    catalogue_date_ = Label(QStringLiteral("更新日期： 2007-09-19"), this);
    start_ = new QPushButton(QStringLiteral("开始"), this);
    stop_ = new QPushButton(QStringLiteral("停止"), this);
    exit_ = new QPushButton(QStringLiteral("退出"), this);
    for (QPushButton* button : {choose_, start_, stop_, exit_}) {
        button->setAutoDefault(false);
    }
    auto* button_row = new QHBoxLayout;
    button_row->addWidget(catalogue_date_);
    button_row->addStretch(1);
    button_row->addWidget(start_);
    button_row->addWidget(stop_);
    button_row->addWidget(exit_);

    auto* column = new QVBoxLayout(this);
    column->addLayout(file_row);
    column->addWidget(group, 1);
    column->addLayout(displays);
    column->addLayout(button_row);
    resize(600, 470);

    auto* about = new QAction(QStringLiteral("About Velmora"), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about, &QAction::triggered, this, [this] { dialogs_.ShowAbout(this); });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(start_, &QPushButton::clicked, this, &MainWindow::StartJob);
    connect(stop_, &QPushButton::clicked, this, &MainWindow::StopJob);
    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
    connect(choose_, &QPushButton::clicked, this, &MainWindow::OnChooseFile);
    connect(work_modes_, &QComboBox::activated, this, &MainWindow::OnWorkModeChange);
    connect(ranges_, &QComboBox::activated, this, &MainWindow::OnRangeChange);
    connect(ports_, &QComboBox::activated, this, [this] { start_->setFocus(); });
}

bool MainWindow::Initialise() {
    std::string version;
    if (CatalogueVersionText(options_.home, version) != 0) {
        dialogs_.Message(this, MessageIcon::Error, QStringLiteral("ERROR"),
                         QStringLiteral("读FlashChip.ini错误，请检查该文件是否存在或损坏！"));
        return false;
    }
    catalogue_date_->setText(QString::fromStdString(version));

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
    work_modes_->addItems(
        {QStringLiteral("代码升级"), QStringLiteral("读取代码"), QStringLiteral("擦除")});
    work_modes_->setCurrentIndex(0);
    range_label_->setText(QStringLiteral("擦除范围："));
    ranges_->clear();
    ranges_->addItems({QStringLiteral("代码和文件系统"), QStringLiteral("代码区域")});
    ranges_->setCurrentIndex(0);
    serial_->setChecked(false);

    LoadSettings();

    setWindowTitle(kWindowTitle);
    debug_ = false;
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
    switch (work_modes_->currentIndex()) {
        case 0:
            range_label_->setText(QStringLiteral("擦除范围："));
            ranges_->addItems({QStringLiteral("代码和文件系统"), QStringLiteral("代码区域")});
            break;
        case 1:
            range_label_->setText(QStringLiteral("读取范围："));
            ranges_->addItems({QStringLiteral("依据分区表"), QStringLiteral("EEROM"),
                               QStringLiteral("指定区域")});
            break;
        case 2:
            range_label_->setText(QStringLiteral("擦除范围："));
            ranges_->addItems({QStringLiteral("文件系统"), QStringLiteral("指定区域"),
                               QStringLiteral("代码区域"), QStringLiteral("代码和文件系统"),
                               QStringLiteral("EEROM")});
            break;
        default:
            ShowError(QStringLiteral("错误"), QStringLiteral("选择模式错误！"));
            break;
    }
    ranges_->setCurrentIndex(0);
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
        start_label_->setText(QStringLiteral("开始："));
        end_label_->setText(QStringLiteral("结束："));
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
            ShowError(QStringLiteral("错误"), QStringLiteral("选择模式错误！"));
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

void MainWindow::SetDebugMode(bool on) {
    debug_ = on;
    setWindowTitle(on ? kWindowTitle + QStringLiteral(" (调试模式)") : kWindowTitle);
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

void MainWindow::FinishJob() {
    SetJobControlsEnabled(true);
    start_->setText(QStringLiteral("开始"));
    start_->setFocus();
}

void MainWindow::done(int result) {
    if (closing_) {
        return;  // already waiting for the job to end
    }
    closing_ = true;
    jobs_->StopAndWait();
    // Settings are only written by a window whose lists were filled.
    if (initialised_) {
        SaveSettings();
    }
    closing_ = false;
    QDialog::done(result);
}

QString MainWindow::settingsPath() const {
    return QString::fromStdString(options_.home) + QStringLiteral("velmora.ini");
}

}  // namespace velmora::app

namespace velmora::app {

namespace {

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
        w_.dialogs().Message(&w_, MessageIcon::None, {}, QString::fromStdString(text));
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

}  // namespace

void MainWindow::LoadSettings() {
    WindowSettings view(*this);
    velmora::LoadSettings(options_.home, view);
}

void MainWindow::SaveSettings() {
    WindowSettings view(*this);
    velmora::SaveSettings(options_.home, view);
}

}  // namespace velmora::app
