#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orv {

// Text files of the adventure are lists of lines in Windows-1252. Reading
// accepts CR, LF and CR LF; writing puts CR LF after every line, so an empty
// list is a file of zero bytes. Every write goes through writeFileSafely.
namespace ListFile {

QStringList splitLines(const QByteArray& bytes);
QByteArray joinLines(const QStringList& lines);

QStringList read(const QString& path);
void write(const QString& path, const QStringList& lines);

}  // namespace ListFile

// Reads a whole file; throws OrvalisError naming the file when it cannot.
QByteArray readFileBytes(const QString& path);

// Writes a whole file through a temporary file beside it that is renamed over
// the target, so a crash or a full disk never leaves half a file. A target that
// exists but may not be written (read-only) is refused, and stays as it was.
void writeFileSafely(const QString& path, const QByteArray& bytes);

bool fileExists(const QString& path);

}  // namespace orv
