#pragma once
#include "document/ReferenceIndex.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orv {

struct RenamePlan;

// The references and problems as the command line prints them and the
// references window lists them.
namespace ReferenceReport {

// "Cabana.scp:7: saida:   oeste= Clareira"
QString referenceLine(const Reference& reference);
// The map's problems as the map check has always printed them; the others
// "Cabana.scp:7: saida-sem-posicao: ...", or "sino.mp3: nao-usado: ..." for
// a whole file.
QString problemLine(const ReferenceProblem& problem);
// A JSON array of {"arquivo", "linha", "tipo", "texto"}.
QByteArray usesJson(const QList<Reference>& references);
// A JSON array of {"tipo", "arquivo", "linha", "mensagem"} (linha null for a
// whole file); the map's problems keep "celula", "posicao", "problema" and
// "direcao" too.
QByteArray problemsJson(const QList<ReferenceProblem>& problems);
// What a rename does, one line each: the files renamed, the lines as they
// will read, the mentions left as they are.
QStringList planLines(const RenamePlan& plan);

}  // namespace ReferenceReport

}  // namespace orv
