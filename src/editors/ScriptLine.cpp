#include "ScriptLine.h"

namespace orv {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// The name of a header runs to the trailer of "=" signs after one space; a
// header cut short of its trailer names everything after the colon.
ScriptLine header(const QString& line, int nameStart, ScriptLine::Kind kind) {
    ScriptLine parsed;
    parsed.kind = kind;
    int end = int(line.size());
    while (end > nameStart && isBlank(line.at(end - 1)))
        --end;
    int trailer = end;
    while (trailer > nameStart && line.at(trailer - 1) == QLatin1Char('='))
        --trailer;
    if (trailer < end && trailer > nameStart && line.at(trailer - 1) == QLatin1Char(' '))
        end = trailer - 1;
    parsed.valueStart = nameStart;
    parsed.valueLength = end - nameStart;
    return parsed;
}

}  // namespace

bool ScriptLine::isKeyword(QStringView word) {
    static const char* const kKeywords[] = {"setmode", "retscp", "telpos", "norte", "leste",
                                            "sul",     "oeste",  "msg",    "fim"};
    for (const char* keyword : kKeywords)
        if (word == QLatin1String(keyword))
            return true;
    return false;
}

bool ScriptLine::isExit() const {
    return kind == Kind::Keyword && (keyword == QLatin1String("norte") || keyword == QLatin1String("leste") ||
                                     keyword == QLatin1String("sul") || keyword == QLatin1String("oeste"));
}

ScriptLine ScriptLine::parse(const QString& line) {
    static const QString kPosition = QStringLiteral("//=== Posição: ");
    static const QString kObject = QStringLiteral("//=== Objeto: ");
    if (line.startsWith(kPosition))
        return header(line, int(kPosition.size()), Kind::PositionHeader);
    if (line.startsWith(kObject))
        return header(line, int(kObject.size()), Kind::ObjectHeader);

    ScriptLine parsed;
    const int size = int(line.size());
    int i = 0;
    while (i < size && isBlank(line.at(i)))
        ++i;
    const int wordStart = i;
    while (i < size && line.at(i) >= QLatin1Char('a') && line.at(i) <= QLatin1Char('z'))
        ++i;
    const QStringView word = QStringView(line).mid(wordStart, i - wordStart);
    if (!isKeyword(word))
        return parsed;
    if (word == QLatin1String("fim")) {
        int rest = i;
        while (rest < size && isBlank(line.at(rest)))
            ++rest;
        if (rest < size && line.at(rest) != QLatin1Char('='))
            return parsed;
    } else if (i >= size || line.at(i) != QLatin1Char('=')) {
        return parsed;
    }
    parsed.kind = Kind::Keyword;
    parsed.keyword = word.toString();
    parsed.keywordStart = wordStart;
    if (i < size && line.at(i) == QLatin1Char('=')) {
        int start = i + 1;
        while (start < size && isBlank(line.at(start)))
            ++start;
        int end = size;
        while (end > start && isBlank(line.at(end - 1)))
            --end;
        parsed.valueStart = start;
        parsed.valueLength = end - start;
    }
    return parsed;
}

}  // namespace orv
