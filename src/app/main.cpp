#include <QApplication>

#include "app/application.h"
#include "app/command_line.h"

int main(int argc, char** argv) {
    if (const int status = velmora::app::HandleCommandLine(argc, argv); status >= 0) {
        return status;
    }
    QApplication app(argc, argv);
    return velmora::app::RunApplication();
}
