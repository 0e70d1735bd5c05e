#pragma once
#include <QByteArray>

namespace orv::CommandLine {

// The manual page orvalis(1), in roff, made from the --help text itself so
// that the two never tell different stories: the usage line becomes the
// synopsis, "Título:" lines become sections, "  nome  texto" lines become
// items (the indented options of a command nested under it), and the exit
// codes paragraph gets a section of its own.
QByteArray manualPage(const char* help, const char* version);

}  // namespace orv::CommandLine
