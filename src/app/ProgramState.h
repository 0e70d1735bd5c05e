#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

namespace orv {

// One record shared by every drag handle and by the drawing surfaces.
struct DragState {
    int startX = 0;
    int startY = 0;
    std::uint8_t dragging = 0;
};

// The program-wide state. The main window owns the one instance and hands it
// to the tool windows by reference.
struct ProgramState {
    QString workspaceFolder;   // the program's folder, with a trailing separator
    QString startDirectory;    // the working directory when the program started
    QString adventureName;     // empty while no adventure is open
    QString adventureFolder;   // workspaceFolder + adventureName + separator
    QStringList settingsList;       // the adventure's .ini lines
    QStringList currentStatusList;  // the adventure's .obx lines
    DragState drag;
    QString defaultScriptMode = QStringLiteral("1");
    QString imageExtension = QStringLiteral("png");
    QString scriptWriteMode = QStringLiteral("1");

    bool adventureOpen() const { return !adventureName.isEmpty(); }
};

}  // namespace orv
