#include <QApplication>

#include "app/application.h"
#include "app/command_line.h"

int main(int argc, char** argv) {
    velmora::app::CommandLine options;
    if (const int status = velmora::app::HandleCommandLine(argc, argv, options); status >= 0) {
        return status;
    }
    QApplication app(argc, argv);
    return options.station ? velmora::app::RunStation() : velmora::app::RunApplication();
}
