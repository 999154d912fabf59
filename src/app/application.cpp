#include "app/application.h"

#include <QApplication>

#include "app/app_icon.h"
#include "app/dialog_host.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "config/home.h"

namespace velmora::app {

int RunApplication(DialogHost& dialogs, const std::string& lock_folder, const std::string& home) {
    FileLock own;
    switch (CheckSingleInstance(lock_folder, own)) {
        case InstanceCheck::kAlreadyRunning:
            dialogs.Message(nullptr, MessageIcon::None, {}, QStringLiteral("程序正在运行！"));
            return 1;
        case InstanceCheck::kMultiPortRunning:
            dialogs.Message(nullptr, MessageIcon::None, {},
                            QStringLiteral("多口下载程序正在运行！"));
            return 1;
        case InstanceCheck::kFirst:
            break;
    }
    ApplyLook();
    MainWindow window(dialogs, MainWindow::Options{home, {}});
    if (!window.Initialise()) {
        return 1;
    }
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

}  // namespace velmora::app
