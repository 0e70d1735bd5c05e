// Server replies are whatever the server sends: any bytes must split into
// lines, and no line taken as a group entry or a file name may lead a write
// outside the adventure folder.
#include "net/ServerReply.h"

#include <QByteArray>
#include <QDir>

#include <cstdint>
#include <cstdlib>

using namespace orv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = ServerReply::lines(body);
    if (ServerReply::isOk(lines) != (!lines.isEmpty() && lines.first() == QLatin1String("Ok")))
        std::abort();
    if (body.isEmpty() != lines.isEmpty())
        std::abort();

    static const QString folder = QStringLiteral("/aventuras/Floresta");
    for (const QString& line : lines) {
        if (line.contains(u'\r') || line.contains(u'\n'))
            std::abort();

        // The name is what follows the first "|", less blanks and controls
        // at both ends.
        const QString name = ServerReply::groupAdventureName(line);
        const qsizetype bar = line.indexOf(u'|');
        const QString after = bar < 0 ? line : line.mid(bar + 1);
        const qsizetype at = name.isEmpty() ? 0 : after.indexOf(name);
        if (at < 0)
            std::abort();
        auto trimmedAway = [](QStringView part) {
            for (const QChar c : part)
                if (c.unicode() > 0x20 && c.unicode() != 0x7F)
                    return false;
            return true;
        };
        if (!trimmedAway(QStringView(after).left(at)) ||
            !trimmedAway(QStringView(after).sliced(at + name.size())))
            std::abort();

        if (ServerReply::isPlainFileName(line)) {
            const QString path = QDir::cleanPath(folder + u'/' + line);
            if (!path.startsWith(folder + u'/') || path.mid(folder.size() + 1).contains(u'/'))
                std::abort();
        }
    }
    return 0;
}
