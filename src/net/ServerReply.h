#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orv {

// What the adventure server answers, read without any network: the reply body
// as lines, the "Ok" that must open it, and the group entries of the group list.
namespace ServerReply {

// Lines of a reply body (bytes in Windows-1252), split at CR, LF and CR LF; a
// break at the very end adds no empty line, and an empty body has no lines.
QStringList lines(const QByteArray& body);

// True when the first line is exactly "Ok". A reply without lines is not Ok.
bool isOk(const QStringList& lines);

// The adventure named by a group entry "display text|name": everything after
// the first "|" (the whole entry when it has none), without leading and
// trailing blanks and control characters.
QString groupAdventureName(const QString& entry);

// A name that can only address a file directly inside the adventure folder:
// not empty, no folder part ("/" or "\"), not "." or "..", no drive or stream
// (":"), no control characters. Names the server sends are checked with it
// before anything is written under them.
bool isPlainFileName(const QString& name);

}  // namespace ServerReply
}  // namespace orv
