#include "ReferenceReport.h"

#include "document/PlainText.h"
#include "document/Rename.h"

namespace orv::ReferenceReport {

namespace {

QString place(const QString& file, int line) {
    return line > 0 ? QStringLiteral("%1:%2").arg(shownText(file)).arg(line) : shownText(file);
}

void appendField(QByteArray& out, const char* name, const QString& value, bool first = false) {
    if (!first)
        out += ", ";
    out += '"';
    out += name;
    out += "\": ";
    appendJsonString(out, value);
}

void appendLine(QByteArray& out, int line) {
    out += ", \"linha\": " + (line > 0 ? QByteArray::number(line) : QByteArray("null"));
}

QByteArray array(const QList<QByteArray>& objects) {
    if (objects.isEmpty())
        return "[]\n";
    QByteArray out = "[";
    for (qsizetype i = 0; i < objects.size(); ++i)
        out += (i == 0 ? "\n  " : ",\n  ") + objects.at(i);
    return out + "\n]\n";
}

}  // namespace

QString referenceLine(const Reference& reference) {
    return QStringLiteral("%1: %2: %3")
        .arg(place(reference.file, reference.line), referenceKindKey(reference.kind), shownText(reference.text));
}

QString problemLine(const ReferenceProblem& problem) {
    if (!problem.mapLine.isEmpty())
        return problem.mapLine;
    return QStringLiteral("%1: %2: %3").arg(place(problem.file, problem.line), problem.kind,
                                            shownText(problem.message));
}

QByteArray usesJson(const QList<Reference>& references) {
    QList<QByteArray> objects;
    for (const Reference& r : references) {
        QByteArray o = "{";
        appendField(o, "arquivo", r.file, true);
        appendLine(o, r.line);
        appendField(o, "tipo", referenceKindKey(r.kind));
        appendField(o, "texto", r.text);
        objects.append(o + '}');
    }
    return array(objects);
}

QByteArray problemsJson(const QList<ReferenceProblem>& problems) {
    QList<QByteArray> objects;
    for (const ReferenceProblem& p : problems) {
        QByteArray o = "{";
        bool first = true;
        if (!p.mapLine.isEmpty()) {
            o += "\"celula\": " + QByteArray::number(p.cell);
            appendField(o, "posicao", p.position);
            appendField(o, "problema", p.kind);
            o += ", \"direcao\": ";
            if (p.direction.isEmpty())
                o += "null";
            else
                appendJsonString(o, p.direction);
            first = false;
        }
        appendField(o, "tipo", p.kind, first);
        appendField(o, "arquivo", p.file);
        appendLine(o, p.line);
        appendField(o, "mensagem", p.message);
        objects.append(o + '}');
    }
    return array(objects);
}

QStringList planLines(const RenamePlan& plan) {
    QStringList lines;
    for (const auto& [from, to] : plan.renamedFiles)
        lines.append(QStringLiteral("%1: arquivo: renomeado para %2").arg(shownText(from), shownText(to)));
    for (const Reference& r : plan.rewritten)
        lines.append(referenceLine(r));
    for (const Reference& r : plan.mentions)
        lines.append(referenceLine(r) + QStringLiteral("  (fica como está)"));
    return lines;
}

}  // namespace orv::ReferenceReport
