#include "FolderTransaction.h"

#include "DurableWrite.h"
#include "ListFile.h"
#include "OrvalisError.h"
#include "WriteObserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <cstdio>

namespace orv {

namespace {

const char kStaging[] = ".orvalis-transacao";
const char kListName[] = "lista";
const QByteArray kHeader = "ORVALIS-TRANSACAO 1";
const QByteArray kEnd = "fim";

QString stagingOf(const QString& folder) {
    return folder + QLatin1String(kStaging) + QLatin1Char('/');
}

QString stagedName(int index) {
    return QString::number(index);
}

QByteArray encoded(const QString& name) {
    return QUrl::toPercentEncoding(name);
}

QString decoded(const QByteArray& text) {
    return QUrl::fromPercentEncoding(text);
}

void renameOrThrow(const QString& from, const QString& to) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw WriteError(to, WriteError::Step::Rename, errno);
}

void removeOrThrow(const QString& path) {
    if (std::remove(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        throw WriteError(path, WriteError::Step::Rename, errno);
}

void removeStaging(const QString& folder) {
    QDir staging(stagingOf(folder));
    for (const QString& name : staging.entryList(QDir::Files | QDir::Hidden | QDir::System))
        staging.remove(name);
    QDir(folder).rmdir(QLatin1String(kStaging));
    syncFolderNow(folder);
}

}  // namespace

FolderTransaction::FolderTransaction(QString folder) : folder_(std::move(folder)) {}

void FolderTransaction::write(const QString& fileName, const QByteArray& bytes) {
    steps_.append({Kind::Write, fileName, {}, bytes});
}

void FolderTransaction::move(const QString& from, const QString& to) {
    steps_.append({Kind::Move, from, to, {}});
}

void FolderTransaction::remove(const QString& fileName) {
    steps_.append({Kind::Remove, fileName, {}, {}});
}

QStringList FolderTransaction::placedNames() const {
    QStringList names;
    for (const Step& step : steps_)
        if (step.kind != Kind::Remove)
            names.append(step.kind == Kind::Move ? step.to : step.name);
    return names;
}

const char* FolderTransaction::stagingFolderName() {
    return kStaging;
}

void FolderTransaction::commit(const std::function<void(int)>& afterAction) {
    finishPending(folder_);
    int action = 0;
    const auto reached = [&] {
        if (afterAction)
            afterAction(++action);
    };
    const QString staging = stagingOf(folder_);
    if (!QDir(folder_).mkdir(QLatin1String(kStaging)))
        throw WriteError(staging, WriteError::Step::Open, QStringLiteral("a pasta não pôde ser criada"));
    QByteArray list = kHeader + '\n';
    try {
        DurableBatch batch;
        for (int i = 0; i < steps_.size(); ++i) {
            const Step& step = steps_.at(i);
            switch (step.kind) {
            case Kind::Write:
                batch.add(staging + stagedName(i), step.bytes);
                list += "gravar\t" + encoded(step.name) + '\n';
                break;
            case Kind::Move:
                list += "mover\t" + encoded(step.name) + '\t' + encoded(step.to) + '\n';
                break;
            case Kind::Remove:
                list += "apagar\t" + encoded(step.name) + '\n';
                break;
            }
        }
        list += kEnd + '\n';
        batch.commit();
        reached();
        // The decision: once the list is on the disk, the step is done.
        writeFileSafely(staging + QLatin1String(kListName), list);
    } catch (...) {
        removeStaging(folder_);
        throw;
    }
    reached();
    complete(folder_, steps_, afterAction, action);
}

void FolderTransaction::complete(const QString& folder, const QList<Step>& steps,
                                 const std::function<void(int)>& afterAction, int& action) {
    const QString staging = stagingOf(folder);
    for (int i = 0; i < steps.size(); ++i) {
        const Step& step = steps.at(i);
        const QString target = folder + step.name;
        switch (step.kind) {
        case Kind::Write:
            // A staged file already gone was put in place before the cut.
            if (QFileInfo::exists(staging + stagedName(i))) {
                renameOrThrow(staging + stagedName(i), target);
                notifyWritten(target);
            }
            break;
        case Kind::Move:
            if (QFileInfo::exists(target) && !QFileInfo::exists(folder + step.to)) {
                renameOrThrow(target, folder + step.to);
                notifyWritten(folder + step.to);
            }
            break;
        case Kind::Remove:
            removeOrThrow(target);
            break;
        }
        if (afterAction)
            afterAction(++action);
    }
    syncFolderNow(folder);
    removeStaging(folder);
    if (afterAction)
        afterAction(++action);
}

bool FolderTransaction::finishPending(const QString& folder) {
    const QString staging = stagingOf(folder);
    if (!QFileInfo(staging).isDir())
        return false;
    QList<Step> steps;
    bool whole = false;
    QFile file(staging + QLatin1String(kListName));
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        whole = lines.size() >= 3 && lines.first() == kHeader;
        for (qsizetype i = 1; whole && i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines.at(i).split('\t');
            if (fields.first() == kEnd) {
                whole = i + 2 == lines.size() && lines.last().isEmpty();
                break;
            }
            if (fields.first() == "gravar" && fields.size() == 2)
                steps.append({Kind::Write, decoded(fields.at(1)), {}, {}});
            else if (fields.first() == "mover" && fields.size() == 3)
                steps.append({Kind::Move, decoded(fields.at(1)), decoded(fields.at(2)), {}});
            else if (fields.first() == "apagar" && fields.size() == 2)
                steps.append({Kind::Remove, decoded(fields.at(1)), {}, {}});
            else
                whole = false;
            if (i + 1 == lines.size())
                whole = false;  // no end line
        }
        // Names come from a file on the disk: never outside the folder.
        for (const Step& step : steps)
            if (step.name.contains(QLatin1Char('/')) || step.to.contains(QLatin1Char('/')) ||
                step.name.isEmpty() || step.name == QLatin1String("..") || step.to == QLatin1String(".."))
                whole = false;
    }
    if (!whole) {
        removeStaging(folder);
        return true;
    }
    int action = 0;
    complete(folder, steps, {}, action);
    return true;
}

}  // namespace orv
