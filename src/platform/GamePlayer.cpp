#include "GamePlayer.h"

#include "core/OrvalisError.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <functional>
#include <vector>

#if defined(Q_OS_WIN)
#include <windows.h>
#include <shellapi.h>
#elif defined(ORVALIS_HAVE_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace orv {

QString winePlayerWindowClass(const QString& adventureName) {
    return (adventureName + QStringLiteral(".exe")).toLower();
}

PlayerCommand playerCommand(const QString& playerFile, const QString& argument) {
    const QFileInfo info(playerFile);
    if (!info.isFile())
        throw OrvalisError(QStringLiteral("O jogador %1 não foi encontrado na pasta da aventura.").arg(info.fileName()));
    QFile file(playerFile);
    // An unreadable file is handed to the system as it is; starting it fails.
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(2) : QByteArray();
    if (head != "MZ")
        return {playerFile, {argument}};
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (wine.isEmpty())
        throw OrvalisError(QStringLiteral("Para rodar o jogador no Linux, instale o Wine (pacote wine)."));
    return {wine, {playerFile, argument}};
}

namespace {

#if !defined(Q_OS_WIN)
// The environment (WINEPREFIX among it) and the working directory are the
// program's own.
void startPlayerProgram(const QString& playerFile, const QString& argument) {
    const PlayerCommand command = playerCommand(playerFile, argument);
    if (!QProcess::startDetached(command.program, command.arguments))
        throw OrvalisError(
            QStringLiteral("Não foi possível iniciar o jogador %1.").arg(QFileInfo(playerFile).fileName()));
}
#endif

#if defined(Q_OS_WIN)

class WindowsGamePlayer final : public GamePlayer {
public:
    WindowId findWindow(const QString& adventureName) override {
        const std::wstring title = adventureName.toStdWString();
        return reinterpret_cast<WindowId>(FindWindowW(L"TApplication", title.c_str()));
    }
    void bringToFront(WindowId window) override {
        SetForegroundWindow(reinterpret_cast<HWND>(window));
    }
    void start(const QString& program, const QString& argument) override {
        const std::wstring file = program.toStdWString();
        const std::wstring parameters = argument.toStdWString();
        ShellExecuteW(nullptr, L"open", file.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    }
};

#elif defined(ORVALIS_HAVE_X11)

// A window may close between being found and being raised; Xlib's default
// handler would end the program for that.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// One connection per search or raise: the player is looked for only when the
// author presses "Exec", and a fresh connection never holds stale state.
class XConnection {
public:
    XConnection() : display_(XOpenDisplay(nullptr)) {
        if (display_)
            previous_ = XSetErrorHandler(ignoreXError);
    }
    ~XConnection() {
        if (!display_)
            return;
        XSync(display_, False);
        XSetErrorHandler(previous_);
        XCloseDisplay(display_);
    }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    Display* get() const { return display_; }
    Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

QByteArray textProperty(Display* display, Window window, Atom name, Atom wantedType) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, wantedType, &type, &format, &count, &after,
                           &data) != Success)
        return {};
    QByteArray bytes;
    if (data && format == 8 && (wantedType == AnyPropertyType || type == wantedType))
        bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    if (data)
        XFree(data);
    return bytes;
}

