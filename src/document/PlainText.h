#pragma once
#include <QByteArray>
#include <QString>

namespace orv {

// Names come from the adventure's files, the command line and the server:
// none of them may drive a terminal. Control characters are shown as "?".
inline QString shownText(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            c = QLatin1Char('?');
    }
    return shown;
}

// A JSON string in UTF-8, with every control character escaped (and the
// two line separators JavaScript would break on).
inline void appendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'"')
            out += "\\\"";
        else if (u == u'\\')
            out += "\\\\";
        else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')).toLatin1();
        else
            out += QString(c).toUtf8();
    }
    out += '"';
}

}  // namespace orv
