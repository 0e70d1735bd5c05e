#pragma once
#include <QString>

#include <optional>

namespace orv {

// Asks for a password on the controlling terminal ("/dev/tty", whatever
// standard input is), with echo off while it is typed. Nothing when the
// process has no terminal.
std::optional<QString> askPasswordOnTerminal(const QString& prompt);

}  // namespace orv
