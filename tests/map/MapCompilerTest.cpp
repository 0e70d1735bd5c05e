#include "map/MapCompiler.h"

#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "core/Adventure.h"
#include "core/DurableWrite.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using orv::MapCompiler;

namespace {

// A fresh map (801 empty lines) that the tests fill cell by cell.
struct Map {
    QStringList lines = QStringList(801, QString());
    Map& put(int cell, const QString& name, const QString& tile) {
        lines[2 * cell] = name;
        lines[2 * cell + 1] = tile;
        return *this;
    }
};

// An adventure folder in a temporary directory, as the program names it:
// with a trailing separator.
struct Adventure {
    QTemporaryDir dir;
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    QString path(const QString& file) const { return folder() + file; }
    void touch(const QString& file, const QByteArray& bytes = {}) const {
        QFile f(path(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray bytes(const QString& file) const {
        QFile f(path(file));
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                          QDir::Name);
    }
    QStringList block(const Map& map, int cell, const QString& ext = QStringLiteral("png")) const {
        return MapCompiler::buildPositionBlock(map.lines, cell, QStringLiteral("1"), ext, folder());
    }
    void compile(const Map& map, const QString& mode) const {
        MapCompiler::compile(map.lines, QStringLiteral("1"), QStringLiteral("png"), mode, folder());
    }
};

// The exit lines of a block (everything between the fixed head and tail).
QStringList exits(const QStringList& block) {
    QStringList out;
    for (const QString& line : block)
        for (const char* key : {"  norte= ", "  leste= ", "  sul= ", "  oeste= "})
            if (line.startsWith(QLatin1String(key)))
                out << line;
    return out;
}

}  // namespace

TEST(MapCompiler, WorkedExampleIsWrittenByteForByte) {
    Adventure adv;
    adv.touch(QStringLiteral("sala.png"));
    Map map;
    map.put(43, QStringLiteral("sala"), QStringLiteral("6"))
        .put(23, QString(), QStringLiteral("17"))
        .put(3, QStringLiteral("torre"), QStringLiteral("4"))
        .put(44, QStringLiteral("cozinha"), QStringLiteral("14"));

    MapCompiler::compile(map.lines, orv::ScriptSettings{}, adv.folder());

    const QByteArray sala =
        "//=== Posi\xE7\xE3o: sala ==================\r\n"
        "  setmode= 1\r\n"
        "  retscp= sala\r\n"
        "  telpos= sala.png\r\n"
        "  norte= torre\r\n"
        "  leste= cozinha\r\n"
        "  msg= Nome desta posi\xE7\xE3o sala\r\n"
        "  fim\r\n";
    EXPECT_EQ(adv.bytes(QStringLiteral("sala.scp")), sala);
    // The other two positions: torre's south door crosses the corridor back
    // to sala; cozinha's east door meets an unnamed cell.
    EXPECT_EQ(adv.bytes(QStringLiteral("torre.scp")),
              QByteArray("//=== Posi\xE7\xE3o: torre ==================\r\n"
                         "  setmode= 1\r\n  retscp= torre\r\n  sul= sala\r\n"
                         "  msg= Nome desta posi\xE7\xE3o torre\r\n  fim\r\n"));
    EXPECT_EQ(exits(adv.block(map, 44)), QStringList{QStringLiteral("  oeste= sala")});
    EXPECT_EQ(adv.entries(), (QStringList{"cozinha.scp", "sala.png", "sala.scp", "torre.scp"}));

    // The default script mode is copied as it stands.
    EXPECT_EQ(MapCompiler::buildPositionBlock(map.lines, 43, QStringLiteral("0"), QStringLiteral("png"),
                                              adv.folder())[1],
              QStringLiteral("  setmode= 0"));
}

TEST(MapCompiler, CorridorsAreCrossedOnlyAlongTheirStrip) {
    Adventure adv;
    Map map;
    // A long vertical chain of 17 and 19 between two rooms.
    map.put(2, QStringLiteral("alto"), QStringLiteral("4"));
    for (int row = 1; row <= 17; ++row)
        map.put(row * 20 + 2, QString(), row % 3 ? QStringLiteral("17") : QStringLiteral("19"));
    map.put(362, QStringLiteral("baixo"), QStringLiteral("7"));
    EXPECT_EQ(exits(adv.block(map, 2)), QStringList{QStringLiteral("  sul= baixo")});
    EXPECT_EQ(exits(adv.block(map, 362)), QStringList{QStringLiteral("  norte= alto")});

    // A horizontal chain of 18 and 19 between two rooms.
    map.put(100, QStringLiteral("oeste"), QStringLiteral("3"));
    for (int col = 1; col <= 18; ++col)
        map.put(100 + col, QString(), col % 4 ? QStringLiteral("18") : QStringLiteral("19"));
    map.put(119, QStringLiteral("leste"), QStringLiteral("5"));
    EXPECT_EQ(exits(adv.block(map, 100)), QStringList{QStringLiteral("  leste= leste")});
    EXPECT_EQ(exits(adv.block(map, 119)), QStringList{QStringLiteral("  oeste= oeste")});

    // A horizontal corridor stops a north search; a named one is the exit,
    // an unnamed one gives none. A vertical corridor stops an east search.
    Map cross;
    cross.put(65, QStringLiteral("quarto"), QStringLiteral("12"))
        .put(45, QStringLiteral("passagem"), QStringLiteral("18"))
        .put(25, QStringLiteral("longe"), QStringLiteral("4"))
        .put(66, QString(), QStringLiteral("17"))
        .put(67, QStringLiteral("depois"), QStringLiteral("5"))
        .put(85, QStringLiteral("cruz"), QStringLiteral("19"))
        .put(105, QStringLiteral("porão"), QStringLiteral("2"))
        .put(64, QString(), QStringLiteral("19"))
        .put(63, QString(), QStringLiteral("18"))
        .put(62, QStringLiteral("fundo"), QStringLiteral("3"));
    EXPECT_EQ(exits(adv.block(cross, 65)),
              (QStringList{QStringLiteral("  norte= passagem"), QStringLiteral("  sul= porão"),
                           QStringLiteral("  oeste= fundo")}));
    cross.put(45, QString(), QStringLiteral("18"));
    EXPECT_EQ(exits(adv.block(cross, 65)),
              (QStringList{QStringLiteral("  sul= porão"), QStringLiteral("  oeste= fundo")}));
}

TEST(MapCompiler, DoorTargetsNeedOnlyAName) {
    Adventure adv;
    Map map;
    // Doors on all four sides: an unnamed room, a named blank tile, a named
    // cell with no tile, a room whose door points away.
    map.put(105, QStringLiteral("centro"), QStringLiteral("12"))
        .put(85, QString(), QStringLiteral("7"))
        .put(106, QStringLiteral("vazio"), QStringLiteral("0"))
        .put(125, QStringLiteral("sem tile"), QString())
        .put(104, QStringLiteral("costas"), QStringLiteral("5"));
    EXPECT_EQ(exits(adv.block(map, 105)),
              (QStringList{QStringLiteral("  leste= vazio"), QStringLiteral("  sul= sem tile"),
                           QStringLiteral("  oeste= costas")}));

    // Tiles "1" and "0" have no doors, whatever surrounds them; so has any
    // tile text that is not exactly one of the door numbers.
    for (const char* tile : {"1", "0", "06", " 12", "12 ", "20", "x"}) {
        map.put(105, QStringLiteral("centro"), QString::fromLatin1(tile));
        map.put(85, QStringLiteral("norte"), QStringLiteral("1"));
        const QStringList block = adv.block(map, 105);
        EXPECT_EQ(exits(block), QStringList()) << tile;
        EXPECT_EQ(block.size(), 5) << tile;
        EXPECT_EQ(block.last(), QStringLiteral("  fim"));
    }
}

TEST(MapCompiler, SearchesStopAtTheGridEdges) {
    Adventure adv;
    Map map;
    // Every door on the rim points off the grid; the named cells across the
    // side edges (next or previous row) must not be reached.
    map.put(5, QStringLiteral("n"), QStringLiteral("2"))
        .put(385, QStringLiteral("s"), QStringLiteral("4"))
        .put(39, QStringLiteral("e"), QStringLiteral("3"))
        .put(40, QStringLiteral("proxima linha"), QStringLiteral("1"))
        .put(60, QStringLiteral("o"), QStringLiteral("5"))
        .put(59, QStringLiteral("linha de cima"), QStringLiteral("1"))
        .put(0, QStringLiteral("canto"), QStringLiteral("12"))
        .put(399, QStringLiteral("fim"), QStringLiteral("12"))
        .put(380, QStringLiteral("sudoeste"), QStringLiteral("12"))
        .put(19, QStringLiteral("nordeste"), QStringLiteral("12"));
    for (int cell : {5, 385, 39, 60})
        EXPECT_EQ(exits(adv.block(map, cell)), QStringList()) << cell;
    // Corners keep only their inward exits.
    map.put(1, QStringLiteral("a"), QStringLiteral("1")).put(20, QStringLiteral("b"), QStringLiteral("1"));
    EXPECT_EQ(exits(adv.block(map, 0)),
              (QStringList{QStringLiteral("  leste= a"), QStringLiteral("  sul= b")}));
    map.put(398, QStringLiteral("c"), QStringLiteral("1")).put(379, QStringLiteral("d"), QStringLiteral("1"));
    EXPECT_EQ(exits(adv.block(map, 399)),
              (QStringList{QStringLiteral("  norte= d"), QStringLiteral("  oeste= c")}));
    EXPECT_EQ(MapCompiler::exitTarget(map.lines, 380, MapCompiler::Direction::West), -1);
    EXPECT_EQ(MapCompiler::exitTarget(map.lines, 19, MapCompiler::Direction::East), -1);

    // Corridor chains that run off an edge lead nowhere either.
    Map chains;
    chains.put(45, QStringLiteral("sobe"), QStringLiteral("2"))
        .put(25, QString(), QStringLiteral("17"))
        .put(5, QString(), QStringLiteral("19"))
        .put(357, QStringLiteral("desce"), QStringLiteral("4"))
        .put(377, QString(), QStringLiteral("17"))
        .put(397, QString(), QStringLiteral("17"))
        .put(117, QStringLiteral("direita"), QStringLiteral("3"))
        .put(118, QString(), QStringLiteral("18"))
        .put(119, QString(), QStringLiteral("19"))
        .put(120, QStringLiteral("seguinte"), QStringLiteral("1"))
        .put(142, QStringLiteral("esquerda"), QStringLiteral("5"))
        .put(141, QString(), QStringLiteral("18"))
        .put(140, QString(), QStringLiteral("18"))
        .put(139, QStringLiteral("anterior"), QStringLiteral("1"));
    for (int cell : {45, 357, 117, 142})
        EXPECT_EQ(exits(adv.block(chains, cell)), QStringList()) << cell;
    chains.put(0, QString(), QStringLiteral("18")).put(1, QString(), QStringLiteral("19"));
    for (int start = 0; start < 400; ++start)
        for (auto d : {MapCompiler::Direction::North, MapCompiler::Direction::East,
                       MapCompiler::Direction::South, MapCompiler::Direction::West}) {
            const int target = MapCompiler::exitTarget(chains.lines, start, d);
            EXPECT_TRUE(target >= -1 && target < 400);
        }

    EXPECT_EQ(MapCompiler::exitTarget(map.lines, -1, MapCompiler::Direction::East), -1);
    EXPECT_EQ(MapCompiler::exitTarget(map.lines, 400, MapCompiler::Direction::North), -1);

    // A short map list (a truncated file) reads as empty lines.
    QStringList shortMap = QStringList{QStringLiteral("x"), QStringLiteral("12")};
    EXPECT_EQ(exits(MapCompiler::buildPositionBlock(shortMap, 0, QStringLiteral("1"),
                                                    QStringLiteral("png"), adv.folder())),
              QStringList());
}

TEST(MapCompiler, PictureLineFollowsTheImageExtension) {
    Adventure adv;
    Map map;
    map.put(0, QStringLiteral("sala"), QStringLiteral("1"));
    adv.touch(QStringLiteral("sala.png"));
    EXPECT_FALSE(adv.block(map, 0, QStringLiteral("jpg")).join('\n').contains(QLatin1String("telpos")));
    adv.touch(QStringLiteral("sala.jpg"));
    EXPECT_EQ(adv.block(map, 0, QStringLiteral("jpg"))[3], QStringLiteral("  telpos= sala.jpg"));
    EXPECT_EQ(adv.block(map, 0, QStringLiteral("png"))[3], QStringLiteral("  telpos= sala.png"));
    EXPECT_FALSE(adv.block(map, 0, QStringLiteral("gif")).join('\n').contains(QLatin1String("telpos")));
    // A folder of that name is not a picture.
    QDir(adv.dir.path()).mkdir(QStringLiteral("sala.gif"));
    EXPECT_FALSE(adv.block(map, 0, QStringLiteral("gif")).join('\n').contains(QLatin1String("telpos")));
}

TEST(MapCompiler, WriteModesOverExistingScripts) {
    const QByteArray old = "// meu script\r\n  se= x \xE9 \x80\x81\xFF\nsem quebra final";
    Map map;
    map.put(0, QStringLiteral("a"), QStringLiteral("1")).put(1, QStringLiteral("b"), QStringLiteral("1"));
    const auto blockOf = [](const char* n) {
        return QByteArray("//=== Posi\xE7\xE3o: ") + n + " ==================\r\n  setmode= 1\r\n"
               "  retscp= " + n + "\r\n  msg= Nome desta posi\xE7\xE3o " + n + "\r\n  fim\r\n";
    };

    {  // "2": an existing script stays byte for byte; a missing one is written.
        Adventure adv;
        adv.touch(QStringLiteral("a.scp"), old);
        adv.compile(map, QStringLiteral("2"));
        adv.compile(map, QStringLiteral("2"));
        EXPECT_EQ(adv.bytes(QStringLiteral("a.scp")), old);
        EXPECT_EQ(adv.bytes(QStringLiteral("b.scp")), blockOf("b"));
    }
    {  // "1": replaced, every time.
        Adventure adv;
        adv.touch(QStringLiteral("a.scp"), old);
        adv.compile(map, QStringLiteral("1"));
        adv.compile(map, QStringLiteral("1"));
        EXPECT_EQ(adv.bytes(QStringLiteral("a.scp")), blockOf("a"));
        EXPECT_EQ(adv.bytes(QStringLiteral("b.scp")), blockOf("b"));
    }
    {  // "3": new block on top, old bytes kept exactly, one empty line more
       // at the end per compile; a missing script gets the block alone.
        Adventure adv;
        adv.touch(QStringLiteral("a.scp"), old);
        adv.compile(map, QStringLiteral("3"));
        EXPECT_EQ(adv.bytes(QStringLiteral("a.scp")), blockOf("a") + old + "\r\n");
        EXPECT_EQ(adv.bytes(QStringLiteral("b.scp")), blockOf("b"));
        adv.compile(map, QStringLiteral("3"));
        EXPECT_EQ(adv.bytes(QStringLiteral("a.scp")), blockOf("a") + blockOf("a") + old + "\r\n\r\n");
        EXPECT_EQ(adv.bytes(QStringLiteral("b.scp")), blockOf("b") + blockOf("b") + "\r\n");
        EXPECT_EQ(orv::ListFile::read(adv.path(QStringLiteral("b.scp"))).last(), QString());
    }
    {  // Any other mode is refused before anything is written.
        Adventure adv;
        EXPECT_THROW(adv.compile(map, QStringLiteral("4")), orv::OrvalisError);
        EXPECT_TRUE(adv.entries().isEmpty());
    }
}

TEST(MapCompiler, EmptyMapWritesNothing) {
    Adventure adv;
    Map map;
    EXPECT_NO_THROW(adv.compile(map, QStringLiteral("1")));
    // Names without a tile and tiles without a name are skipped too.
    map.put(10, QStringLiteral("fantasma"), QString()).put(11, QString(), QStringLiteral("12"));
    EXPECT_NO_THROW(adv.compile(map, QStringLiteral("3")));
    EXPECT_TRUE(adv.entries().isEmpty());
}

TEST(MapCompiler, BadPositionNameStopsTheCompileThere) {
    for (const QString& bad : {QStringLiteral("a/b"), QStringLiteral("a\\b"), QStringLiteral(".."),
                               QStringLiteral("."), QStringLiteral("tab\there"),
                               QStringLiteral("nul") + QChar(0) + QStringLiteral("x"),
                               QStringLiteral("../fora")}) {
        Adventure adv;
        Map map;
        map.put(10, QStringLiteral("antes"), QStringLiteral("1"))
            .put(20, bad, QStringLiteral("1"))
            .put(30, QStringLiteral("depois"), QStringLiteral("1"));
        try {
            adv.compile(map, QStringLiteral("1"));
            ADD_FAILURE() << "no error for " << bad.toStdString();
        } catch (const orv::OrvalisError& error) {
            // Control characters are shown as "?" in the message.
            QString shown = bad;
            shown.replace(QChar(0), QLatin1Char('?')).replace(QLatin1Char('\t'), QLatin1Char('?'));
            EXPECT_TRUE(error.text().startsWith(QStringLiteral("Não foi possível gravar o script da posição \"") + shown + '"'))
                << error.what();
        }
        EXPECT_EQ(adv.entries(), QStringList{QStringLiteral("antes.scp")}) << bad.toStdString();
        EXPECT_FALSE(QFile::exists(adv.dir.path() + QStringLiteral("/../fora.scp")));
    }

    // A name that is fine but cannot be written (a folder stands there).
    Adventure adv;
    Map map;
    map.put(10, QStringLiteral("antes"), QStringLiteral("1")).put(20, QStringLiteral("pasta"), QStringLiteral("1"))
        .put(30, QStringLiteral("depois"), QStringLiteral("1"));
    QDir(adv.dir.path()).mkdir(QStringLiteral("pasta.scp"));
    for (const char* mode : {"1", "3"}) {
        try {
            adv.compile(map, QString::fromLatin1(mode));
            ADD_FAILURE() << "no error in mode " << mode;
        } catch (const orv::OrvalisError& error) {
            EXPECT_TRUE(error.text().contains(QStringLiteral("posição \"pasta\""))) << error.what();
        }
        EXPECT_TRUE(orv::fileExists(adv.path(QStringLiteral("antes.scp"))));
        EXPECT_FALSE(orv::fileExists(adv.path(QStringLiteral("depois.scp"))));
    }
    // Names with other characters are fine on this system.
    EXPECT_TRUE(MapCompiler::isUsableFileName(QStringLiteral("sala ção 1.b")));
    EXPECT_FALSE(MapCompiler::isUsableFileName(QString()));
}

// Two positions of the same name write the same script twice, one after the
// other: the written file is what two plain writes in cell order leave.
TEST(MapCompiler, APositionNameUsedTwiceWritesAsInCellOrder) {
    Map map;
    map.put(0, QStringLiteral("eco"), QStringLiteral("3")).put(1, QStringLiteral("eco"), QStringLiteral("5"));
    const auto script = [&](const Adventure& adv, int cell) {
        return orv::ListFile::joinLines(adv.block(map, cell));
    };
    {
        Adventure adv;
        adv.compile(map, QStringLiteral("1"));
        EXPECT_EQ(adv.bytes(QStringLiteral("eco.scp")), script(adv, 1));
    }
    {
        Adventure adv;
        adv.compile(map, QStringLiteral("2"));
        EXPECT_EQ(adv.bytes(QStringLiteral("eco.scp")), script(adv, 0));
    }
    {
        Adventure adv;
        adv.touch(QStringLiteral("eco.scp"), "velho");
        adv.compile(map, QStringLiteral("3"));
        EXPECT_EQ(adv.bytes(QStringLiteral("eco.scp")),
                  script(adv, 1) + script(adv, 0) + "velho\r\n" + "\r\n");
        EXPECT_EQ(adv.entries(), QStringList{QStringLiteral("eco.scp")});
    }
}

// The scripts reach the disk together: when that fails, no script changes and
// the error names the position whose script could not be synced; a rename
// that fails keeps the scripts renamed before it.
TEST(MapCompiler, ASyncOrRenameFailureNamesThePositionAndKeepsTheOthersWhole) {
    struct Restore {
        ~Restore() { orv::resetWriteSystemCalls(); }
    } restore;
    Adventure adv;
    Map map;
    map.put(0, QStringLiteral("um"), QStringLiteral("1")).put(1, QStringLiteral("dois"), QStringLiteral("1"))
        .put(2, QStringLiteral("tres"), QStringLiteral("1"));
    for (const char* name : {"um.scp", "dois.scp", "tres.scp"})
        adv.touch(QString::fromLatin1(name), "velho");

    const QByteArray dois = orv::ListFile::joinLines(adv.block(map, 1));
    orv::writeSystemCalls().fdatasync = [&](int fd) {
        char buffer[256] = {};
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
        if (n > 0 && QByteArray(buffer, int(n)) == dois.left(int(n))) {
            errno = EIO;
            return -1;
        }
        return ::fdatasync(fd);
    };
    try {
        adv.compile(map, QStringLiteral("1"));
        ADD_FAILURE() << "no error";
    } catch (const orv::OrvalisError& error) {
        EXPECT_TRUE(error.text().startsWith(QStringLiteral("Não foi possível gravar o script da posição \"dois\"")))
            << error.what();
    }
    for (const char* name : {"um.scp", "dois.scp", "tres.scp"})
        EXPECT_EQ(adv.bytes(QString::fromLatin1(name)), "velho") << name;
    orv::resetWriteSystemCalls();

    int renames = 0;
    orv::writeSystemCalls().rename = [&](const char* from, const char* to) {
        if (++renames == 2) {
            errno = EIO;
            return -1;
        }
        return ::rename(from, to);
    };
    EXPECT_THROW(adv.compile(map, QStringLiteral("1")), orv::OrvalisError);
    EXPECT_EQ(adv.bytes(QStringLiteral("um.scp")), orv::ListFile::joinLines(adv.block(map, 0)));
    EXPECT_EQ(adv.bytes(QStringLiteral("dois.scp")), "velho");
    EXPECT_EQ(adv.bytes(QStringLiteral("tres.scp")), "velho");
    EXPECT_EQ(adv.entries().size(), 3);
}

// A compile killed at any moment leaves every script as one of the two
// compiles wrote it, whole: never empty, torn or half of each.
TEST(MapCompiler, AKilledCompileLeavesEveryScriptOldOrNewWhole) {
    Adventure adv;
    Map first, second;
    for (int cell = 0; cell < 400; ++cell) {
        const QString name = QStringLiteral("p%1").arg(cell);
        first.put(cell, name, QStringLiteral("1"));
        second.put(cell, name, QStringLiteral("%1").arg(2 + cell % 15));
    }
    // The two versions differ in every script, by their mode line at least.
    const auto compileWith = [&](const Map& map, const char* mode) {
        MapCompiler::compile(map.lines, QString::fromLatin1(mode), QStringLiteral("png"), QStringLiteral("1"),
                             adv.folder());
    };
    QElapsedTimer clock;
    clock.start();
    compileWith(second, "2");
    compileWith(first, "1");
    // Kills land from early in the first compile to a few compiles later.
    const int compileMicroseconds = int(clock.nsecsElapsed() / 2000);
    QList<QByteArray> versionA, versionB;
    for (int cell = 0; cell < 400; ++cell) {
        versionA << orv::ListFile::joinLines(
            MapCompiler::buildPositionBlock(first.lines, cell, QStringLiteral("1"), QStringLiteral("png"), adv.folder()));
        versionB << orv::ListFile::joinLines(
            MapCompiler::buildPositionBlock(second.lines, cell, QStringLiteral("2"), QStringLiteral("png"), adv.folder()));
    }
    int bad = 0;
    int newSeen = 0;
    for (int round = 0; round < 16; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                i % 2 ? compileWith(first, "1") : compileWith(second, "2");
        }
        ::usleep(useconds_t(QRandomGenerator::global()->bounded(compileMicroseconds / 5, compileMicroseconds * 3)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        for (int cell = 0; cell < 400; ++cell) {
            const QByteArray now = adv.bytes(QStringLiteral("p%1.scp").arg(cell));
            if (now != versionA[cell] && now != versionB[cell])
                ++bad;
            newSeen += now == versionB[cell];
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_GT(newSeen, 0);  // the child did get through some compiles
    orv::removeStaleTemporaries(adv.folder());
    EXPECT_EQ(adv.entries().size(), 400);
}
