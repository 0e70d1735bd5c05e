#include "app/OrvalisApplication.h"
#include "app/TForm1.h"
#include "cli/CommandLine.h"

#include <QCoreApplication>
#include <QList>
#include <QPair>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr char kNoDisplay[] =
    "orvalis: o editor precisa de uma tela gráfica (DISPLAY ou WAYLAND_DISPLAY), e não há nenhuma; "
    "os comandos da linha de comando não precisam dela (orvalis --help)\n";

[[noreturn]] void noDisplay() {
    std::fputs(kNoDisplay, stderr);
    std::fflush(stderr);
    std::_Exit(orv::CommandLine::WrongUse);
}

// Whether a platform was named or a display is there to connect to; a
// named platform (offscreen, a test's) is the caller's choice.
bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// While the application starts, the toolkit's complaints are held back: when
// no platform plugin starts (a display named but not reachable) it ends the
// process with a fatal message, and the author gets the one line instead.
QtMessageHandler previousHandler = nullptr;
QList<QPair<QtMsgType, QString>>* heldMessages = nullptr;

void startupHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg)
        noDisplay();
    if (heldMessages)
        heldMessages->append({type, message});
    (void)context;
}

std::unique_ptr<orv::OrvalisApplication> startApplication(int& argc, char** argv) {
    if (!displayAvailable())
        noDisplay();
    QList<QPair<QtMsgType, QString>> held;
    heldMessages = &held;
    previousHandler = qInstallMessageHandler(startupHandler);
    auto app = std::make_unique<orv::OrvalisApplication>(argc, argv);
    qInstallMessageHandler(previousHandler);
    heldMessages = nullptr;
    // Started after all: what the toolkit said goes out as it would have.
    const QMessageLogContext none;
    for (const auto& [type, entry] : held) {
        if (previousHandler)
            previousHandler(type, none, entry);
        else
            std::fprintf(stderr, "%s\n", qPrintable(entry));
    }
    return app;
}

}  // namespace

int main(int argc, char** argv) {
    // A command ("orvalis compilar Floresta") runs without a window: a plain
    // core application, so no display and no platform plugin are needed.
    if (orv::CommandLine::wantsCommand(argc, argv)) {
        QCoreApplication app(argc, argv);
        return orv::CommandLine::run(QCoreApplication::arguments().mid(1), QCoreApplication::applicationFilePath(),
                                     orv::CommandLine::processConsole());
    }
    const std::unique_ptr<orv::OrvalisApplication> app = startApplication(argc, argv);
    int code = 0;
    {
        orv::TForm1 form(QCoreApplication::applicationFilePath());
        form.showOnScreen();
        code = app->exec();
    }  // destroying the main window performs the exit saves
    return code;
}
