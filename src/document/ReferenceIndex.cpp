#include "ReferenceIndex.h"

#include "core/ListFile.h"
#include "document/MapCheck.h"
#include "editors/ObjectStore.h"
#include "editors/ScriptLine.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace orv {

namespace {

// The settings lines that name the opening screen and the panel picture.
constexpr int kOpeningLine = 13;
constexpr int kPanelLine = 14;

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Whether `name` stands in `line` as a whole word: nothing of a word right
// before or after it.
bool holdsWord(const QString& line, const QString& name) {
    if (name.isEmpty())
        return false;
    for (qsizetype at = line.indexOf(name); at >= 0; at = line.indexOf(name, at + 1)) {
        const qsizetype end = at + name.size();
        const bool before = at == 0 || !isWordChar(line.at(at - 1)) || !isWordChar(name.front());
        const bool after = end == line.size() || !isWordChar(line.at(end)) || !isWordChar(name.back());
        if (before && after)
            return true;
    }
    return false;
}

// The words of a line a file name could be: blank-separated, without the
// quotes and punctuation around them.
QStringList wordsOf(const QString& line) {
    static const QString kAround = QStringLiteral("\"'(),;:=[]{}<>!?");
    QStringList words;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && line.at(i).isSpace())
            ++i;
        qsizetype end = i;
        while (end < n && !line.at(end).isSpace())
            ++end;
        qsizetype from = i, to = end;
        while (from < to && kAround.contains(line.at(from)))
            ++from;
        while (to > from && (kAround.contains(line.at(to - 1)) || line.at(to - 1) == QLatin1Char('.')))
            --to;
        if (to > from)
            words.append(line.mid(from, to - from));
        i = end;
    }
    return words;
}

QString suffixOf(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}

QString baseOf(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

bool isSound(const QString& fileName) {
    const QString suffix = suffixOf(fileName);
    return suffix == QLatin1String("wav") || suffix == QLatin1String("mp3");
}

QString exitWords(const QString& keyword) {
    if (keyword == QLatin1String("norte"))
        return QStringLiteral("ao norte");
    if (keyword == QLatin1String("leste"))
        return QStringLiteral("a leste");
    if (keyword == QLatin1String("sul"))
        return QStringLiteral("ao sul");
    return QStringLiteral("a oeste");
}

bool byPlace(const ReferenceProblem& a, const ReferenceProblem& b) {
    if (a.file != b.file)
        return a.file < b.file;
    if (a.line != b.line)
        return a.line < b.line;
    return a.kind < b.kind;
}

}  // namespace

QString referenceKindKey(ReferenceKind kind) {
    switch (kind) {
    case ReferenceKind::Map: return QStringLiteral("mapa");
    case ReferenceKind::Script: return QStringLiteral("script");
    case ReferenceKind::Exit: return QStringLiteral("saida");
    case ReferenceKind::Picture: return QStringLiteral("imagem");
    case ReferenceKind::Object: return QStringLiteral("objeto");
    case ReferenceKind::Location: return QStringLiteral("local");
    case ReferenceKind::Shape: return QStringLiteral("forma");
    case ReferenceKind::Panel: return QStringLiteral("painel");
    case ReferenceKind::Mention: return QStringLiteral("mencao");
    }
    return {};
}

const QStringList& ReferenceIndex::pictureExtensions() {
    static const QStringList list = {QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("gif"),
                                     QStringLiteral("bmp")};
    return list;
}

bool ReferenceIndex::isPicture(const QString& fileName) const {
    return files_.contains(fileName) && pictureExtensions().contains(suffixOf(fileName));
}

void ReferenceIndex::clear() {
    *this = ReferenceIndex();
}

void ReferenceIndex::refresh(const QString& folder, const QString& adventureName, const InMemory& memory) {
    if (folder != folder_ || adventureName != adventure_) {
        clear();
        folder_ = folder;
        adventure_ = adventureName;
    }
    files_.clear();
    QStringList toRead;
    const QFileInfoList entries =
        QDir(folder_).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        files_.insert(name);
        const QString suffix = suffixOf(name);
        const bool listed = name == mapFileName() || name == currentStatusFileName() ||
                            name == rosterFileName() || name == settingsFileName();
        if (suffix != QLatin1String("scp") && suffix != QLatin1String("obj") && !listed)
            continue;
        const auto known = sources_.constFind(name);
        if (known != sources_.constEnd() && known->modified == entry.lastModified() && known->size == entry.size())
            continue;
        Source source;
        source.modified = entry.lastModified();
        source.size = entry.size();
        sources_.insert(name, source);
        toRead.append(name);
    }
    for (auto it = sources_.begin(); it != sources_.end();)
        it = files_.contains(it.key()) ? std::next(it) : sources_.erase(it);
    readChanged(toRead);
    rebuild(memory);
}

