#pragma once
#include "document/MapEdits.h"
#include "document/Rename.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace orv {

// Renaming a position or an object everywhere, as one step of the map's
// history: the map's names (and the cells drawn anew), the current-status
// and settings lists in memory, and the files, changed as one step of the
// folder. Undo puts every file back as it was when they are still as the
// rename left them; files changed since are renamed back instead.
class RenameEdit : public MapEdit {
public:
    RenameEdit(AdventureDocument& document, QString from, QString to);
    // Throws the reason of a refused rename, changing nothing.
    void perform() override;
    bool changedNothing() const override { return !started_; }
    qsizetype bytes() const override;

private:
    void again() override;
    void back() override;
    void forget() override;
    bool filesAsLeft() const;
    // The plan as of now, refused or not, with the files as they are before it.
    RenamePlan plan(QStringList& touched);

    bool started_ = false;  // past the refusal: files may have changed
    QString from_;
    QString to_;
    QHash<QString, QByteArray> before_;  // files as they were, by name (absent: none)
    QHash<QString, QByteArray> after_;   // files as the rename left them
    QStringList currentStatusBefore_;
    QStringList settingsBefore_;
    QList<QPair<QString, QString>> files_;
};

}  // namespace orv
