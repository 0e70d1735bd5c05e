#include "ServerReply.h"

#include "core/ListFile.h"

namespace orv {

QStringList ServerReply::lines(const QByteArray& body) {
    return ListFile::splitLines(body);
}

bool ServerReply::isOk(const QStringList& lines) {
    return !lines.isEmpty() && lines.first() == QLatin1String("Ok");
}

static bool isBlankOrControl(QChar c) {
    return c.unicode() <= 0x20 || c.unicode() == 0x7F;
}

QString ServerReply::groupAdventureName(const QString& entry) {
    const qsizetype bar = entry.indexOf(u'|');
    const QStringView name = bar < 0 ? QStringView(entry) : QStringView(entry).sliced(bar + 1);
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && isBlankOrControl(name[begin]))
        ++begin;
    while (end > begin && isBlankOrControl(name[end - 1]))
        --end;
    return name.sliced(begin, end - begin).toString();
}

bool ServerReply::isPlainFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\\' || u == u':' || u < 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

}  // namespace orv
