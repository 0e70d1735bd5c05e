#include "core/AdventureWorkspace.h"

#include "core/ListFile.h"

#include <QDir>
#include <QFileInfo>

namespace orv::AdventureWorkspace {

QString workspaceFolderOf(const QString& programFile) {
    return QFileInfo(programFile).absolutePath() + QLatin1Char('/');
}

QStringList subfolders(const QString& folder) {
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

QStringList completeAdventures(const QString& folder) {
    QStringList complete;
    for (const QString& n : subfolders(folder)) {
        const QString base = folder + n + QLatin1Char('/') + n;
        // Tested in this order; the first missing file ends the test.
        if (fileExists(base + ".ini") && fileExists(base + ".rgs") && fileExists(base + ".obx") &&
            fileExists(base + ".obz"))
            complete.append(n);
    }
    return complete;
}

}  // namespace orv::AdventureWorkspace
