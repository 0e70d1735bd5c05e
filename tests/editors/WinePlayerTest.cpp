// "Exec" with a game player built for Windows, run under Wine: how it is
// started, how its window is told from others, and the whole round with a
// real Wine, a window manager and a stand-in player on a private X server.
#include "core/OrvalisError.h"
#include "app/TForm1.h"
#include "editors/ScriptWindow.h"
#include "platform/GamePlayer.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"
#include "XStandIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <memory>

using namespace orv;
using orv::test::child;
using orv::test::click;
using orv::test::crlf;
using orv::test::TestWorkspace;

namespace {

const QString kNoWine = QStringLiteral("Para rodar o jogador no Linux, instale o Wine (pacote wine).");

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// The desktop's player, with a count of the starts asked for.
class CountingPlayer : public GamePlayer {
public:
    explicit CountingPlayer(int& starts) : starts_(starts) {}
    WindowId findWindow(const QString& name) override { return desktop_->findWindow(name); }
    void bringToFront(WindowId window) override { desktop_->bringToFront(window); }
    void start(const QString& program, const QString& argument) override {
        ++starts_;
        desktop_->start(program, argument);
    }

private:
    int& starts_;
    std::unique_ptr<GamePlayer> desktop_ = makeDesktopGamePlayer();
};

// A program with the adventure Vale open and the script window opened.
struct Session {
    test::KeepWorkingDirectory keep;
    TestWorkspace ws;
    std::unique_ptr<TForm1> form;
    ScriptWindow* window = nullptr;
    int starts = 0;

    explicit Session(const QByteArray& player) {
        ws.addAdventure("Vale");
        ws.write("Vale/sala.scp", crlf({"um"}));
        ws.write("Vale/Vale.exe", player);
        form = test::startProgram(ws);
        form->OpenAdventure("Vale");
        window = child<ScriptWindow>(form.get(), "JanScp");
        window->setGamePlayer(std::make_unique<CountingPlayer>(starts));
        form->btScpClick();
    }
    void load(const QString& name) { ASSERT_TRUE(test::clickRow(window->scriptList(), name)); }
    void exec() { click(child(window, "bnExeScp")); }
};

// Runs the event loop until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }
    return true;
}

QString canonical(const QString& path) {
    return QDir(path).canonicalPath();
}

}  // namespace

TEST(WinePlayer, AWindowsPlayerIsStartedThroughWineAndWhatIsMissingIsSaid) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    // "MZ" opens every Windows program.
    Session s(QByteArray("MZ\x90\0", 4) + QByteArray(60, '\0'));

    // No Wine on the PATH: the author is told, nothing runs.
    {
        const ScopedEnv path("PATH", bin.path().toLocal8Bit());
        s.exec();
        EXPECT_EQ(test::reportedErrors(), QStringList{kNoWine});
        EXPECT_THROW(playerCommand(s.ws.path("Vale/Vale.exe"), "atv"), OrvalisError);
    }
    EXPECT_FALSE(s.ws.exists("Vale/scp.txt"));

    // A Wine that notes how it was called: the player file and "atv", from
    // the adventure folder, with the author's WINEPREFIX.
    const QString noted = bin.path() + "/chamada.txt";
    const QString wine = bin.path() + "/wine";
    {
        QFile script(wine);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nPATH=/usr/bin:/bin\n{ printf '%s\\n' \"$@\"; pwd; echo \"$WINEPREFIX\"; } > '" +
                     noted.toLocal8Bit() + ".tmp'\nmv '" + noted.toLocal8Bit() + ".tmp' '" + noted.toLocal8Bit() +
                     "'\n");
    }
    QFile::setPermissions(wine, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        const ScopedEnv path("PATH", bin.path().toLocal8Bit());
        const ScopedEnv prefix("WINEPREFIX", "/home/autor/.wine-jogos");
        test::reportedErrors().clear();
        s.exec();
        EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join('\n').toStdString();
        EXPECT_EQ(s.starts, 2);
        ASSERT_TRUE(waitFor([&] { return QFile::exists(noted); }, 10000));
    }
    QFile file(noted);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(canonical(QString::fromLocal8Bit(lines[0])), canonical(s.ws.path("Vale/Vale.exe")));
    EXPECT_EQ(lines[1], "atv");
    EXPECT_EQ(canonical(QString::fromLocal8Bit(lines[2])), canonical(s.ws.path("Vale")));
    EXPECT_EQ(lines[3], "/home/autor/.wine-jogos");
    EXPECT_FALSE(s.ws.exists("Vale/scp.txt"));

    // A program for this system is run as it is, whatever Wine is around.
    const ScopedEnv path("PATH", bin.path().toLocal8Bit());
    s.ws.write("Vale/Vale.exe", "#!/bin/sh\n");
    const PlayerCommand native = playerCommand(s.ws.path("Vale/Vale.exe"), "atv");
    EXPECT_EQ(native.program, s.ws.path("Vale/Vale.exe"));
    EXPECT_EQ(native.arguments, QStringList{"atv"});
    s.ws.write("Vale/Vale.exe", "MZ");
    const PlayerCommand windows = playerCommand(s.ws.path("Vale/Vale.exe"), "atv");
    EXPECT_EQ(windows.program, wine);
    EXPECT_EQ(windows.arguments, (QStringList{s.ws.path("Vale/Vale.exe"), "atv"}));
    // A missing player is said before Wine is looked for.
    QFile::remove(s.ws.path("Vale/Vale.exe"));
    try {
        playerCommand(s.ws.path("Vale/Vale.exe"), "atv");
        ADD_FAILURE() << "a missing player was not reported";
    } catch (const OrvalisError& e) {
        EXPECT_EQ(e.text(), "O jogador Vale.exe não foi encontrado na pasta da aventura.");
    }
}

