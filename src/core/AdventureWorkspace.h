#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace orv {

// The workspace folder holds one subfolder per adventure; an adventure is
// complete, and listed, when its .ini, .rgs, .obx and .obz files all exist.
namespace AdventureWorkspace {

// The folder of the program file, with a trailing separator.
QString workspaceFolderOf(const QString& programFile);

// Subfolders of `folder`, sorted by name without regard to case.
QStringList subfolders(const QString& folder);

// Complete adventures below `folder`, sorted by name without regard to case.
QStringList completeAdventures(const QString& folder);

}  // namespace AdventureWorkspace
}  // namespace orv
