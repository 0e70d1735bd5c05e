#include "XStandIn.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orv::test {

namespace {
Display* dpy(void* d) {
    return static_cast<Display*>(d);
}
}  // namespace

XStandIn::XStandIn() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return;
    // A display number nobody holds.
    int number = 140;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
           QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
        ++number;
    const QString name = QStringLiteral(":%1").arg(number);
    xvfb_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    xvfb_.start(xvfb, {name, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24"),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb_.waitForStarted(5000))
        return;
    QElapsedTimer clock;
    clock.start();
    while (!display_ && clock.elapsed() < 10000 && xvfb_.state() == QProcess::Running) {
        display_ = XOpenDisplay(name.toLatin1().constData());
        if (!display_)
            QThread::msleep(50);
    }
    if (!display_)
        return;
    hadDisplay_ = qEnvironmentVariableIsSet("DISPLAY");
    previousDisplay_ = qgetenv("DISPLAY");
    qputenv("DISPLAY", name.toLatin1());
}

XStandIn::~XStandIn() {
    if (display_) {
        XCloseDisplay(dpy(display_));
        if (hadDisplay_)
            qputenv("DISPLAY", previousDisplay_);
        else
            qunsetenv("DISPLAY");
    }
    if (xvfb_.state() != QProcess::NotRunning) {
        xvfb_.terminate();
        if (!xvfb_.waitForFinished(5000))
            xvfb_.kill();
        xvfb_.waitForFinished(2000);
    }
}

unsigned long XStandIn::addWindow(const QByteArray& instance, const QByteArray& windowClass, const QString& title,
                                  bool netWmName) {
    Display* d = dpy(display_);
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 100, 0, 0, 0xffffff);
    XClassHint hint;
    QByteArray instanceCopy = instance, classCopy = windowClass;
    hint.res_name = instanceCopy.data();
    hint.res_class = classCopy.data();
    XSetClassHint(d, w, &hint);
    if (netWmName) {
        const QByteArray utf8 = title.toUtf8();
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.constData()), utf8.size());
    } else {
        const QByteArray latin1 = title.toLatin1();
        XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(latin1.constData()), latin1.size());
    }
    XMapWindow(d, w);
    XSync(d, False);
    return w;
}

unsigned long XStandIn::focus() const {
    Window w = 0;
    int revert = 0;
    XGetInputFocus(dpy(display_), &w, &revert);
    return w;
}

namespace {
Window searchByName(Display* d, Window parent, const QByteArray& name, int depth) {
    Window root = 0, parentOut = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, parent, &root, &parentOut, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        char* text = nullptr;
        if (XFetchName(d, children[i], &text) && text) {
            if (name == text)
                found = children[i];
            XFree(text);
        }
        if (!found && depth > 0)
            found = searchByName(d, children[i], name, depth - 1);
    }
    if (children)
        XFree(children);
    return found;
}
}  // namespace

unsigned long XStandIn::findByName(const QByteArray& name) const {
    Display* d = dpy(display_);
    return searchByName(d, DefaultRootWindow(d), name, 2);
}

bool XStandIn::hasWindowManager() const {
    Display* d = dpy(display_);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False),
                                          0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
                       type == XA_WINDOW && count == 1;
    if (data)
        XFree(data);
    return found;
}

}  // namespace orv::test
