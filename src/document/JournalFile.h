#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

namespace orv {

// The work in progress of one open adventure, as the recovery journal keeps
// it: everything the author changed since the files were last written.
struct JournalState {
    struct Text {
        QString file;  // in the adventure folder
        QString text;
        bool operator==(const Text&) const = default;
    };
    struct Picture {
        QString name;  // the position, or the panel picture's file name
        QImage image;
        bool operator==(const Picture&) const = default;
    };

    QString workspaceFolder;
    QString adventure;
    QDateTime time;  // of the last edit kept
    QStringList mapLines;
    QImage mapImage;
    QStringList settings;
    QStringList currentStatus;
    std::optional<Text> script;     // typed in the script editor, not saved
    std::optional<Text> registers;  // typed in the registers editor, not saved
    std::optional<Picture> positionPicture;
    bool operator==(const JournalState&) const = default;
};

// The journal's file: a header line, named sections each with its length,
// and a closing line with the SHA-256 of all that comes before it, so that a
// file cut short or written by anything else is refused whole.
namespace JournalFile {

// Pictures wider or taller than this are not kept (nor read).
constexpr int kMaxSide = 16384;

QByteArray encode(const JournalState& state);
// Throws OrvalisError saying what is wrong; never returns part of a state.
JournalState decode(const QByteArray& bytes);

// The folder of the journals: $XDG_STATE_HOME/orvalis/, else
// ~/.local/state/orvalis/ (with a trailing separator).
QString folder();
// One journal per workspace and adventure.
QString pathFor(const QString& workspaceFolder, const QString& adventure);
// The journals of a workspace's adventures, newest first.
QStringList journalsOf(const QString& workspaceFolder);

}  // namespace JournalFile
}  // namespace orv