void ReferenceIndex::readChanged(const QStringList& names) {
    for (const QString& name : names) {
        Source& source = sources_[name];
        QFile file(folder_ + name);
        // A file that cannot be read names nothing; it is read again once
        // it changes.
        if (file.open(QIODevice::ReadOnly))
            source.bytes = file.readAll();
        source.lines = ListFile::splitLines(source.bytes);
    }
}

void ReferenceIndex::add(const QString& file, int line, ReferenceKind kind, const QString& text, int start,
                         int length) {
    append({file, line, kind, text.mid(start, length), text, start, length});
}

void ReferenceIndex::append(const Reference& reference) {
    byName_[reference.name].append(int(references_.size()));
    references_.append(reference);
}

QList<Reference> ReferenceIndex::scriptReferences(const QString& file, const QStringList& lines) {
    QList<Reference> found;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& text = lines.at(i);
        const ScriptLine parsed = ScriptLine::parse(text);
        if (parsed.kind == ScriptLine::Kind::Other || parsed.valueLength <= 0)
            continue;
        ReferenceKind kind;
        if (parsed.kind != ScriptLine::Kind::Keyword || parsed.keyword == QLatin1String("retscp"))
            kind = ReferenceKind::Script;
        else if (parsed.keyword == QLatin1String("telpos"))
            kind = ReferenceKind::Picture;
        else if (parsed.isExit())
            kind = ReferenceKind::Exit;
        else
            continue;
        found.append({file, i + 1, kind, text.mid(parsed.valueStart, parsed.valueLength), text, parsed.valueStart,
                      parsed.valueLength});
    }
    return found;
}

QList<Reference> ReferenceIndex::recordReferences(const QString& file, const QStringList& lines, int first) {
    QList<Reference> found;
    const auto field = [&](int offset, ReferenceKind kind) {
        const QString text = ObjectStore::lineAt(lines, first + offset);
        if (!text.isEmpty())
            found.append({file, first + offset + 1, kind, text, text, 0, int(text.size())});
    };
    field(0, ReferenceKind::Object);
    field(3, ReferenceKind::Location);
    field(4, ReferenceKind::Shape);
    return found;
}

void ReferenceIndex::rebuild(const InMemory& memory) {
    references_.clear();
    byName_.clear();
    positions_.clear();
    firstCell_.clear();
    objects_.clear();
    scripts_.clear();

    const auto linesFor = [&](const std::optional<QStringList>& held, const QString& name) {
        return held ? *held : sources_.value(name).lines;
    };
    mapLines_ = linesFor(memory.map, mapFileName());
    currentStatus_ = linesFor(memory.currentStatus, currentStatusFileName());
    settings_ = linesFor(memory.settings, settingsFileName());

    const QString map = mapFileName();
    for (int cell = 0; cell < MapModel::Cells && 2 * cell < mapLines_.size(); ++cell) {
        const QString& name = mapLines_.at(2 * cell);
        if (name.isEmpty())
            continue;
        positions_.insert(name);
        firstCell_.insert(name, firstCell_.value(name, cell));
        add(map, 2 * cell + 1, ReferenceKind::Map, name, 0, int(name.size()));
    }

    QStringList names = sources_.keys();
    std::sort(names.begin(), names.end());
    for (const QString& name : names) {
        const QString suffix = suffixOf(name);
        const bool script = suffix == QLatin1String("scp");
        if (!script && suffix != QLatin1String("obj"))
            continue;
        // Each file is read through once after it changed.
        Source& source = sources_[name];
        if (!source.parsed) {
            source.found = script ? scriptReferences(name, source.lines) : recordReferences(name, source.lines, 0);
            source.parsed = true;
        }
        if (script)
            scripts_.append(name);
        else
            objects_.insert(ObjectStore::objectNameOf(name));
        for (const Reference& reference : source.found)
            append(reference);
    }
    const QString status = currentStatusFileName();
    for (int first = 0; first < currentStatus_.size(); first += ObjectStore::RecordLines) {
        objects_.insert(ObjectStore::lineAt(currentStatus_, first));
        for (const Reference& reference : recordReferences(status, currentStatus_, first))
            append(reference);
    }
    const QStringList roster = sources_.value(rosterFileName()).lines;
    for (int i = 0; i < roster.size(); ++i) {
        if (roster.at(i).isEmpty())
            continue;
        objects_.insert(roster.at(i));
        add(rosterFileName(), i + 1, ReferenceKind::Object, roster.at(i), 0, int(roster.at(i).size()));
    }
    for (int line : {kOpeningLine, kPanelLine})
        if (line < settings_.size() && !settings_.at(line).isEmpty())
            add(settingsFileName(), line + 1, ReferenceKind::Panel, settings_.at(line), 0,
                int(settings_.at(line).size()));
}

