#include "AdventureWorkspace.h"

#include "ListFile.h"
#include "ProgramState.h"

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

void openAdventureFiles(ProgramState& state, const std::function<void(const QString&)>& setPassword) {
    // What a killed run may have left half written is never the author's file.
    removeStaleTemporaries(state.adventureFolder);
    const QString base = state.adventureFolder + state.adventureName;
    if (fileExists(base + ".ini"))
        state.settingsList = ListFile::read(base + ".ini");

    QString password;
    setPassword(password);
    const QString passwordFile = state.adventureFolder + QStringLiteral("sen.txt");
    if (fileExists(passwordFile)) {
        const QStringList lines = ListFile::read(passwordFile);
        if (!lines.isEmpty())
            password = lines.first();
        setPassword(password);
    } else {
        ListFile::write(passwordFile, {password});
    }

    for (const char* ext : {".obx", ".obz", ".ini"})
        if (!fileExists(base + ext))
            ListFile::write(base + ext, {});
    if (!fileExists(base + ".rgs")) {
        QStringList registers;
        for (int i = 0; i < 251; ++i)
            registers.append(QString());
        ListFile::write(base + ".rgs", registers);
    }
    state.currentStatusList = ListFile::read(base + ".obx");
}

void saveSettingsAtExit(const ProgramState& state) {
    if (!state.settingsList.isEmpty())
        ListFile::write(state.adventureFolder + state.adventureName + ".ini", state.settingsList);
}

void saveCurrentStatusAtExit(const ProgramState& state) {
    if (!state.currentStatusList.isEmpty())
        ListFile::write(state.adventureFolder + state.adventureName + ".obx", state.currentStatusList);
}

}  // namespace orv::AdventureWorkspace
