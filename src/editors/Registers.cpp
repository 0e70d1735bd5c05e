#include "Registers.h"

#include "ScriptText.h"

#include "core/ListFile.h"

namespace orv {

namespace {
QString lineOrEmpty(const QStringList& lines, int n) {
    return n < lines.size() ? lines[n] : QString();
}

// The name as the text shows it, colon included, before right-aligning.
QString nameWithColon(const QString& nameLine, int number) {
    QString name = Registers::trimmed(nameLine);
    if (name.isEmpty())
        name = QString::number(number);
    if (!name.endsWith(QLatin1Char(':')))
        name += QLatin1Char(':');
    return name;
}
}  // namespace

Registers::Registers(QString adventureFolder, QString adventureName)
    : folder_(std::move(adventureFolder)), name_(std::move(adventureName)) {}

QString Registers::valueFile() const {
    return folder_ + name_ + QStringLiteral(".rgs");
}

QString Registers::nameFile() const {
    return folder_ + name_ + QStringLiteral(".rgx");
}

QString Registers::trimmed(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

QString Registers::registerLine(const QString& name, const QString& value, int number) {
    return (QString(kNameField - 1, QLatin1Char(' ')) + nameWithColon(name, number)).right(kNameField) +
           QLatin1Char(' ') + value;
}

std::pair<QString, QString> Registers::splitLine(const QString& line) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {QString(), trimmed(line)};
    return {trimmed(line.left(colon)), trimmed(line.mid(colon + 1))};
}

QStringList Registers::textLines(const QString& rawText) {
    return ScriptText::plainBreaks(rawText).split(QLatin1Char('\n'));
}

QStringList Registers::fill(const std::function<void()>& nameFileCreated) {
    const QStringList values = ListFile::read(valueFile());
    if (!fileExists(nameFile())) {
        QStringList generated;
        generated.reserve(values.size());
        for (qsizetype n = 0; n < values.size(); ++n)
            generated << QString::number(n) + QLatin1Char(':');
        ListFile::write(nameFile(), generated);
        if (nameFileCreated)
            nameFileCreated();
    }
    const QStringList names = ListFile::read(nameFile());

    QStringList lines;
    QList<Unshowable> unshowable(kCount);
    for (int n = 0; n < kCount; ++n) {
        const QString nameLine = lineOrEmpty(names, n);
        const QString value = lineOrEmpty(values, n);
        const QString line = registerLine(nameLine, value, n);
        lines << line;
        // A name longer than the field loses its first characters on screen,
        // and a colon in a name moves the split between name and value;
        // remember the name whole, so that saving an untouched line keeps
        // both it and the value.
        QString name = nameWithColon(nameLine, n);
        name.chop(1);
        name = trimmed(name);
        const QString field = line.left(kNameField);
        const QString shownName = splitLine(field).first;
        if (shownName != name)
            unshowable[n] = {true, shownName, trimmed(field.mid(field.indexOf(QLatin1Char(':')) + 1)), name};
    }
    unshowable_ = std::move(unshowable);
    extraNames_ = names.mid(kCount);
    extraValues_ = values.mid(kCount);
    return lines;
}

void Registers::save(const QStringList& lines) const {
    QStringList names;
    QStringList values;
    for (int n = 0; n < kCount; ++n) {
        auto [name, value] = splitLine(lineOrEmpty(lines, n));
        if (n < unshowable_.size()) {
            const Unshowable& u = unshowable_[n];
            if (u.present && name == u.shownName && value.startsWith(u.rest)) {
                name = u.name;
                value = trimmed(value.mid(u.rest.size()));
            }
        }
        names << name;
        values << value;
    }
    ListFile::write(nameFile(), names + extraNames_);
    ListFile::write(valueFile(), values + extraValues_);
}

}  // namespace orv
