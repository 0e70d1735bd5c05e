#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace orv {

// The program run as a command, with no window and no display:
//   orvalis compilar|verificar|usos|renomear|estado|baixar|enviar AVENTURA [...]
// Exit codes: 0 done and nothing wrong, 1 the command found problems or a
// step failed, 2 wrong use (nothing is touched then).
namespace CommandLine {

inline constexpr int Done = 0;
inline constexpr int Problems = 1;
inline constexpr int WrongUse = 2;

// Whether the program's arguments ask for a command rather than the window.
// Arguments that start with a single "-" ("-platform", "-style") are the
// toolkit's own options for the window.
bool wantsCommand(int argc, char** argv);

// Where a run writes and what it asks; the program uses the process's
// standard output and error and the terminal.
struct Console {
    std::function<void(const QByteArray&)> out;
    std::function<void(const QByteArray&)> err;
    std::function<std::optional<QString>(const QString& prompt)> askPassword;
    std::function<QString(const char* name)> environment;
};
Console processConsole();

// Runs one command; `arguments` are those after the program's name and
// `programFile` the program's own path (its folder is the workspace unless
// --pasta names another).
int run(const QStringList& arguments, const QString& programFile, const Console& console);

}  // namespace CommandLine
}  // namespace orv
