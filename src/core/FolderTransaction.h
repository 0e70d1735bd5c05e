#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace orv {

// Several files of one folder changed as one step: files written anew,
// files moved to a new name, files removed. A crash at any moment leaves the
// folder either as it was or as the step makes it, whole:
//   1. every new content is written, synced, into a hidden staging folder
//      inside the folder (".orvalis-transacao");
//   2. the list of what to do is written there, synced: from here on the
//      step is decided;
//   3. the staged files are renamed into place, the moves done, the
//      removals done, the folder synced;
//   4. the staging folder goes.
// finishPending() does the rest of a step cut short after 2 and throws
// away one cut short before; every opening of the adventure and every
// command calls it first.
class FolderTransaction {
public:
    explicit FolderTransaction(QString folder);  // with a trailing separator

    // File names are plain names in the folder.
    void write(const QString& fileName, const QByteArray& bytes);
    // `to` must not exist; the content travels unchanged.
    void move(const QString& from, const QString& to);
    void remove(const QString& fileName);

    bool isEmpty() const { return steps_.isEmpty(); }
    // The names this step puts in place (written or moved to).
    QStringList placedNames() const;

    // Does it all. A failure before the list is written leaves the folder as
    // it was and throws; a failure after it throws too, and the next
    // finishPending() completes the step. `afterAction` (tests only) is
    // called after each action that reaches the disk, with its number.
    void commit(const std::function<void(int action)>& afterAction = {});

    // True when a step was found: completed (its list was whole) or thrown
    // away (it was cut short before its list was written).
    static bool finishPending(const QString& folder);
    static const char* stagingFolderName();

private:
    enum class Kind { Write, Move, Remove };
    struct Step {
        Kind kind;
        QString name;   // written, moved from, removed
        QString to;     // moved to
        QByteArray bytes;
    };
    static void complete(const QString& folder, const QList<Step>& steps,
                         const std::function<void(int)>& afterAction, int& action);

    QString folder_;
    QList<Step> steps_;
};

}  // namespace orv
