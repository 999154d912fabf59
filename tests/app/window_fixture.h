#pragma once
// A main window over a fresh home folder that holds the catalogue.
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/main_window.h"
#include "fake_dialogs.h"

namespace velmora::app {

inline QStringList Entries(const QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->itemText(i);
    }
    return out;
}

// As the operator picks an entry from the drop-down.
inline void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

struct WindowFixture {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> ports = {"/dev/ttyUSB0"};

    std::string home() const { return dir.path().toStdString() + "/"; }

    WindowFixture() {
        QFile::copy(QStringLiteral(VELMORA_BIN_DIR "/FlashChip.ini"),
                    dir.path() + QStringLiteral("/FlashChip.ini"));
    }

    // Opens (or reopens) the window; false when initialisation stopped.
    bool Open() {
        window.reset();
        MainWindow::Options options;
        options.home = home();
        options.probe_ports = [this] { return ports; };
        window = std::make_unique<MainWindow>(dialogs, options);
        return window->Initialise();
    }

    // Closes it as the Exit button does, which saves the settings.
    void Close() {
        window->accept();
        window.reset();
    }
};

}  // namespace velmora::app
