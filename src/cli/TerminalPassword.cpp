#include "TerminalPassword.h"

#include <QByteArray>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace orv {

namespace {

// The terminal's settings while echo is off, put back by a signal that ends
// the program during the question, so the shell is not left blind.
int gTerminal = -1;
struct termios gSaved;

extern "C" void restoreAndRaise(int signal) {
    if (gTerminal >= 0)
        tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

}  // namespace

std::optional<QString> askPasswordOnTerminal(const QString& prompt) {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct termios saved;
    if (tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    writeAll(fd, prompt.toLocal8Bit());

    struct termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL;
    gSaved = saved;
    gTerminal = fd;
    using Handler = void (*)(int);
    const Handler previousInt = std::signal(SIGINT, restoreAndRaise);
    const Handler previousTerm = std::signal(SIGTERM, restoreAndRaise);
    const Handler previousHup = std::signal(SIGHUP, restoreAndRaise);
    tcsetattr(fd, TCSAFLUSH, &quiet);

    QByteArray line;
    bool ended = false;
    char c;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // end of input: what was typed so far
        if (c == '\n' || c == '\r') {
            ended = true;
            break;
        }
        line += c;
    }

    tcsetattr(fd, TCSAFLUSH, &saved);
    gTerminal = -1;
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    std::signal(SIGHUP, previousHup);
    if (!ended)
        writeAll(fd, "\n");
    ::close(fd);
    return QString::fromLocal8Bit(line);
}

}  // namespace orv
