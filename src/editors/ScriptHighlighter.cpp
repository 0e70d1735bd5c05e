#include "ScriptHighlighter.h"

#include <QColor>
#include <QFont>

namespace orv {

namespace {

// The keyword with its "=" ("fim" stands without one).
int keywordLength(const ScriptLine& parsed, const QString& text) {
    const int end = parsed.keywordStart + int(parsed.keyword.size());
    return int(parsed.keyword.size()) + (end < text.size() && text.at(end) == QLatin1Char('=') ? 1 : 0);
}

}  // namespace

ScriptHighlighter::ScriptHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

bool ScriptHighlighter::namesMissing(const QString& line) const {
    const ScriptLine parsed = ScriptLine::parse(line);
    if (parsed.kind != ScriptLine::Kind::Keyword)
        return false;
    const QString value = parsed.valueIn(line);
    if (value.isEmpty())
        return false;
    if (parsed.isExit())
        return isPosition_ && !isPosition_(value);
    if (parsed.keyword == QLatin1String("telpos"))
        return isPicture_ && !isPicture_(value);
    return false;
}

QTextCharFormat ScriptHighlighter::headerFormat() {
    QTextCharFormat f;
    f.setForeground(QColor(0, 100, 0));
    f.setFontWeight(QFont::Bold);
    return f;
}

QTextCharFormat ScriptHighlighter::keywordFormat() {
    QTextCharFormat f;
    f.setForeground(QColor(0, 0, 128));
    f.setFontWeight(QFont::Bold);
    return f;
}

QTextCharFormat ScriptHighlighter::valueFormat() {
    QTextCharFormat f;
    f.setForeground(QColor(128, 0, 0));
    return f;
}

QTextCharFormat ScriptHighlighter::missingFormat() {
    QTextCharFormat f = valueFormat();
    f.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    f.setUnderlineColor(Qt::red);
    return f;
}

void ScriptHighlighter::highlightBlock(const QString& text) {
    const ScriptLine parsed = ScriptLine::parse(text);
    switch (parsed.kind) {
    case ScriptLine::Kind::PositionHeader:
    case ScriptLine::Kind::ObjectHeader:
        setFormat(0, int(text.size()), headerFormat());
        return;
    case ScriptLine::Kind::Keyword:
        setFormat(parsed.keywordStart, keywordLength(parsed, text), keywordFormat());
        if (parsed.valueStart >= 0 && parsed.valueLength > 0)
            setFormat(parsed.valueStart, parsed.valueLength, namesMissing(text) ? missingFormat() : valueFormat());
        return;
    case ScriptLine::Kind::Other:
        return;
    }
}

}  // namespace orv
