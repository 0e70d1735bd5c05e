#pragma once
#include <QString>

namespace orv {

// A new, empty adventure in the workspace, ready for every editor: the files
// opening would create, settings with a working screen and panel layout, an
// empty map and the default object picture.
namespace NewAdventure {

// Why `name` cannot be a new adventure in `workspaceFolder` (a Portuguese
// sentence), or an empty string when it can.
QString refusal(const QString& workspaceFolder, const QString& name);

struct Result {
    bool created = false;
    QString message;  // the refusal when not created
    QString folder;   // the adventure folder, with a trailing separator
};

// Creates the adventure, or nothing at all when the name is refused.
// Throws OrvalisError when a file cannot be written.
Result create(const QString& workspaceFolder, const QString& name);

// The settings lines a new adventure starts with.
QStringList defaultSettings(const QString& name);

}  // namespace NewAdventure
}  // namespace orv
