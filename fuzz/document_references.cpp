// The adventure's files as the reference index reads them: a map, two
// scripts, an object file, the current-status list, the roster and the
// settings list, each any bytes (the input is cut at NUL bytes). Whatever
// they hold, every reference stands where it says in its line, the reports
// carry no control character, the JSON reads back, a rename plan rewrites
// only names, and replacing no line keeps every byte.
#include "FuzzCheck.h"
#include "document/ReferenceIndex.h"
#include "document/ReferenceReport.h"
#include "document/Rename.h"
#include "editors/ScriptLine.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdint>

using namespace orv;

namespace {

bool hasControl(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir temp;
    static const char* const kNames[] = {"F.map", "a.scp", "b.scp", "o.obj", "F.obx", "F.obz", "F.ini"};
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\0');
    const QString folder = temp.path() + QStringLiteral("/F/");
    QDir().mkpath(folder);
    for (int i = 0; i < 7; ++i) {
        QFile file(folder + QLatin1String(kNames[i]));
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(i < parts.size() ? parts.at(i) : QByteArray());
        FUZZ_REQUIRE(Rename::replaceLines(i < parts.size() ? parts.at(i) : QByteArray(), {}) ==
                     (i < parts.size() ? parts.at(i) : QByteArray()));
    }

    ReferenceIndex index;
    index.refresh(folder, QStringLiteral("F"));
    for (const Reference& r : index.references()) {
        FUZZ_REQUIRE(r.start >= 0 && r.length >= 0 && r.start + r.length <= r.text.size());
        FUZZ_REQUIRE(r.text.mid(r.start, r.length) == r.name);
        FUZZ_REQUIRE(!hasControl(ReferenceReport::referenceLine(r)));
        const ScriptLine line = ScriptLine::parse(r.text);
        FUZZ_REQUIRE(line.valueStart < 0 || line.valueStart + line.valueLength <= r.text.size());
    }
    const QList<ReferenceProblem> problems = index.problems(index.positions().value(0));
    for (const ReferenceProblem& p : problems)
        FUZZ_REQUIRE(!hasControl(ReferenceReport::problemLine(p)));
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(ReferenceReport::problemsJson(problems), &error);
    FUZZ_REQUIRE(error.error == QJsonParseError::NoError && json.array().size() == problems.size());

    QStringList names = index.positions() + index.objects();
    for (const QString& name : names.mid(0, 4)) {
        const QList<Reference> uses = index.usesOf(name);
        // A position is always named by its map line (an object may be only
        // an empty object file).
        FUZZ_REQUIRE(!uses.isEmpty() || !index.isPosition(name));
        const RenamePlan plan = Rename::plan(index, name, QStringLiteral("Zz9"));
        if (!plan.canBeDone())
            continue;
        for (const Reference& r : plan.rewritten)
            FUZZ_REQUIRE(r.text.mid(r.start, r.length).startsWith(QStringLiteral("Zz9")));
    }
    return 0;
}
