#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace orv {

// The open adventure: its name and folder below the workspace, and the two
// lists kept in memory while it is open, the settings list (".ini") and the
// current-status list (".obx"). It is the only writer of all four; windows
// read them and ask it for changes, and it announces what changed.
class Adventure : public QObject {
    Q_OBJECT
public:
    // workspaceFolder ends with a separator.
    explicit Adventure(QString workspaceFolder, QObject* parent = nullptr);

    const QString& workspaceFolder() const { return workspaceFolder_; }
    const QString& name() const { return name_; }
    const QString& folder() const { return folder_; }  // workspace + name + separator
    bool isOpen() const { return !name_.isEmpty(); }

    // The adventure's own files: name + ext ("Floresta" + ".map"), and any
    // file of its folder.
    QString file(const QString& ext) const { return folder_ + name_ + ext; }
    QString path(const QString& fileName) const { return folder_ + fileName; }

    const QStringList& settingsList() const { return settingsList_; }
    // The settings list was changed in memory since it was last read or written.
    bool settingsUnsaved() const { return settingsUnsaved_; }
    const QStringList& currentStatusList() const { return currentStatusList_; }

    // Opening, first step: the name and folder change and opened() is
    // announced. The lists are read by readFiles(), after the map.
    void open(const QString& name);

    // The files an opened adventure must have: stale temporary files are
    // cleared, the settings list is read, the group password is read from
    // "sen.txt" (handed to `password`, first with an empty text) or the file
    // created, the missing list files created, the current-status list read.
    void readFiles(const std::function<void(const QString&)>& password);

    // After a download replaced one of the adventure's files: a list held in
    // memory is read again from it, so the older copy in memory never
    // overwrites the newer file at the end of the program.
    void reload(const QString& fileName);

    // Changes to the lists go through here.
    void changeSettings(const std::function<void(QStringList&)>& edit);
    void changeCurrentStatus(const std::function<void(QStringList&)>& edit);
    // Writes the settings list to the adventure's ".ini" now.
    void saveSettings();

    // The end of the program: each list is written when it holds lines.
    void saveSettingsAtExit();
    void saveCurrentStatusAtExit() const;

signals:
    void opened();
    void settingsChanged();
    void currentStatusChanged();

private:
    QString workspaceFolder_;
    QString name_;
    QString folder_;
    QStringList settingsList_;
    QStringList currentStatusList_;
    bool settingsUnsaved_ = false;
};

// The three settings of the settings window, for this run only.
struct ScriptSettings {
    QString defaultScriptMode = QStringLiteral("1");
    QString imageExtension = QStringLiteral("png");
    QString scriptWriteMode = QStringLiteral("1");
};

// Pointing a file list at a folder makes that folder the process's working
// directory, as the author's file lists always have; this is the one place.
void pointFileListAt(const QString& folder);

}  // namespace orv
