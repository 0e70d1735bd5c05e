// Object files and the current-status list come from hand edits and the
// server. Whatever they hold, the edited fields must land on lines 1 to 5 of
// the right record, every other line must be written back as it was read, and
// a new object must start on a record boundary.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "editors/ObjectStore.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

using namespace orv;

namespace {

fuzz::ScratchFolder* const folder = &fuzz::scratchFolder();

// A field as the author types it into one line of the window.
QString fieldFrom(FuzzedDataProvider& in) {
    QString text = cp1252::decode(QByteArray::fromStdString(in.ConsumeRandomLengthString(24)));
    text.remove(u'\r');
    text.remove(u'\n');
    return text;
}

ObjectStatus statusFrom(FuzzedDataProvider& in) {
    return {fieldFrom(in), fieldFrom(in), fieldFrom(in), fieldFrom(in), fieldFrom(in)};
}

bool sameStatus(const ObjectStatus& a, const ObjectStatus& b) {
    return a.nom == b.nom && a.dsc == b.dsc && a.loc == b.loc && a.shp == b.shp && a.tag == b.tag;
}

void requireFieldsAt(const QStringList& lines, int first, const ObjectStatus& s) {
    FUZZ_REQUIRE(lines.size() >= first + ObjectStore::RecordLines);
    FUZZ_REQUIRE(sameStatus(ObjectStore::statusAt(lines, first), s));
}

// Every line outside the edited fields of the record at `first` is as before;
// lines the record lacked were added.
void requireRestKept(const QStringList& before, const QStringList& after, int first) {
    FUZZ_REQUIRE(after.size() == qMax<qsizetype>(before.size(), first + ObjectStore::RecordLines));
    for (qsizetype i = 0; i < before.size(); ++i)
        if (i <= first || i > first + 5)
            FUZZ_REQUIRE(after[i] == before[i]);
}

void objectFile(FuzzedDataProvider& in) {
    const ObjectStatus status = statusFrom(in);
    const QByteArray bytes = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
    folder->write(QStringLiteral("bau.obj"), bytes);
    const QStringList before = ListFile::splitLines(bytes);

    const ObjectStatus initial = ObjectStore::readInitial(folder->path(), QStringLiteral("bau"));
    FUZZ_REQUIRE(sameStatus(initial, ObjectStore::statusAt(before, 0)));

    ObjectStore::saveInitial(folder->path(), QStringLiteral("bau"), status);
    const QStringList after = ListFile::splitLines(folder->read(QStringLiteral("bau.obj")));
    requireFieldsAt(after, 0, status);
    requireRestKept(before, after, 0);
    if (before.isEmpty())
        FUZZ_REQUIRE(after[0] == QLatin1String("bau"));
    FUZZ_REQUIRE(sameStatus(ObjectStore::readInitial(folder->path(), QStringLiteral("bau")), status));
}

void currentStatus(FuzzedDataProvider& in) {
    const int pick = in.ConsumeIntegral<std::uint8_t>();
    const ObjectStatus status = statusFrom(in);
    const QString newName = cp1252::decode(QByteArray::fromStdString(in.ConsumeRandomLengthString(12)));
    const QStringList before = ListFile::splitLines(QByteArray::fromStdString(in.ConsumeRemainingBytesAsString()));

    // The key of some record, or a name that may have none.
    const int records = int((before.size() + ObjectStore::RecordLines - 1) / ObjectStore::RecordLines);
    const QString name = pick < records ? before[pick * ObjectStore::RecordLines] : QStringLiteral("ausente");

    const QList<int> found = ObjectStore::recordsOf(before, name);
    int previous = -1;
    for (int first : found) {
        FUZZ_REQUIRE(first > previous && first % ObjectStore::RecordLines == 0 && before[first] == name);
        previous = first;
    }
    for (int first = 0; first < before.size(); first += ObjectStore::RecordLines)
        FUZZ_REQUIRE((before[first] == name) == found.contains(first));

    QStringList lines = before;
    const bool saved = ObjectStore::saveCurrent(folder->path(), QStringLiteral("Vale"), lines, name, status);
    FUZZ_REQUIRE(saved == !found.isEmpty());
    if (saved) {
        requireFieldsAt(lines, found.first(), status);
        requireRestKept(before, lines, found.first());
        FUZZ_REQUIRE(ListFile::splitLines(folder->read(QStringLiteral("Vale.obx"))) == lines);
    } else {
        FUZZ_REQUIRE(lines == before && !folder->exists(QStringLiteral("Vale.obx")));
    }

    // A new object: its record appended on a record boundary, nothing else
    // of the list changed.
    folder->clear();
    const QStringList current = lines;
    try {
        const ObjectStore::CreateOutcome outcome =
            ObjectStore::create(folder->path(), QStringLiteral("Vale"), lines, newName);
        if (outcome != ObjectStore::CreateOutcome::Created) {
            FUZZ_REQUIRE(lines == current && !folder->exists(QStringLiteral("Vale.obx")));
            return;
        }
    } catch (const OrvalisError&) {
        // A name the file system refuses; nothing of the list may change.
        FUZZ_REQUIRE(lines == current);
        return;
    }
    FUZZ_REQUIRE(!newName.contains(u'/') && !newName.contains(u'.'));
    FUZZ_REQUIRE(lines.size() % ObjectStore::RecordLines == 0 && lines.size() >= current.size() + ObjectStore::RecordLines);
    FUZZ_REQUIRE(lines.mid(lines.size() - ObjectStore::RecordLines) == ObjectStore::newRecord(newName));
    FUZZ_REQUIRE(lines.mid(0, current.size()) == current);
    FUZZ_REQUIRE(ObjectStore::recordsOf(lines, newName) == QList<int>{int(lines.size()) - ObjectStore::RecordLines});
    FUZZ_REQUIRE(ListFile::splitLines(folder->read(QStringLiteral("Vale.obx"))) == lines);
    FUZZ_REQUIRE(ListFile::splitLines(folder->read(newName + QStringLiteral(".obj"))) == ObjectStore::newRecord(newName));
    FUZZ_REQUIRE(ListFile::splitLines(folder->read(QStringLiteral("Vale.obz"))).value(0) == newName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    folder->clear();
    if (in.ConsumeBool())
        objectFile(in);
    else
        currentStatus(in);
    return 0;
}
