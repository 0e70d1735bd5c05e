#include "core/Adventure.h"

#include "core/DurableWrite.h"
#include "core/FolderTransaction.h"

#include <QFileInfo>
#include "core/ListFile.h"

#include <QDir>

namespace orv {

Adventure::Adventure(QString workspaceFolder, QObject* parent)
    : QObject(parent), workspaceFolder_(std::move(workspaceFolder)) {}

void Adventure::open(const QString& name) {
    name_ = name;
    folder_ = workspaceFolder_ + name + QLatin1Char('/');
    // A change of several files cut short by a crash (a rename) is finished
    // or undone before any of them is read.
    if (QFileInfo(folder_).isDir())
        FolderTransaction::finishPending(folder_);
    emit opened();
}

void Adventure::readFiles(const std::function<void(const QString&)>& password) {
    // What a killed run may have left half written is never the author's file.
    removeStaleTemporaries(folder_);
    if (fileExists(file(".ini"))) {
        settingsList_ = ListFile::read(file(".ini"));
        settingsUnsaved_ = false;
        emit settingsChanged();
    }

    QString text;
    password(text);
    const QString passwordFile = path(QStringLiteral("sen.txt"));
    if (fileExists(passwordFile)) {
        const QStringList lines = ListFile::read(passwordFile);
        if (!lines.isEmpty())
            text = lines.first();
        password(text);
    } else {
        ListFile::write(passwordFile, {text});
    }

    for (const char* ext : {".obx", ".obz", ".ini"})
        if (!fileExists(file(ext)))
            ListFile::write(file(ext), {});
    if (!fileExists(file(".rgs")))
        ListFile::write(file(".rgs"), QStringList(251));
    currentStatusList_ = ListFile::read(file(".obx"));
    emit currentStatusChanged();
}

void Adventure::reload(const QString& fileName) {
    if (fileName == name_ + QStringLiteral(".ini")) {
        settingsList_ = ListFile::read(file(".ini"));
        settingsUnsaved_ = false;
        emit settingsChanged();
    } else if (fileName == name_ + QStringLiteral(".obx")) {
        currentStatusList_ = ListFile::read(file(".obx"));
        emit currentStatusChanged();
    }
}

void Adventure::changeSettings(const std::function<void(QStringList&)>& edit) {
    edit(settingsList_);
    settingsUnsaved_ = true;
    emit settingsChanged();
}

void Adventure::changeCurrentStatus(const std::function<void(QStringList&)>& edit) {
    edit(currentStatusList_);
    emit currentStatusChanged();
}

void Adventure::saveSettings() {
    ListFile::write(file(".ini"), settingsList_);
    settingsUnsaved_ = false;
}

void Adventure::saveSettingsAtExit() {
    if (!settingsList_.isEmpty())
        saveSettings();
}

void Adventure::saveCurrentStatusAtExit() const {
    if (!currentStatusList_.isEmpty())
        ListFile::write(file(".obx"), currentStatusList_);
}

void pointFileListAt(const QString& folder) {
    QDir::setCurrent(folder);
}

}  // namespace orv
