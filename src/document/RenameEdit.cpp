#include "RenameEdit.h"

#include "core/FolderTransaction.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "document/AdventureDocument.h"

#include <QFileInfo>

namespace orv {

namespace {

QHash<QString, QByteArray> contentsOf(const QString& folder, const QStringList& names) {
    QHash<QString, QByteArray> contents;
    for (const QString& name : names)
        if (QFileInfo(folder + name).isFile())
            contents.insert(name, readFileBytes(folder + name));
    return contents;
}

qsizetype sizeOf(const QHash<QString, QByteArray>& files) {
    qsizetype size = 0;
    for (const QByteArray& bytes : files)
        size += bytes.size();
    return size;
}

}  // namespace

RenameEdit::RenameEdit(AdventureDocument& document, QString from, QString to)
    : MapEdit(document, QStringLiteral("Renomear %1 para %2").arg(from, to)), from_(std::move(from)),
      to_(std::move(to)) {}

qsizetype RenameEdit::bytes() const {
    return MapEdit::bytes() + sizeOf(before_) + sizeOf(after_);
}

RenamePlan RenameEdit::plan(QStringList& touched) {
    RenamePlan plan = document_.planRename(from_, to_);
    if (!plan.canBeDone())
        throw OrvalisError(plan.refusal);
    touched = plan.touchedFiles();
    before_ = contentsOf(document_.adventure().folder(), touched);
    return plan;
}

void RenameEdit::perform() {
    QStringList touched;
    RenamePlan plan = this->plan(touched);
    const QString folder = document_.adventure().folder();
    currentStatusBefore_ = document_.adventure().currentStatusList();
    settingsBefore_ = document_.adventure().settingsList();
    Part part;
    const QStringList& lines = document_.map().lines();
    for (int line = 0; line < MapModel::LineCount && line < plan.mapLines.size(); line += 2)
        if (lines.at(line) != plan.mapLines.at(line)) {
            part.lines.append(line);
            part.area |= QRect(0, (line / 2 / MapModel::Columns) * MapModel::CellHeight,
                               document_.map().image().width(), MapModel::CellHeight);
        }
    started_ = true;
    record(part, [&] { document_.applyRename(plan); });
    files_ = plan.renamedFiles;
    after_ = contentsOf(folder, touched);
}

bool RenameEdit::filesAsLeft() const {
    const QString folder = document_.adventure().folder();
    for (auto it = after_.constBegin(); it != after_.constEnd(); ++it) {
        QFile file(folder + it.key());
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != it.value())
            return false;
    }
    for (auto it = before_.constBegin(); it != before_.constEnd(); ++it)
        if (!after_.contains(it.key()) && QFileInfo::exists(folder + it.key()))
            return false;  // a file the rename took away came back
    return true;
}

void RenameEdit::back() {
    if (filesAsLeft()) {
        FolderTransaction restore(document_.adventure().folder());
        for (auto it = before_.constBegin(); it != before_.constEnd(); ++it)
            if (after_.value(it.key()) != it.value() || !after_.contains(it.key()))
                restore.write(it.key(), it.value());
        for (auto it = after_.constBegin(); it != after_.constEnd(); ++it)
            if (!before_.contains(it.key()))
                restore.remove(it.key());
        RenamePlan undone;
        undone.from = to_;
        undone.to = from_;
        for (const auto& [from, to] : files_)
            undone.renamedFiles.append({to, from});
        undone.mapLines = document_.map().lines();
        undone.currentStatus = currentStatusBefore_;
        undone.currentStatusChanges = true;
        undone.settings = settingsBefore_;
        undone.settingsChange = true;
        undone.transaction = restore;
        document_.applyRename(undone);
    } else {
        // Files changed since: their names are changed back, what else
        // changed in them stays.
        RenamePlan reverse = document_.planRename(to_, from_);
        if (!reverse.canBeDone())
            throw OrvalisError(reverse.refusal);
        document_.applyRename(reverse);
    }
    MapEdit::back();
}

void RenameEdit::again() {
    QStringList touched;
    RenamePlan plan = this->plan(touched);
    document_.applyRename(plan);
    after_ = contentsOf(document_.adventure().folder(), touched);
    MapEdit::again();
}

void RenameEdit::forget() {
    MapEdit::forget();
    before_.clear();
    after_.clear();
}

}  // namespace orv
