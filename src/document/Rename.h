#pragma once
#include "core/FolderTransaction.h"
#include "document/ReferenceIndex.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace orv {

// Renaming a position or an object everywhere: every reference to it
// rewritten (only the name in the line; the rest of each file byte for
// byte), the files named after it renamed (its script, its object file, the
// position's picture in each picture format there is), all as one step of
// the folder. Mentions in the game player's lines are listed and left.
struct RenamePlan {
    QString from;
    QString to;
    QString refusal;  // why it cannot be done; empty when it can

    QList<Reference> rewritten;  // as they will read: `text` is the new line
    QList<QPair<QString, QString>> renamedFiles;
    QList<Reference> mentions;
    // The lists the document holds, as they will be.
    QStringList mapLines;
    QStringList currentStatus;
    QStringList settings;
    bool mapChanges = false;
    bool currentStatusChanges = false;
    bool settingsChange = false;

    FolderTransaction transaction{QString()};

    bool canBeDone() const { return refusal.isEmpty(); }
    // Every file the rename writes, moves or removes.
    QStringList touchedFiles() const;
};

namespace Rename {

// The plan, from what the index holds. Refused when `from` is neither a
// position nor an object, when `to` is one already or a file it would take
// exists, or when `to` cannot be a name in the files (empty, blanks at its
// ends, path separators, control characters, characters the code page has
// not, a dot in an object's name).
RenamePlan plan(const ReferenceIndex& index, const QString& from, const QString& to);

// Why `to` cannot be the new name; empty when it can.
QString unusableNameReason(const QString& to, bool forObject);

// Replaces lines of a list file's bytes (0-based line numbers), keeping every
// other byte, line breaks included.
QByteArray replaceLines(const QByteArray& bytes, const QHash<int, QString>& lines);

}  // namespace Rename

}  // namespace orv
