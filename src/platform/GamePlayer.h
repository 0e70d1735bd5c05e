#pragma once
#include <QString>
#include <cstdint>
#include <memory>

namespace orv {

// The adventure's game player as the desktop shows it: a running player is a
// top-level window whose class is "TApplication" and whose title is the
// adventure name. The script editor finds it, brings it to the front, or
// starts the player program. An interface, so that tests can stand in for
// the desktop.
class GamePlayer {
public:
    using WindowId = std::uintptr_t;  // 0: no window

    virtual ~GamePlayer() = default;

    // The player window of the adventure, or 0 when none is running.
    virtual WindowId findWindow(const QString& adventureName) = 0;
    // Raises the window and gives it the keyboard; a window that has gone
    // meanwhile is ignored.
    virtual void bringToFront(WindowId window) = 0;
    // Starts the program detached, in the current working directory. Whether
    // it started is not reported: the author sees the player come up or not.
    virtual void start(const QString& program, const QString& argument) = 0;
};

// The player as found on this desktop (X11 or Windows).
std::unique_ptr<GamePlayer> makeDesktopGamePlayer();

// The window class every game player window carries.
inline constexpr const char* kPlayerWindowClass = "TApplication";

}  // namespace orv
