#pragma once
#include <QByteArray>
#include <QString>

namespace orv {

// How a script file's bytes become the editor's text and back. A script is
// a list file: Windows-1252 text with CR LF after every line, the last one
// included. Every line break of the file (CR LF, and a lone CR or LF too)
// becomes one line break in the editor, so the editor shows the file's last
// break as the end of its last line; saving turns every break into CR LF and
// ends a last line that has none with CR LF. So a script with CR LF after
// every line loads and saves byte for byte, bytes 80 to FF included, and an
// empty one stays empty; a lone CR or LF is saved as CR LF, and a last line
// without a break gains one.
namespace ScriptText {

QString fromFile(const QByteArray& bytes);
QByteArray toFile(const QString& text);

// A text editor's raw text with each of its line breaks (paragraph and line
// separators, CR LF, lone CR) as one LF. The register lines are read this way too.
QString plainBreaks(const QString& editorText);

// The hand-off line for the game player: the script's file name without its
// last four characters (the ".scp"); shorter names give an empty line.
QString handOffName(const QString& scriptFileName);

}  // namespace ScriptText

}  // namespace orv
