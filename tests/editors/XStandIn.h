#pragma once
#include <QByteArray>
#include <QProcess>
#include <QString>

namespace orv::test {

// A private X server (Xvfb) with top-level windows put up by hand, so that
// the search for the game player's window runs against real X. DISPLAY points
// at it while the object lives. Kept apart from the tests because the X
// headers' macros clash with Qt's names.
class XStandIn {
public:
    XStandIn();
    ~XStandIn();
    XStandIn(const XStandIn&) = delete;
    XStandIn& operator=(const XStandIn&) = delete;

    // False when Xvfb is not installed or did not come up.
    bool ok() const { return display_ != nullptr; }

    // A mapped top-level window with WM_CLASS (instance, class) and a title,
    // given in _NET_WM_NAME (UTF-8) or in WM_NAME (Latin-1).
    unsigned long addWindow(const QByteArray& instance, const QByteArray& windowClass, const QString& title,
                            bool netWmName);
    // The window that holds the keyboard focus.
    unsigned long focus() const;
    // A top-level window, framed by a window manager or not, by its WM_NAME;
    // 0 when there is none.
    unsigned long findByName(const QByteArray& name) const;
    // True once a window manager has announced itself on the root window.
    bool hasWindowManager() const;

private:
    QProcess xvfb_;
    void* display_ = nullptr;
    QByteArray previousDisplay_;
    bool hadDisplay_ = false;
};

}  // namespace orv::test
