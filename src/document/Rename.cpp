#include "Rename.h"

#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "map/MapCompiler.h"

#include <QHash>

#include <algorithm>

namespace orv {

QStringList RenamePlan::touchedFiles() const {
    QStringList files;
    for (const Reference& r : rewritten)
        if (!files.contains(r.file))
            files.append(r.file);
    for (const auto& [from, to] : renamedFiles) {
        files.removeAll(to);
        files.append(from);
        files.append(to);
    }
    return files;
}

namespace Rename {

QString unusableNameReason(const QString& to, bool forObject) {
    if (to.isEmpty())
        return QStringLiteral("o nome novo está vazio");
    if (to.trimmed() != to)
        return QStringLiteral("o nome novo tem espaços nas pontas");
    if (!MapCompiler::isUsableFileName(to))
        return QStringLiteral("o nome novo não pode ser nome de arquivo");
    if (to.startsWith(QLatin1Char('.')))
        return QStringLiteral("o nome novo não pode começar com ponto");
    if (cp1252::decode(cp1252::encode(to)) != to)
        return QStringLiteral("o nome novo tem caracteres que os arquivos da aventura não guardam");
    if (forObject && to.contains(QLatin1Char('.')))
        return QStringLiteral("o nome de um objeto não pode ter ponto");
    return {};
}

QByteArray replaceLines(const QByteArray& bytes, const QHash<int, QString>& lines) {
    QByteArray out;
    out.reserve(bytes.size() + 64);
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    int line = 0;
    const auto put = [&](qsizetype end) {
        const auto changed = lines.constFind(line);
        if (changed != lines.constEnd())
            out += cp1252::encode(*changed);
        else
            out += QByteArrayView(bytes).sliced(start, end - start);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        put(i);
        qsizetype next = i + 1;
        if (c == '\r' && next < n && bytes[next] == '\n')
            ++next;
        out += QByteArrayView(bytes).sliced(i, next - i);
        i = next - 1;
        start = next;
        ++line;
    }
    if (start < n) {
        put(n);
        ++line;
    }
    // Lines past the end of the file (a list shorter than the lines named).
    QList<int> past;
    for (auto it = lines.constBegin(); it != lines.constEnd(); ++it)
        if (it.key() >= line)
            past.append(it.key());
    std::sort(past.begin(), past.end());
    for (int index : past) {
        for (; line < index; ++line)
            out += "\r\n";
        out += cp1252::encode(lines.value(index)) + "\r\n";
        ++line;
    }
    return out;
}

RenamePlan plan(const ReferenceIndex& index, const QString& from, const QString& to) {
    RenamePlan p;
    p.from = from;
    p.to = to;
    p.transaction = FolderTransaction(index.folder());
    const bool position = index.isPosition(from);
    const bool object = index.isObject(from);
    if (!position && !object) {
        p.refusal = QStringLiteral("não há posição nem objeto \"%1\" nesta aventura").arg(from);
        return p;
    }
    p.refusal = unusableNameReason(to, object);
    if (!p.canBeDone())
        return p;
    if (index.isPosition(to) || index.isObject(to)) {
        p.refusal = QStringLiteral("já existe uma posição ou um objeto \"%1\"").arg(to);
        return p;
    }

    // The files named after it.
    QHash<QString, QString> newFileName;
    const auto follow = [&](const QString& suffix) {
        const QString old = from + suffix;
        if (index.hasFile(old))
            newFileName.insert(old, to + suffix);
    };
    follow(QStringLiteral(".scp"));
    if (object)
        follow(QStringLiteral(".obj"));
    QHash<QString, QString> newPicture;  // a position's pictures, by old file name
    if (position)
        for (const QString& extension : ReferenceIndex::pictureExtensions()) {
            const QString suffix = QLatin1Char('.') + extension;
            newPicture.insert(from + suffix, to + suffix);
            follow(suffix);
        }
    // Any file named after the new name would belong to it: taken already.
    QStringList suffixes{QStringLiteral(".scp"), QStringLiteral(".obj")};
    for (const QString& extension : ReferenceIndex::pictureExtensions())
        suffixes.append(QLatin1Char('.') + extension);
    for (const QString& suffix : suffixes)
        if (index.hasFile(to + suffix)) {
            p.refusal = QStringLiteral("o arquivo \"%1\" já existe").arg(to + suffix);
            return p;
        }

    // The lines that change, file by file.
    QHash<QString, QHash<int, QString>> changes;
    QStringList order;
    for (const Reference& r : index.references()) {
        QString replacement;
        switch (r.kind) {
        case ReferenceKind::Picture:
        case ReferenceKind::Shape:
        case ReferenceKind::Panel:
            replacement = newPicture.value(r.name);
            break;
        case ReferenceKind::Mention:
            break;
        default:
            if (r.name == from)
                replacement = to;
            break;
        }
        if (replacement.isEmpty())
            continue;
        Reference after = r;
        after.text = r.text.left(r.start) + replacement + r.text.mid(r.start + r.length);
        after.name = replacement;
        after.length = int(replacement.size());
        after.file = newFileName.value(r.file, r.file);
        if (!changes.contains(r.file))
            order.append(r.file);
        changes[r.file].insert(r.line - 1, after.text);
        p.rewritten.append(after);
    }

    const auto listed = [&](const QString& file, QStringList lines) {
        for (auto it = changes.value(file).constBegin(); it != changes.value(file).constEnd(); ++it) {
            while (lines.size() <= it.key())
                lines.append(QString());
            lines[it.key()] = it.value();
        }
        return lines;
    };
    p.mapLines = listed(index.mapFileName(), index.linesOf(index.mapFileName()));
    p.mapChanges = changes.contains(index.mapFileName());
    p.currentStatus = listed(index.currentStatusFileName(), index.linesOf(index.currentStatusFileName()));
    p.currentStatusChanges = changes.contains(index.currentStatusFileName());
    p.settings = listed(index.settingsFileName(), index.linesOf(index.settingsFileName()));
    p.settingsChange = changes.contains(index.settingsFileName());

    for (const QString& file : order) {
        QByteArray bytes;
        if (file == index.mapFileName())
            bytes = ListFile::joinLines(p.mapLines);
        else if (file == index.currentStatusFileName())
            bytes = ListFile::joinLines(p.currentStatus);
        else if (file == index.settingsFileName())
            bytes = ListFile::joinLines(p.settings);
        else
            bytes = replaceLines(index.bytesOf(file), changes.value(file));
        const QString target = newFileName.value(file, file);
        p.transaction.write(target, bytes);
        if (target != file)
            p.transaction.remove(file);
    }
    QStringList moved = newFileName.keys();
    std::sort(moved.begin(), moved.end());
    for (const QString& old : moved) {
        p.renamedFiles.append({old, newFileName.value(old)});
        if (!changes.contains(old))
            p.transaction.move(old, newFileName.value(old));
    }
    std::stable_sort(p.rewritten.begin(), p.rewritten.end(), [](const Reference& a, const Reference& b) {
        return a.file != b.file ? a.file < b.file : a.line < b.line;
    });
    for (const Reference& r : index.usesOf(from))
        if (r.kind == ReferenceKind::Mention) {
            p.mentions.append(r);
            p.mentions.last().file = newFileName.value(r.file, r.file);
        }
    return p;
}

}  // namespace Rename

}  // namespace orv
