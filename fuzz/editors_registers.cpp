// Register files come from hand edits and the server, and the registers text
// is whatever the author typed. Any pair of files must show as 251 aligned
// lines; saving them untouched must keep every value and every line past the
// last register; and any text must split into lines that save and show again
// the same way.
#include "FuzzCheck.h"
#include "FuzzFolder.h"
#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "editors/Registers.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

using namespace orv;

namespace {

fuzz::ScratchFolder* const folder = &fuzz::scratchFolder();

void requireShownAligned(const QStringList& lines) {
    FUZZ_REQUIRE(lines.size() == Registers::kCount);
    for (const QString& line : lines)
        FUZZ_REQUIRE(line.size() > Registers::kNameField && line[Registers::kNameField - 1] == u':' &&
                line[Registers::kNameField] == u' ');
}

void files(FuzzedDataProvider& in) {
    const QByteArray names = QByteArray::fromStdString(in.ConsumeRandomLengthString(4096));
    const QByteArray values = QByteArray::fromStdString(in.ConsumeRemainingBytesAsString());
    folder->write(QStringLiteral("Vale.rgs"), values);
    const bool withNames = !names.isEmpty();
    if (withNames)
        folder->write(QStringLiteral("Vale.rgx"), names);

    Registers registers(folder->path(), QStringLiteral("Vale"));
    bool created = false;
    const QStringList shown = registers.fill([&] { created = true; });
    FUZZ_REQUIRE(created == !withNames);
    requireShownAligned(shown);

    registers.save(shown);
    const QStringList valuesBefore = ListFile::splitLines(values);
    const QStringList valuesAfter = ListFile::splitLines(folder->read(QStringLiteral("Vale.rgs")));
    const QStringList namesAfter = ListFile::splitLines(folder->read(QStringLiteral("Vale.rgx")));
    FUZZ_REQUIRE(valuesAfter.size() == qMax<qsizetype>(valuesBefore.size(), Registers::kCount));
    FUZZ_REQUIRE(namesAfter.size() >= Registers::kCount);
    // Names are saved whole, less blanks and the colon that ends them, or as
    // the register's number when there is none.
    QStringList namesBefore = ListFile::splitLines(names);
    if (!withNames)
        for (qsizetype n = 0; n < valuesBefore.size(); ++n)
            namesBefore << QString::number(n) + u':';
    for (int n = 0; n < namesAfter.size(); ++n) {
        QString name = Registers::trimmed(namesBefore.value(n));
        if (n >= Registers::kCount) {
            FUZZ_REQUIRE(namesAfter[n] == namesBefore.value(n));
            continue;
        }
        if (name.isEmpty())
            name = QString::number(n);
        else if (name.endsWith(u':'))
            name = Registers::trimmed(name.chopped(1));
        FUZZ_REQUIRE(namesAfter[n] == name);
    }
    for (int n = 0; n < valuesAfter.size(); ++n) {
        const QString before = valuesBefore.value(n);
        // Values are saved trimmed; past the registers, as they were.
        FUZZ_REQUIRE(valuesAfter[n] == (n < Registers::kCount ? Registers::trimmed(before) : before));
    }

    // From then on the files are stable: showing and saving again changes nothing.
    const QByteArray savedNames = folder->read(QStringLiteral("Vale.rgx"));
    const QByteArray savedValues = folder->read(QStringLiteral("Vale.rgs"));
    Registers again(folder->path(), QStringLiteral("Vale"));
    const QStringList reshown = again.fill();
    requireShownAligned(reshown);
    again.save(reshown);
    // (A name saved empty, as from a lone colon, shows as its number.)
    const QStringList first = ListFile::splitLines(savedNames);
    const QStringList second = ListFile::splitLines(folder->read(QStringLiteral("Vale.rgx")));
    FUZZ_REQUIRE(first.size() == second.size());
    for (int n = 0; n < first.size(); ++n)
        FUZZ_REQUIRE(second[n] == first[n] || (first[n].isEmpty() && n < Registers::kCount && second[n] == QString::number(n)));
    FUZZ_REQUIRE(folder->read(QStringLiteral("Vale.rgs")) == savedValues);
}

// What the author typed, as the text box gives it.
void text(FuzzedDataProvider& in) {
    const bool codePage = in.ConsumeBool();
    const std::string raw = in.ConsumeRemainingBytesAsString();
    const QString rawText = codePage ? cp1252::decode(QByteArray::fromStdString(raw))
                                     : QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    const QStringList lines = Registers::textLines(rawText);
    FUZZ_REQUIRE(!lines.isEmpty());
    for (int n = 0; n < lines.size(); ++n) {
        const QString& line = lines[n];
        for (const QChar c : {QChar(u'\r'), QChar(u'\n'), QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)})
            FUZZ_REQUIRE(!line.contains(c));

        const auto [name, value] = Registers::splitLine(line);
        FUZZ_REQUIRE(!name.contains(u':'));
        FUZZ_REQUIRE(Registers::trimmed(name) == name && Registers::trimmed(value) == value);
        // A line saved and shown again splits into the same name and value.
        const QString reshown = Registers::registerLine(name, value, n);
        FUZZ_REQUIRE(reshown.size() >= Registers::kNameField + 1 && reshown[Registers::kNameField - 1] == u':');
        const auto [name2, value2] = Registers::splitLine(reshown);
        if (name.size() < Registers::kNameField && !name.isEmpty())
            FUZZ_REQUIRE(name2 == name);
        FUZZ_REQUIRE(value2 == value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    folder->clear();
    if (in.ConsumeBool())
        files(in);
    else
        text(in);
    return 0;
}
