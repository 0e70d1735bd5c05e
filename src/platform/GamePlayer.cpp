#include "GamePlayer.h"

#include "core/OrvalisError.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

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
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(x.get(), window, &attributes))
            return;
        // Asking the window manager is what works under one; the source 2
        // says the request comes from the author's own action.
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = x.atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x.get(), attributes.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        // Without a window manager nobody answers that message.
        XRaiseWindow(x.get(), window);
        if (attributes.map_state == IsViewable)
            XSetInputFocus(x.get(), window, RevertToParent, CurrentTime);
    }

    void start(const QString& program, const QString& argument) override {
        startPlayerProgram(program, argument);
    }
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
