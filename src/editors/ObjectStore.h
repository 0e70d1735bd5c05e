#pragma once
#include <QString>
#include <QStringList>

namespace orv {

// The fields of an object record that the author edits: lines 1 to 5.
struct ObjectStatus {
    QString nom;  // display name
    QString dsc;  // description
    QString loc;  // location
    QString shp;  // picture file, relative to the adventure folder
    QString tag;
};

// The adventure's object files. An object record is eight lines: the name,
// the five edited fields, and two values that belong to the game player. The
// object file (name.obj) holds one record, the initial status; the
// current-status list (adventure.obx) holds every object's record back to
// back; the roster (adventure.obz) names every object, one per line.
namespace ObjectStore {

constexpr int RecordLines = 8;

// The object an entry of the object list stands for: its file name up to the
// first dot.
QString objectNameOf(const QString& fileName);

// The display name given at creation: first character upper-cased and the
// rest lower-cased, ASCII letters only.
QString displayNameFor(const QString& name);

QStringList newRecord(const QString& name);
QStringList objectBlock(const QString& name);

// Line `line` of a list, empty when the list is shorter: records cut short
// by hand read as empty fields instead of failing.
QString lineAt(const QStringList& lines, int line);

// The first line of every record of the current-status list whose key is
// `name`, compared exactly, in list order.
QList<int> recordsOf(const QStringList& currentStatus, const QString& name);

ObjectStatus statusAt(const QStringList& lines, int first);

// The initial status from the object file; throws when it cannot be read.
ObjectStatus readInitial(const QString& adventureFolder, const QString& name);

// Replaces lines 1 to 5 of the object file. A file cut short is completed
// to a whole record first.
void saveInitial(const QString& adventureFolder, const QString& name, const ObjectStatus& status);

// Replaces lines 1 to 5 of the first record of `name` and writes the whole
// list to the .obx file. Returns false, writing nothing, when the object has
// no record.
bool saveCurrent(const QString& adventureFolder, const QString& adventureName, QStringList& currentStatus,
                 const QString& name, const ObjectStatus& status);

enum class CreateOutcome {
    Created,
    Duplicate,         // a record of that name is in the current-status list
    UnusableName,      // not a file name, or it would not read back as this name
    ObjectFileExists,  // name.obj is there without a record
    ScriptExists,      // name.scp is there: another object's or a position's script
};

// Creates an object: its record appended to the current-status list (and the
// list written), its object file, its script and its roster line. Nothing is
// written unless the outcome is Created; a file error is thrown.
CreateOutcome create(const QString& adventureFolder, const QString& adventureName, QStringList& currentStatus,
                     const QString& name);

}  // namespace ObjectStore

}  // namespace orv