QStringList ReferenceIndex::positions() const {
    QStringList names;
    for (int cell = 0; cell < MapModel::Cells && 2 * cell < mapLines_.size(); ++cell) {
        const QString& name = mapLines_.at(2 * cell);
        if (!name.isEmpty() && firstCell_.value(name) == cell)
            names.append(name);
    }
    return names;
}

QStringList ReferenceIndex::objects() const {
    QStringList names(objects_.begin(), objects_.end());
    names.removeAll(QString());
    std::sort(names.begin(), names.end());
    return names;
}

bool ReferenceIndex::names(const Reference& reference, const QString& name) const {
    if (reference.kind == ReferenceKind::Mention)
        return holdsWord(reference.text, name);
    if (reference.name == name)
        return true;
    if (reference.kind != ReferenceKind::Picture && reference.kind != ReferenceKind::Shape &&
        reference.kind != ReferenceKind::Panel)
        return false;
    return isPosition(name) && baseOf(reference.name) == name &&
           pictureExtensions().contains(suffixOf(reference.name));
}

QByteArray ReferenceIndex::bytesOf(const QString& fileName) const {
    return sources_.value(fileName).bytes;
}

QStringList ReferenceIndex::linesOf(const QString& fileName) const {
    if (fileName == mapFileName())
        return mapLines_;
    if (fileName == currentStatusFileName())
        return currentStatus_;
    if (fileName == settingsFileName())
        return settings_;
    return sources_.value(fileName).lines;
}

QList<Reference> ReferenceIndex::usesOf(const QString& name) const {
    QList<Reference> found;
    if (name.isEmpty())
        return found;
    QStringList keys{name};
    if (isPosition(name))
        for (const QString& extension : pictureExtensions())
            keys.append(name + QLatin1Char('.') + extension);
    for (const QString& key : keys)
        for (int index : byName_.value(key))
            if (names(references_.at(index), name))
                found.append(references_.at(index));
    // Mentions: the lines of the scripts that are the game player's own.
    for (const QString& script : scripts_) {
        const QStringList& lines = sources_.value(script).lines;
        for (int i = 0; i < lines.size(); ++i) {
            const QString& text = lines.at(i);
            if (!text.contains(name))
                continue;
            const ScriptLine parsed = ScriptLine::parse(text);
            const bool named = parsed.kind != ScriptLine::Kind::Other && parsed.valueLength > 0 &&
                               (parsed.kind != ScriptLine::Kind::Keyword || parsed.isExit() ||
                                parsed.keyword == QLatin1String("retscp") ||
                                parsed.keyword == QLatin1String("telpos"));
            if (named || !holdsWord(text, name))
                continue;
            const qsizetype at = text.indexOf(name);
            found.append({script, i + 1, ReferenceKind::Mention, name, text, int(at), int(name.size())});
        }
    }
    std::sort(found.begin(), found.end(), [](const Reference& a, const Reference& b) {
        if (a.file != b.file)
            return a.file < b.file;
        if (a.line != b.line)
            return a.line < b.line;
        return int(a.kind) < int(b.kind);
    });
    return found;
}

