#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace orv::cp1252 {

// Windows-1252 both ways. The five bytes the code page leaves unassigned
// (81, 8D, 8F, 90, 9D) map to the C1 controls of the same value, so that every
// byte of a file survives a read and a write. Characters outside the code page
// are written as '?'.
QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);
QChar toUnicode(unsigned char byte);

}  // namespace orv::cp1252
