#include "ObjectStore.h"

#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "map/MapCompiler.h"

namespace orv::ObjectStore {

namespace {

QString objectFile(const QString& folder, const QString& name) {
    return folder + name + QStringLiteral(".obj");
}

// Fills a record that stops short of eight lines, so that the record after
// it, and every field write, lands where the game player looks for it. The
// missing lines get the values a new record starts with, but no invented name.
void completeRecord(QStringList& lines, int first, const QString& name) {
    const QStringList fill{name, QString(), QString(), QString(), QString(), QStringLiteral("-"),
                           QStringLiteral("0"), QStringLiteral("0")};
    while (lines.size() < first + RecordLines)
        lines.append(fill[lines.size() - first]);
}

void putStatus(QStringList& lines, int first, const ObjectStatus& s) {
    lines[first + 1] = s.nom;
    lines[first + 2] = s.dsc;
    lines[first + 3] = s.loc;
    lines[first + 4] = s.shp;
    lines[first + 5] = s.tag;
}

char16_t asciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}
char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// A name becomes a file name, the key of its records and a line of three
// list files. It must be a file name of this folder, have no dot (the list
// takes the name up to the first dot, so "a.b" would come back as "a"), and
// survive the code page of the list files unchanged.
bool isUsableObjectName(const QString& name) {
    return MapCompiler::isUsableFileName(name) && !name.contains(QLatin1Char('.')) &&
           cp1252::decode(cp1252::encode(name)) == name;
}

}  // namespace

QString objectNameOf(const QString& fileName) {
    return fileName.section(QLatin1Char('.'), 0, 0);
}

QString displayNameFor(const QString& name) {
    QString display = name;
    for (qsizetype i = 0; i < display.size(); ++i) {
        const char16_t c = display[i].unicode();
        display[i] = QChar(i == 0 ? asciiUpper(c) : asciiLower(c));
    }
    return display;
}

QStringList newRecord(const QString& name) {
    return {name,          displayNameFor(name), QStringLiteral("um(a) ") + name, QString(), QString(),
            QStringLiteral("-"), QStringLiteral("0"), QStringLiteral("0")};
}

QStringList objectBlock(const QString& name) {
    return {QStringLiteral("//=== Objeto: ") + name + QStringLiteral(" ================="),
            QStringLiteral("retscp= ") + name, QStringLiteral("fim")};
}

QString lineAt(const QStringList& lines, int line) {
    return line >= 0 && line < lines.size() ? lines[line] : QString();
}

QList<int> recordsOf(const QStringList& currentStatus, const QString& name) {
    QList<int> found;
    for (int first = 0; first < currentStatus.size(); first += RecordLines)
        if (currentStatus[first] == name)
            found.append(first);
    return found;
}

ObjectStatus statusAt(const QStringList& lines, int first) {
    return {lineAt(lines, first + 1), lineAt(lines, first + 2), lineAt(lines, first + 3),
            lineAt(lines, first + 4),
            lines.size() > first + 5 ? lines[first + 5] : QStringLiteral("-")};
}

ObjectStatus readInitial(const QString& adventureFolder, const QString& name) {
    return statusAt(ListFile::read(objectFile(adventureFolder, name)), 0);
}

void saveInitial(const QString& adventureFolder, const QString& name, const ObjectStatus& status) {
    const QString path = objectFile(adventureFolder, name);
    QStringList lines = ListFile::read(path);
    completeRecord(lines, 0, name);
    putStatus(lines, 0, status);
    ListFile::write(path, lines);
}

bool saveCurrent(const QString& adventureFolder, const QString& adventureName, QStringList& currentStatus,
                 const QString& name, const ObjectStatus& status) {
    const QList<int> found = recordsOf(currentStatus, name);
    if (found.isEmpty())
        return false;
    // Changed on a copy: a list that cannot be written stays as it was in
    // memory too, rather than being written at program end half-changed.
    QStringList lines = currentStatus;
    completeRecord(lines, found.first(), name);
    putStatus(lines, found.first(), status);
    ListFile::write(adventureFolder + adventureName + QStringLiteral(".obx"), lines);
    currentStatus = lines;
    return true;
}

CreateOutcome create(const QString& adventureFolder, const QString& adventureName, QStringList& currentStatus,
                     const QString& name) {
    if (!recordsOf(currentStatus, name).isEmpty())
        return CreateOutcome::Duplicate;
    if (!isUsableObjectName(name))
        return CreateOutcome::UnusableName;
    // The duplicate check sees only the current-status list; an object file
    // or script already on disk would be overwritten without these.
    if (fileExists(objectFile(adventureFolder, name)))
        return CreateOutcome::ObjectFileExists;
    const QString scriptPath = adventureFolder + name + QStringLiteral(".scp");
    if (fileExists(scriptPath))
        return CreateOutcome::ScriptExists;

    // Read the roster before anything is written, so that an unreadable
    // roster stops the creation with no file changed.
    const QString rosterPath = adventureFolder + adventureName + QStringLiteral(".obz");
    QStringList roster = fileExists(rosterPath) ? ListFile::read(rosterPath) : QStringList();

    const QStringList record = newRecord(name);
    QStringList lines = currentStatus;
    // A last record cut short would shift the new one off its eight-line place.
    if (lines.size() % RecordLines != 0)
        completeRecord(lines, lines.size() - lines.size() % RecordLines,
                       lines[lines.size() - lines.size() % RecordLines]);
    lines += record;
    ListFile::write(adventureFolder + adventureName + QStringLiteral(".obx"), lines);
    currentStatus = lines;

    ListFile::write(objectFile(adventureFolder, name), record);
    ListFile::write(scriptPath, objectBlock(name));
    roster.append(name);
    ListFile::write(rosterPath, roster);
    return CreateOutcome::Created;
}

}  // namespace orv::ObjectStore
