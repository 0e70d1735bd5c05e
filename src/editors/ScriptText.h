#pragma once
#include <QByteArray>
#include <QString>

namespace orv {

// How a script file's bytes become the editor's text and back. A script is
// Windows-1252 text with CR LF between lines. Every line break of the file
// (CR LF, and a lone CR or LF too) becomes one line break in the editor; every
// line break of the editor becomes CR LF, and nothing is added after the last
// line. So a file with CR LF breaks, whether or not it ends with one, loads
// and saves byte for byte, bytes 80 to FF included; a lone CR or LF is saved
// as CR LF.
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
