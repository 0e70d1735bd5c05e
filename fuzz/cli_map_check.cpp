// A map file may be anything: its check must list problems only of the named
// cells, in cell order, as JSON that parses back to the same list, and the
// plain lines must hold no control character.
#include "FuzzCheck.h"

#include "document/MapCheck.h"
#include "core/ListFile.h"
#include "map/MapModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList lines =
        orv::ListFile::splitLines(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    // As the map file is read: padded or cut to the map's lines.
    lines.resize(orv::MapModel::LineCount);

    const QList<orv::MapCheck::Problem> problems = orv::MapCheck::problems(lines);
    int previous = -1;
    for (const orv::MapCheck::Problem& p : problems) {
        FUZZ_REQUIRE(p.cell >= previous && p.cell < orv::MapModel::Cells);
        FUZZ_REQUIRE(!p.name.isEmpty() && p.name == lines.at(2 * p.cell));
        previous = p.cell;
        for (QChar c : orv::MapCheck::describe(p))
            FUZZ_REQUIRE(c.unicode() >= 0x20 && !(c.unicode() >= 0x7F && c.unicode() <= 0x9F));
    }

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(orv::MapCheck::toJson(problems), &error);
    FUZZ_REQUIRE(error.error == QJsonParseError::NoError && document.isArray());
    const QJsonArray array = document.array();
    FUZZ_REQUIRE(array.size() == problems.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonObject object = array.at(i).toObject();
        FUZZ_REQUIRE(object.value(QStringLiteral("celula")).toInt(-1) == problems.at(i).cell);
        FUZZ_REQUIRE(object.value(QStringLiteral("posicao")).toString() == problems.at(i).name);
        FUZZ_REQUIRE(object.value(QStringLiteral("problema")).toString() == orv::MapCheck::kindKey(problems.at(i).kind));
    }
    return 0;
}