QString windowTitle(const XConnection& x, Window window) {
    const QByteArray netName = textProperty(x.get(), window, x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING"));
    if (!netName.isEmpty())
        return QString::fromUtf8(netName);
    XTextProperty property{};
    if (!XGetWMName(x.get(), window, &property) || !property.value)
        return {};
    QString title;
    char** list = nullptr;
    int count = 0;
    // Converts STRING, UTF8_STRING and COMPOUND_TEXT alike.
    if (Xutf8TextPropertyToTextList(x.get(), &property, &list, &count) >= Success && list && count > 0)
        title = QString::fromUtf8(list[0]);
    else if (property.encoding == XA_STRING)
        title = QString::fromLatin1(reinterpret_cast<const char*>(property.value), property.nitems);
    if (list)
        XFreeStringList(list);
    XFree(property.value);
    return title;
}

// WM_CLASS holds two names, instance and class, each ended by a NUL; the
// player may show its class name in either. A player built for X carries the
// class of its Windows original; under Wine every window of the player
// carries its file name in lower case, in UTF-8 or, from older tools, Latin-1.
bool hasPlayerClass(const QByteArray& wmClass, const QString& wineClass) {
    for (const QByteArray& part : wmClass.split('\0')) {
        if (part.isEmpty())
            continue;
        if (part == kPlayerWindowClass)
            return true;
        if (QString::fromUtf8(part).compare(wineClass, Qt::CaseInsensitive) == 0 ||
            QString::fromLatin1(part).compare(wineClass, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The top-level windows are the children of the root, or one or two levels
// further down where a window manager wraps them in frames: the first window
// that carries a class is the program's own, and its children are not looked at.
Window searchTree(const XConnection& x, Window parent, const QString& title, const QString& wineClass, int depth) {
    Window root = 0, parentOut = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x.get(), parent, &root, &parentOut, &children, &count))
        return 0;
    Window found = 0;
    // The list runs from bottom to top: the frontmost match wins.
    for (unsigned int i = count; i-- > 0 && !found;) {
        const Window child = children[i];
        const QByteArray wmClass = textProperty(x.get(), child, XA_WM_CLASS, XA_STRING);
        if (!wmClass.isEmpty()) {
            if (hasPlayerClass(wmClass, wineClass) && windowTitle(x, child).compare(title, Qt::CaseInsensitive) == 0)
                found = child;
        } else if (depth > 0) {
            found = searchTree(x, child, title, wineClass, depth - 1);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// Whether the window, or a window it lies in, belongs to the player.
bool isPlayerWindow(const XConnection& x, Window window, const QString& wineClass) {
    for (int depth = 0; window && depth < 8; ++depth) {
        const QByteArray wmClass = textProperty(x.get(), window, XA_WM_CLASS, XA_STRING);
        if (!wmClass.isEmpty())
            return hasPlayerClass(wmClass, wineClass);
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(x.get(), window, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        if (parent == root)
            return false;
        window = parent;
    }
    return false;
}

// The player's windows that are shown, with their sizes.
void collectPlayerWindows(const XConnection& x, Window parent, const QString& wineClass, int depth,
                          std::vector<std::pair<Window, long>>& found) {
    Window root = 0, parentOut = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x.get(), parent, &root, &parentOut, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i) {
        const Window child = children[i];
        const QByteArray wmClass = textProperty(x.get(), child, XA_WM_CLASS, XA_STRING);
        if (wmClass.isEmpty()) {
            if (depth > 0)
                collectPlayerWindows(x, child, wineClass, depth - 1, found);
            continue;
        }
        XWindowAttributes attributes{};
        if (!hasPlayerClass(wmClass, wineClass) || !XGetWindowAttributes(x.get(), child, &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        found.emplace_back(child, long(attributes.width) * attributes.height);
    }
    if (children)
        XFree(children);
}

std::vector<std::pair<Window, long>> playerWindows(const XConnection& x, const QString& wineClass) {
    std::vector<std::pair<Window, long>> found;
    collectPlayerWindows(x, DefaultRootWindow(x.get()), wineClass, 3, found);
    return found;
}

// The player's main window: of its windows that are shown, the largest (its
// form, not the application window).
Window mainPlayerWindow(const XConnection& x, const QString& wineClass, Window fallback) {
    Window best = fallback;
    long bestArea = 0;
    for (const auto& [window, area] : playerWindows(x, wineClass))
        if (area > bestArea) {
            best = window;
            bestArea = area;
        }
    return best;
}

Window focusedWindow(const XConnection& x) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x.get(), &focus, &revert);
    return focus == PointerRoot ? 0 : focus;
}

// Asks the window manager to activate the window (the source 2 says the
// request comes from the author's own action), and gives it the keyboard
// where there is no window manager to answer.
void activate(const XConnection& x, Window window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x.get(), window, &attributes))
        return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = x.atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x.get(), attributes.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XRaiseWindow(x.get(), window);
    if (attributes.map_state == IsViewable)
        XSetInputFocus(x.get(), window, RevertToParent, CurrentTime);
    XFlush(x.get());
}

// Waits, briefly, for the keyboard focus to be where `arrived` says.
bool waitForFocus(const XConnection& x, const std::function<bool(Window)>& arrived) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500) {
        XSync(x.get(), False);
        if (arrived(focusedWindow(x)))
            return true;
        QThread::msleep(5);
    }
    return false;
}

// The class Wine gave the window ("nome.exe"), or empty for a program of
// this system's.
QString wineClassOf(const XConnection& x, Window window) {
    for (const QByteArray& part : textProperty(x.get(), window, XA_WM_CLASS, XA_STRING).split('\0'))
        if (part.toLower().endsWith(".exe"))
            return QString::fromUtf8(part);
    return {};
}

// Wine takes a program it started for the active one, even where the window
// manager left the focus with the editor; a player that never had the focus
// is then not told that it was activated when it is raised, and reads the
// script only once the author clicks in it. Passing the focus through the
// player's main window and back to the editor makes Wine see it leave; the
// activation that follows is then a real one. The focus is moved by hand,
// not through the window manager: Wine takes a window manager's offer of the
// focus for an activation (the script would be read twice), while a plain
// change of focus it only notes. True once the focus is back with the editor.
bool passFocusThrough(const XConnection& x, Window player, const QString& wineClass) {
    const Window editor = focusedWindow(x);
    if (!editor || isPlayerWindow(x, editor, wineClass))
        return false;  // the player has the focus: raising it is enough
    // Wine lets its program go only when the window it counts as the active
    // one loses the focus: the main form, as a rule.
    const Window form = mainPlayerWindow(x, wineClass, player);
    XSetInputFocus(x.get(), form, RevertToParent, CurrentTime);
    if (!waitForFocus(x, [&](Window focus) { return focus == form; }))
        return false;
    XSetInputFocus(x.get(), editor, RevertToParent, CurrentTime);
    return waitForFocus(x, [&](Window focus) { return focus == editor; });
}

class X11GamePlayer final : public GamePlayer {
public:
    WindowId findWindow(const QString& adventureName) override {
        const XConnection x;
        if (!x.get() || adventureName.isEmpty())
            return 0;
        return searchTree(x, DefaultRootWindow(x.get()), adventureName, winePlayerWindowClass(adventureName), 3);
    }

    void bringToFront(WindowId id) override {
        const XConnection x;
        if (!x.get() || !id)
            return;
        const Window window = static_cast<Window>(id);
        const QString wineClass = wineClassOf(x, window);
        if (!wineClass.isEmpty() && passFocusThrough(x, window, wineClass)) {
            // Wine looks where the focus is when it learns it left; it must
            // find it away from the player for a moment.
            QTimer::singleShot(kWineNoticesFocusLeaving, [window] {
                const XConnection later;
                if (later.get())
                    activate(later, window);
            });
            return;
        }
        activate(x, window);
    }

    void start(const QString& program, const QString& argument) override {
        startPlayerProgram(program, argument);
    }

private:
    static constexpr int kWineNoticesFocusLeaving = 200;  // milliseconds
};

#else

class PlainGamePlayer final : public GamePlayer {
public:
    WindowId findWindow(const QString&) override { return 0; }
    void bringToFront(WindowId) override {}
    void start(const QString& program, const QString& argument) override {
        startPlayerProgram(program, argument);
    }
};

#endif

}  // namespace

std::unique_ptr<GamePlayer> makeDesktopGamePlayer() {
#if defined(Q_OS_WIN)
    return std::make_unique<WindowsGamePlayer>();
#elif defined(ORVALIS_HAVE_X11)
    return std::make_unique<X11GamePlayer>();
#else
    return std::make_unique<PlainGamePlayer>();
#endif
}

}  // namespace orv
