#include "core/ListFile.h"

#include "core/Cp1252.h"
#include "core/DurableWrite.h"
#include "core/OrvalisError.h"

#include <QFile>
#include <QFileInfo>

namespace orv {

QStringList ListFile::splitLines(const QByteArray& bytes) {
    QStringList lines;
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(cp1252::decode(QByteArrayView(bytes).sliced(start, i - start)));
        if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(cp1252::decode(QByteArrayView(bytes).sliced(start)));
    return lines;
}

QByteArray ListFile::joinLines(const QStringList& lines) {
    QByteArray bytes;
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    bytes.reserve(size);
    for (const QString& line : lines) {
        bytes += cp1252::encode(line);
        bytes += "\r\n";
    }
    return bytes;
}

QStringList ListFile::read(const QString& path) {
    return splitLines(readFileBytes(path));
}

void ListFile::write(const QString& path, const QStringList& lines) {
    writeFileSafely(path, joinLines(lines));
}

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OrvalisError(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2")
                               .arg(QFileInfo(path).absoluteFilePath(), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw OrvalisError(QStringLiteral("Não foi possível ler o arquivo \"%1\": %2")
                               .arg(QFileInfo(path).absoluteFilePath(), file.errorString()));
    return bytes;
}

bool fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

}  // namespace orv