TEST(WinePlayer, APlayerUnderWineIsKnownByItsFileNameAsWindowClass) {
    test::XStandIn x;
    if (!x.ok())
        GTEST_SKIP() << "Xvfb is not available";
    // What Wine puts up for every program: a window per program for its input
    // method, and the player's form under another title.
    x.addWindow("vale.exe", "vale.exe", "Default IME", false);
    x.addWindow("vale.exe", "vale.exe", "Jogador", true);
    x.addWindow("outra.exe", "outra.exe", "Vale", true);
    x.addWindow("vale", "vale", "Vale", true);
    x.addWindow("vale.exe.bak", "vale.exe.bak", "Vale", true);
    const auto desktop = makeDesktopGamePlayer();
    EXPECT_EQ(desktop->findWindow("Vale"), 0u);
    const unsigned long player = x.addWindow("vale.exe", "vale.exe", "Vale", true);
    EXPECT_EQ(desktop->findWindow("Vale"), player);
    EXPECT_EQ(desktop->findWindow("VALE"), player);
    // Names beyond ASCII, lowered as Wine lowers them.
    const unsigned long accented = x.addWindow("ção.exe", "ção.exe", QStringLiteral("Ção"), true);
    EXPECT_EQ(desktop->findWindow(QStringLiteral("Ção")), accented);
    EXPECT_EQ(winePlayerWindowClass(QStringLiteral("Ção")), QStringLiteral("ção.exe"));
}

#ifdef ORVALIS_WINE_STANDIN
// Wine, a window manager and the stand-in player's file, on a private X
// server; everything is stopped when the object goes.
struct WineDesktop {
    test::XStandIn x;
    QProcess manager;
    QTemporaryDir prefix;
    QTemporaryDir managerConfig;
    QString wine = QStandardPaths::findExecutable("wine");
    QString wineserver = QStandardPaths::findExecutable("wineserver");
    std::unique_ptr<ScopedEnv> winePrefix, debug, overrides;
    QByteArray player;
    qint64 bootTime = 0;

    ~WineDesktop() {
        if (!wineserver.isEmpty() && winePrefix) {
            QProcess::execute(wineserver, {"-k"});
            QProcess wait;
            wait.start(wineserver, {"-w"});
            wait.waitForFinished(10000);
        }
        if (manager.state() != QProcess::NotRunning) {
            manager.terminate();
            if (!manager.waitForFinished(5000))
                manager.kill();
            manager.waitForFinished(2000);
        }
    }

