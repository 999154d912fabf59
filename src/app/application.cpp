#include "app/application.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <memory>

#include "app/app_icon.h"
#include "app/dialog_host.h"
#include "app/language.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/station_window.h"
#include "config/home.h"

namespace velmora::app {

namespace {

int g_signal_fd = -1;

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signal_fd, &byte, 1);
}

// SIGTERM (a session ending) and SIGINT close the window as its close box
// does: a running job is stopped and waited for, and the settings are saved.
class TerminationWatch {
  public:
    template <typename Window>
    explicit TerminationWatch(Window& window) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) {
            return;
        }
        g_signal_fd = fds_[0];
        notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &window, [this, &window] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(fds_[1], &byte, 1);
            window.CloseWithoutAsking();
        });
        struct sigaction action {};
        action.sa_handler = OnTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
    }
    ~TerminationWatch() {
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        notifier_.reset();
        if (g_signal_fd >= 0) {
            ::close(fds_[0]);
            ::close(fds_[1]);
            g_signal_fd = -1;
        }
    }
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

  private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

// The language first, so that even the first boxes speak it.
void ApplyStoredLanguage(const std::string& home) {
    ApplyLanguage(StartLanguage(home));
}

// The refusal of a start while the other program, or another copy, runs.
void Refuse(DialogHost& dialogs, const char* text) {
    dialogs.Message(nullptr, MessageIcon::None, {},
                    QCoreApplication::translate("Application", text));
}

bool Refused(DialogHost& dialogs, InstanceCheck check) {
    switch (check) {
        case InstanceCheck::kFirst:
            return false;
        case InstanceCheck::kAlreadyRunning:
            Refuse(dialogs, QT_TRANSLATE_NOOP("Application", "程序正在运行！"));
            return true;
        case InstanceCheck::kMultiPortRunning:
            break;
    }
    Refuse(dialogs, QT_TRANSLATE_NOOP("Application", "多口下载程序正在运行！"));
    return true;
}

bool Refused(DialogHost& dialogs, StationCheck check) {
    switch (check) {
        case StationCheck::kFirst:
            return false;
        case StationCheck::kStationRunning:
            Refuse(dialogs, QT_TRANSLATE_NOOP("Application", "多口下载程序正在运行！"));
            return true;
        case StationCheck::kWindowRunning:
            break;
    }
    Refuse(dialogs, QT_TRANSLATE_NOOP("Application", "单口下载程序正在运行，请先关闭它！"));
    return true;
}

}  // namespace

int RunApplication(DialogHost& dialogs, const std::string& lock_folder, const std::string& home) {
    ApplyStoredLanguage(home);
    FileLock own;
    if (Refused(dialogs, CheckSingleInstance(lock_folder, own))) {
        return 1;
    }
    ApplyLook();
    MainWindow window(dialogs, MainWindow::Options{home, {}});
    if (!window.Initialise()) {
        return 1;
    }
    TerminationWatch watch(window);
    window.exec();
    return 0;
}

int RunStation(DialogHost& dialogs, const std::string& lock_folder, const std::string& home) {
    ApplyStoredLanguage(home);
    FileLock own;
    if (Refused(dialogs, CheckStationInstance(lock_folder, own))) {
        return 1;
    }
    ApplyLook();
    StationWindow window(dialogs, StationWindow::Options{home, {}});
    if (!window.Initialise()) {
        return 1;
    }
    TerminationWatch watch(window);
    window.exec();
    return 0;
}

int RunApplication() {
    QtDialogHost dialogs;
    QApplication::setApplicationName(QStringLiteral("velmora"));
    const std::string home = ResolveHome();
    SetHome(home);
    return RunApplication(dialogs, LockFolder(), home);
}

int RunStation() {
    QtDialogHost dialogs;
    QApplication::setApplicationName(QStringLiteral("velmora"));
    const std::string home = ResolveHome();
    SetHome(home);
    return RunStation(dialogs, LockFolder(), home);
}

}  // namespace velmora::app
