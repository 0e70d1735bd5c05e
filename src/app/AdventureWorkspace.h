#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace orv {

struct ProgramState;

// The workspace folder holds one subfolder per adventure; an adventure is
// complete, and listed, when its .ini, .rgs, .obx and .obz files all exist.
namespace AdventureWorkspace {

// The folder of the program file, with a trailing separator.
QString workspaceFolderOf(const QString& programFile);

// Subfolders of `folder`, sorted by name without regard to case.
QStringList subfolders(const QString& folder);

// Complete adventures below `folder`, sorted by name without regard to case.
QStringList completeAdventures(const QString& folder);

// The files of an opened adventure that must exist: reads the settings list
// and the group password, creates the missing list files and reads the
// current-status list. Map loading comes before this and is the caller's.
// The group password (first line of "sen.txt") goes to setPassword, which is
// first called with an empty text.
void openAdventureFiles(ProgramState& state, const std::function<void(const QString&)>& setPassword);

// At the end of the program: the map list is written by the caller; these
// write the settings and current-status lists when they hold lines.
void saveSettingsAtExit(const ProgramState& state);
void saveCurrentStatusAtExit(const ProgramState& state);

}  // namespace AdventureWorkspace
}  // namespace orv