    // Empty when all is up, else why it could not be. A window manager that
    // does not give new windows the focus leaves it with the window that
    // had it, as one that prevents focus stealing does.
    std::string start(bool focusNewWindows) {
        const QString openbox = QStandardPaths::findExecutable("openbox");
        if (wine.isEmpty() || wineserver.isEmpty())
            return "Wine is not installed (packages wine, wine64)";
        if (openbox.isEmpty())
            return "no window manager: openbox is not installed";
        if (!x.ok())
            return "Xvfb is not available";
        QFile standIn(QStringLiteral(ORVALIS_WINE_STANDIN));
        if (!standIn.open(QIODevice::ReadOnly))
            return "cannot read " ORVALIS_WINE_STANDIN;
        player = standIn.readAll();

        QStringList arguments{"--sm-disable"};
        if (!focusNewWindows) {
            const QString rc = managerConfig.path() + "/rc.xml";
            QFile file(rc);
            if (!file.open(QIODevice::WriteOnly))
                return "cannot write the window manager's settings";
            file.write("<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
                       "<focus><focusNew>no</focusNew><followMouse>no</followMouse></focus></openbox_config>\n");
            file.close();
            arguments << "--config-file" << rc;
        }
        manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        manager.setStandardOutputFile(QProcess::nullDevice());
        manager.start(openbox, arguments);
        if (!waitFor([&] { return x.hasWindowManager(); }, 10000))
            return "openbox did not come up";

        // A Wine of its own, quiet and without the offers to install extras.
        if (!prefix.isValid())
            return "no temporary folder";
        winePrefix = std::make_unique<ScopedEnv>("WINEPREFIX", prefix.path().toLocal8Bit());
        debug = std::make_unique<ScopedEnv>("WINEDEBUG", "-all");
        overrides = std::make_unique<ScopedEnv>("WINEDLLOVERRIDES", "mscoree,mshtml=");
        QElapsedTimer clock;
        clock.start();
        // Setting up a new prefix is the slow part of Wine's first start.
        QProcess boot;
        boot.setProcessChannelMode(QProcess::MergedChannels);
        boot.start(wine, {"wineboot", "--init"});
        if (!boot.waitForFinished(40000) || boot.exitStatus() != QProcess::NormalExit || boot.exitCode() != 0) {
            const QByteArray said = boot.readAll().right(400);
            boot.kill();
            boot.waitForFinished(2000);
            return "Wine cannot start here: setting up a prefix failed or took over 40 s: " + said.toStdString();
        }
        // Its services go on starting for a while; the player comes up
        // quicker once they are done. 50 s in all for Wine to get ready.
        QProcess settle;
        settle.start(wineserver, {"-w"});
        if (!settle.waitForFinished(static_cast<int>(std::max<qint64>(1000, 50000 - clock.elapsed())))) {
            settle.kill();
            settle.waitForFinished(2000);
        }
        bootTime = clock.elapsed();
        return {};
    }

    // The window manager takes a moment to adopt a new window and ignores
    // requests for it till then, so requests are repeated.
    bool focusOn(unsigned long window, const std::function<bool()>& done) {
        const auto desktop = makeDesktopGamePlayer();
        QElapsedTimer retry;
        retry.start();
        desktop->bringToFront(window);
        return waitFor(
            [&] {
                if (done())
                    return true;
                if (retry.elapsed() > 1000) {
                    desktop->bringToFront(window);
                    retry.restart();
                }
                return false;
            },
            10000);
    }
};

QStringList playerLog(const Session& s) {
    return QString::fromLocal8Bit(s.ws.read("Vale/jogador.log")).split('\n', Qt::SkipEmptyParts);
}
#endif

