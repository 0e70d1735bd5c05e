#include "ScriptText.h"

#include "core/Cp1252.h"

namespace orv {

QString ScriptText::fromFile(const QByteArray& bytes) {
    QString text = cp1252::decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString ScriptText::plainBreaks(const QString& editorText) {
    QString text = editorText;
    // The editor's document keeps its breaks as paragraph separators, and
    // Shift+Enter inserts a line separator: both are line breaks in the file.
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QByteArray ScriptText::toFile(const QString& text) {
    QString lines = plainBreaks(text);
    // Every line is ended, the last one too; an empty text has no line.
    if (!lines.isEmpty() && !lines.endsWith(QLatin1Char('\n')))
        lines += QLatin1Char('\n');
    return cp1252::encode(lines.replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
}

QString ScriptText::handOffName(const QString& scriptFileName) {
    return scriptFileName.left(qMax<qsizetype>(0, scriptFileName.size() - 4));
}

}  // namespace orv
