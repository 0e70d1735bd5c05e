#include "app/OrvalisApplication.h"
#include "app/TForm1.h"
#include "cli/CommandLine.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    // A command ("orvalis compilar Floresta") runs without a window: a plain
    // core application, so no display and no platform plugin are needed.
    if (orv::CommandLine::wantsCommand(argc, argv)) {
        QCoreApplication app(argc, argv);
        return orv::CommandLine::run(QCoreApplication::arguments().mid(1), QCoreApplication::applicationFilePath(),
                                     orv::CommandLine::processConsole());
    }
    orv::OrvalisApplication app(argc, argv);
    int code = 0;
    {
        orv::TForm1 form(QCoreApplication::applicationFilePath());
        form.showOnScreen();
        code = app.exec();
    }  // destroying the main window performs the exit saves
    return code;
}
