#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace orv {

// The adventure's game player as the desktop shows it: a running player is a
// top-level window titled with the adventure name. The script editor finds
// it, brings it to the front, or starts the player program. An interface, so
// that tests can stand in for the desktop.
class GamePlayer {
public:
    using WindowId = std::uintptr_t;  // 0: no window

    virtual ~GamePlayer() = default;

    // The player window of the adventure, or 0 when none is running.
    virtual WindowId findWindow(const QString& adventureName) = 0;
    // Raises the window and gives it the keyboard; a window that has gone
    // meanwhile is ignored.
    virtual void bringToFront(WindowId window) = 0;
    // Starts the program detached, in the current working directory. A
    // program that cannot be started raises an OrvalisError that tells the
    // author what is missing; once started, the author sees it come up or not.
    virtual void start(const QString& program, const QString& argument) = 0;
};

// The player as found on this desktop (X11 or Windows).
std::unique_ptr<GamePlayer> makeDesktopGamePlayer();

// The window class of the player's application window on Windows, and under
// X for a player built for it.
inline constexpr const char* kPlayerWindowClass = "TApplication";

// The window class Wine gives every window of a Windows program: its file
// name in lower case, here adventure name + ".exe".
QString winePlayerWindowClass(const QString& adventureName);

// What runs the player file outside Windows: the file itself when this
// system can run it, or Wine (found on the PATH) for a Windows program, whose
// file begins with "MZ". Raises an OrvalisError when the file is missing or
// Wine is needed and not installed.
struct PlayerCommand {
    QString program;
    QStringList arguments;
};
PlayerCommand playerCommand(const QString& playerFile, const QString& argument);

}  // namespace orv
