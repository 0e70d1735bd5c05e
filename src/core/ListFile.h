#pragma once
#include "core/DurableWrite.h"
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

bool fileExists(const QString& path);

}  // namespace orv
