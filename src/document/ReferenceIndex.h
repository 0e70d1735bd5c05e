#pragma once
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace orv {

// Where one file of the adventure names a position, an object or a picture.
enum class ReferenceKind {
    Map,       // a cell's name line in the map file
    Script,    // a block's header, a "retscp=" line
    Exit,      // "norte=", "leste=", "sul=", "oeste="
    Picture,   // "telpos="
    Object,    // an object record's name, a roster line
    Location,  // an object record's location
    Shape,     // an object record's picture
    Panel,     // the opening screen and panel picture of the settings list
    Mention,   // any other script line that holds the name as a whole word
};
// "mapa", "script", "saida", "imagem", "objeto", "local", "forma", "painel", "mencao".
QString referenceKindKey(ReferenceKind kind);

struct Reference {
    QString file;  // file name in the adventure folder
    int line = 0;  // from 1
    ReferenceKind kind = ReferenceKind::Mention;
    QString name;  // what it names: a position or object name, a picture's file name
    QString text;  // the whole line
    int start = 0;  // where the name stands in the line
    int length = 0;
};

// Something wrong or unused in the adventure.
struct ReferenceProblem {
    QString kind;     // "porta-sem-destino", "saida-sem-posicao", ..., "nao-usado"
    QString file;
    int line = 0;     // from 1; 0 for the file as a whole
    QString message;
    // The map's own problems name their cell too.
    int cell = -1;
    QString position;
    QString direction;  // "norte"...; doors only
    QString mapLine;     // the line the map check has always printed

    bool isUnused() const { return kind == QLatin1String("nao-usado"); }
};

// The adventure's web of names: every reference found in its files, kept up
// to date by refresh(), which reads again only the files changed since.
// Models only; the document keeps one for the open adventure and the
// command line makes one for each run.
class ReferenceIndex {
public:
    // The lists the document holds in memory go in instead of their files.
    struct InMemory {
        std::optional<QStringList> map;
        std::optional<QStringList> currentStatus;
        std::optional<QStringList> settings;
    };

    // The folder ends with a separator.
    void refresh(const QString& folder, const QString& adventureName, const InMemory& memory = {});
    void clear();

    const QString& folder() const { return folder_; }
    const QString& adventureName() const { return adventure_; }
    const QList<Reference>& references() const { return references_; }

    // A position is a named cell; an object has a roster line, a record or
    // an object file.
    bool isPosition(const QString& name) const { return positions_.contains(name); }
    bool isObject(const QString& name) const { return objects_.contains(name); }
    bool hasFile(const QString& fileName) const { return files_.contains(fileName); }
    bool isPicture(const QString& fileName) const;
    QStringList positions() const;  // in cell order, each once
    QStringList objects() const;    // sorted
    // The first cell named `name`; -1 when none.
    int cellOf(const QString& name) const { return firstCell_.value(name, -1); }

    // Every place that names `name`, mentions included, by file and line.
    QList<Reference> usesOf(const QString& name) const;
    // Whether a reference names `name`: its name, or the picture of the
    // position `name` in one of the picture formats.
    bool names(const Reference& reference, const QString& name) const;

    // Every problem: the map's first (cell order), then the references' by
    // file and line, then what nothing uses. With `start`, the positions
    // that cannot be reached from it by exits too.
    QList<ReferenceProblem> problems(const std::optional<QString>& start = {}) const;

    // File contents as read (scripts, object files, lists), for a rename.
    QByteArray bytesOf(const QString& fileName) const;
    QStringList linesOf(const QString& fileName) const;

    QString mapFileName() const { return adventure_ + QStringLiteral(".map"); }
    QString currentStatusFileName() const { return adventure_ + QStringLiteral(".obx"); }
    QString rosterFileName() const { return adventure_ + QStringLiteral(".obz"); }
    QString settingsFileName() const { return adventure_ + QStringLiteral(".ini"); }

    static const QStringList& pictureExtensions();  // png, jpg, gif, bmp

private:
    struct Source {
        QDateTime modified;
        qint64 size = -1;
        QByteArray bytes;
        QStringList lines;
        QList<Reference> found;  // what a script or object file names
        bool parsed = false;
    };
    void readChanged(const QStringList& names);
    void rebuild(const InMemory& memory);
    static QList<Reference> scriptReferences(const QString& file, const QStringList& lines);
    static QList<Reference> recordReferences(const QString& file, const QStringList& lines, int first);
    void append(const Reference& reference);
    void add(const QString& file, int line, ReferenceKind kind, const QString& text, int start, int length);
    QList<ReferenceProblem> mapProblems() const;
    QList<ReferenceProblem> referenceProblems() const;
    QList<ReferenceProblem> unreachable(const QString& start) const;
    QList<ReferenceProblem> unused() const;
    // The first cell of each name with a tile: the positions the compiler
    // writes a script for.
    QList<int> compiledPositions() const;

    QString folder_;
    QString adventure_;
    QHash<QString, Source> sources_;  // the files read, by name
    QSet<QString> files_;             // every file of the folder
    QStringList mapLines_;
    QStringList currentStatus_;
    QStringList settings_;
    QList<Reference> references_;
    QHash<QString, QList<int>> byName_;  // reference indexes by the name they hold
    QSet<QString> positions_;
    QHash<QString, int> firstCell_;
    QSet<QString> objects_;
    QStringList scripts_;  // script file names, sorted
};

}  // namespace orv