// The whole round as an author meets it: the first "Exec" starts the player
// under Wine with "atv"; after the author played a little and went back to
// the editor, the second one finds the player, writes the script's name and
// brings the player forward, which reads it.
TEST(WinePlayer, UnderWineExecStartsTheWindowsPlayerThenHandsItTheScript) {
#ifndef ORVALIS_WINE_STANDIN
    GTEST_SKIP() << "the stand-in Windows player was not built: x86_64-w64-mingw32-gcc (package "
                    "gcc-mingw-w64-x86-64-win32) was not found when configuring";
#else
    WineDesktop d;
    if (const std::string why = d.start(true); !why.empty())
        GTEST_SKIP() << why;
    Session s(d.player);
    const auto log = [&] { return playerLog(s); };
    const auto desktop = makeDesktopGamePlayer();

    s.load("sala.scp");
    QElapsedTimer clock;
    clock.start();
    s.exec();
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join('\n').toStdString();
    EXPECT_EQ(s.starts, 1);
    ASSERT_TRUE(waitFor([&] { return desktop->findWindow("Vale") != 0; }, 25000))
        << "the player's window did not appear; the player noted: " << log().join(" / ").toStdString();
    const qint64 startTime = clock.elapsed();
    ASSERT_FALSE(log().isEmpty());
    // Started with "atv" in the adventure folder, which Wine shows on drive Z.
    const QString first = log().first();
    ASSERT_TRUE(first.startsWith("inicio atv|Z:")) << first.toStdString();
    EXPECT_EQ(canonical(first.mid(13).replace('\\', '/')), canonical(s.ws.path("Vale")));
    EXPECT_FALSE(s.ws.exists("Vale/scp.txt"));

    // The author plays a little, then goes back to the editor.
    unsigned long form = 0;
    ASSERT_TRUE(waitFor([&] { return (form = d.x.findByName("Jogador")) != 0; }, 10000));
    ASSERT_TRUE(d.focusOn(form, [&] { return d.x.focus() == form; })) << "the player's form never got the focus";
    const unsigned long editor = d.x.addWindow("orvalis", "Orvalis", "Orvalis - Vale", true);
    ASSERT_TRUE(d.focusOn(editor, [&] { return log().value(log().size() - 1) == "inativo"; }))
        << "the player was not left: " << log().join(" / ").toStdString();
    const qsizetype before = log().size();

    clock.restart();
    s.exec();
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join('\n').toStdString();
    EXPECT_EQ(s.ws.read("Vale/scp.txt"), "sala\r\n");
    EXPECT_TRUE(waitFor([&] { return log().mid(before).contains("ativo sala"); }, 10000))
        << "the player did not read the script's name: " << log().join(" / ").toStdString();
    const qint64 handOffTime = clock.elapsed();
    // Read once: the hand-off does not make the player load the script twice.
    waitFor([] { return false; }, 1500);
    EXPECT_EQ(log().mid(before).filter("ativo sala").size(), 1) << log().join(" / ").toStdString();
    EXPECT_EQ(s.starts, 1);
    EXPECT_EQ(log().filter(QRegularExpression("^inicio ")).size(), 1);
    std::printf("Wine: prefix set up in %lld ms, player up in %lld ms, script read %lld ms after Exec\n",
                static_cast<long long>(d.bootTime), static_cast<long long>(startTime),
                static_cast<long long>(handOffTime));
#endif
}

// The player never had the keyboard focus: the window manager left it with
// the editor when the player came up. Wine still counts the player as the
// active program then, so raising it alone brings it no activation; the
// second "Exec" must reach it all the same, without a click in the player.
TEST(WinePlayer, UnderWineAPlayerThatNeverHadTheFocusStillGetsTheScript) {
#ifndef ORVALIS_WINE_STANDIN
    GTEST_SKIP() << "the stand-in Windows player was not built";
#else
    WineDesktop d;
    if (const std::string why = d.start(false); !why.empty())
        GTEST_SKIP() << why;
    Session s(d.player);
    const auto log = [&] { return playerLog(s); };
    const auto desktop = makeDesktopGamePlayer();
    const unsigned long editor = d.x.addWindow("orvalis", "Orvalis", "Orvalis - Vale", true);
    ASSERT_TRUE(d.focusOn(editor, [&] { return d.x.focus() == editor; }));

    s.load("sala.scp");
    s.exec();
    ASSERT_TRUE(waitFor([&] { return desktop->findWindow("Vale") != 0; }, 25000))
        << "the player's window did not appear; the player noted: " << log().join(" / ").toStdString();
    unsigned long form = 0;
    ASSERT_TRUE(waitFor([&] { return (form = d.x.findByName("Jogador")) != 0; }, 10000));
    waitFor([] { return false; }, 1000);  // whatever the window manager does with a new window, done
    ASSERT_EQ(d.x.focus(), editor) << "the window manager gave the player the focus";
    const qsizetype before = log().size();

    QElapsedTimer clock;
    clock.start();
    s.exec();
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join('\n').toStdString();
    EXPECT_EQ(s.ws.read("Vale/scp.txt"), "sala\r\n");
    EXPECT_TRUE(waitFor([&] { return log().mid(before).contains("ativo sala"); }, 10000))
        << "the player did not read the script's name: " << log().join(" / ").toStdString();
    const qint64 handOffTime = clock.elapsed();
    waitFor([] { return false; }, 1500);
    EXPECT_EQ(log().mid(before).filter("ativo sala").size(), 1) << log().join(" / ").toStdString();
    EXPECT_EQ(s.starts, 1);
    std::printf("Wine, a player that never had the focus: script read %lld ms after Exec\n",
                static_cast<long long>(handOffTime));
#endif
}