QList<ReferenceProblem> ReferenceIndex::problems(const std::optional<QString>& start) const {
    QList<ReferenceProblem> found = mapProblems();
    QList<ReferenceProblem> others = referenceProblems();
    if (start)
        others += unreachable(*start);
    std::stable_sort(others.begin(), others.end(), byPlace);
    found += others;
    found += unused();
    return found;
}

QList<ReferenceProblem> ReferenceIndex::mapProblems() const {
    QList<ReferenceProblem> found;
    for (const MapCheck::Problem& problem : MapCheck::problems(mapLines_)) {
        ReferenceProblem p;
        p.kind = MapCheck::kindKey(problem.kind);
        p.file = mapFileName();
        p.line = 2 * problem.cell + 1;
        p.message = MapCheck::describe(problem);
        p.mapLine = p.message;
        p.cell = problem.cell;
        p.position = problem.name;
        if (problem.direction)
            p.direction = MapCompiler::directionName(*problem.direction);
        found.append(p);
    }
    return found;
}

QList<ReferenceProblem> ReferenceIndex::referenceProblems() const {
    QList<ReferenceProblem> found;
    const auto report = [&](const Reference& at, const char* kind, const QString& message) {
        found.append({QLatin1String(kind), at.file, at.line, message});
    };
    QHash<QString, int> firstRecord;
    QSet<QString> roster;
    QSet<QString> recorded;
    for (const Reference& r : references_) {
        switch (r.kind) {
        case ReferenceKind::Exit:
            if (!isPosition(r.name))
                report(r, "saida-sem-posicao",
                       QStringLiteral("a saída %1 leva a \"%2\", que não é posição do mapa")
                           .arg(exitWords(ScriptLine::parse(r.text).keyword), r.name));
            break;
        case ReferenceKind::Picture:
            if (!files_.contains(r.name))
                report(r, "imagem-inexistente", QStringLiteral("a imagem \"%1\" não existe").arg(r.name));
            break;
        case ReferenceKind::Shape:
            if (!files_.contains(r.name))
                report(r, "forma-inexistente",
                       QStringLiteral("a forma do objeto é a imagem \"%1\", que não existe").arg(r.name));
            break;
        case ReferenceKind::Panel:
            if (!files_.contains(r.name))
                report(r, "painel-inexistente",
                       QString::fromUtf8(r.line == kOpeningLine + 1 ? "a imagem de abertura \"%1\" não existe"
                                                                    : "a imagem do painel \"%1\" não existe")
                           .arg(r.name));
            break;
        case ReferenceKind::Object:
            if (r.file == rosterFileName()) {
                roster.insert(r.name);
            } else if (r.file == currentStatusFileName()) {
                recorded.insert(r.name);
                const auto earlier = firstRecord.constFind(r.name);
                if (earlier != firstRecord.constEnd())
                    report(r, "registro-repetido",
                           QStringLiteral("o objeto \"%1\" tem outro registro, na linha %2")
                               .arg(r.name)
                               .arg(*earlier));
                else
                    firstRecord.insert(r.name, r.line);
            }
            break;
        default:
            break;
        }
    }
    for (const Reference& r : references_) {
        if (r.kind != ReferenceKind::Object || r.file != rosterFileName())
            continue;
        if (!files_.contains(r.name + QStringLiteral(".obj")))
            report(r, "objeto-sem-arquivo",
                   QStringLiteral("o objeto \"%1\" não tem o arquivo %1.obj").arg(r.name));
        if (!recorded.contains(r.name))
            report(r, "objeto-sem-registro",
                   QStringLiteral("o objeto \"%1\" não tem registro em %2").arg(r.name, currentStatusFileName()));
    }
    for (const QString& name : sources_.keys()) {
        if (suffixOf(name) != QLatin1String("obj"))
            continue;
        const QString object = ObjectStore::objectNameOf(name);
        if (!roster.contains(object))
            found.append({QStringLiteral("objeto-fora-do-rol"), name, 1,
                          QStringLiteral("o objeto \"%1\" não está no rol %2").arg(object, rosterFileName())});
    }

    // Positions no exit leads to: exits from other scripts only.
    QSet<QString> entered;
    for (const Reference& r : references_)
        if (r.kind == ReferenceKind::Exit && baseOf(r.file) != r.name)
            entered.insert(r.name);
    for (int cell : compiledPositions()) {
        const QString& name = mapLines_.at(2 * cell);
        if (!entered.contains(name))
            found.append({QStringLiteral("posicao-sem-entrada"), mapFileName(), 2 * cell + 1,
                          QStringLiteral("nenhuma saída leva à posição \"%1\"").arg(name), cell, name});
    }
    return found;
}

QList<int> ReferenceIndex::compiledPositions() const {
    QList<int> cells;
    QSet<QString> seen;
    for (int cell = 0; cell < MapModel::Cells && 2 * cell + 1 < mapLines_.size(); ++cell) {
        const QString& name = mapLines_.at(2 * cell);
        if (name.isEmpty() || mapLines_.at(2 * cell + 1).isEmpty() || seen.contains(name))
            continue;
        seen.insert(name);
        cells.append(cell);
    }
    return cells;
}

QList<ReferenceProblem> ReferenceIndex::unreachable(const QString& start) const {
    QHash<QString, QStringList> exits;
    for (const Reference& r : references_)
        if (r.kind == ReferenceKind::Exit)
            exits[baseOf(r.file)].append(r.name);
    QSet<QString> reached{start};
    QStringList queue{start};
    while (!queue.isEmpty()) {
        const QString here = queue.takeFirst();
        for (const QString& next : exits.value(here))
            if (!reached.contains(next)) {
                reached.insert(next);
                queue.append(next);
            }
    }
    QList<ReferenceProblem> found;
    for (int cell : compiledPositions()) {
        const QString& name = mapLines_.at(2 * cell);
        if (!reached.contains(name))
            found.append({QStringLiteral("posicao-inalcancavel"), mapFileName(), 2 * cell + 1,
                          QStringLiteral("a posição \"%1\" não é alcançável a partir de \"%2\"").arg(name, start),
                          cell, name});
    }
    return found;
}

QList<ReferenceProblem> ReferenceIndex::unused() const {
    // Each word of the scripts, with the one script it stands in (empty
    // when it stands in more than one).
    QHash<QString, QString> words;
    for (const QString& script : scripts_)
        for (const QString& line : sources_.value(script).lines)
            for (const QString& word : wordsOf(line)) {
                auto it = words.find(word);
                if (it == words.end())
                    words.insert(word, script);
                else if (*it != script)
                    it->clear();
            }
    const auto mentionedOutside = [&](const QString& word, const QString& file) {
        const auto it = words.constFind(word);
        return it != words.constEnd() && *it != file;
    };
    QSet<QString> namedPictures;
    for (const Reference& r : references_)
        if (r.kind == ReferenceKind::Picture || r.kind == ReferenceKind::Shape || r.kind == ReferenceKind::Panel)
            namedPictures.insert(r.name);
    QSet<QString> runScripts;  // named by a "retscp=" or a header of another script
    for (const Reference& r : references_)
        if (r.kind == ReferenceKind::Script && baseOf(r.file) != r.name)
            runScripts.insert(r.name);

    QStringList files(files_.begin(), files_.end());
    std::sort(files.begin(), files.end());
    QList<ReferenceProblem> found;
    for (const QString& file : files) {
        const QString suffix = suffixOf(file);
        const QString base = baseOf(file);
        QString what;
        if (pictureExtensions().contains(suffix)) {
            if (namedPictures.contains(file) || isPosition(base) || file == QLatin1String("defobj.gif") ||
                file == adventure_ + QStringLiteral("-mapa.png") || mentionedOutside(file, file))
                continue;
            what = QStringLiteral("a imagem \"%1\" não é usada");
        } else if (isSound(file)) {
            if (mentionedOutside(file, file) || mentionedOutside(base, file))
                continue;
            what = QStringLiteral("o som \"%1\" não é usado");
        } else if (suffix == QLatin1String("scp")) {
            if (isPosition(base) || isObject(base) || runScripts.contains(base) || mentionedOutside(base, file) ||
                mentionedOutside(file, file))
                continue;
            what = QStringLiteral("o script \"%1\" não é de posição nem de objeto, e nada o usa");
        } else {
            continue;
        }
        found.append({QStringLiteral("nao-usado"), file, 0, what.arg(file)});
    }
    return found;
}

}  // namespace orv
