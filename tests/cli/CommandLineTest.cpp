// The program run as a command: each command against what the window's own
// code writes, every kind of wrong use, and no display anywhere. Every run
// here has DISPLAY and QT_QPA_PLATFORM unset and no controlling terminal.
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"
#include "net/TestServers.h"
#include "support/WriteChecks.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <iostream>

#include <unistd.h>

using orv::MapCompiler;
using orv::test::fileBytes;
using orv::test::temporariesIn;
using orv::test::writeBytes;

namespace {

struct Result {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the program with `arguments`, in its own session (so no terminal to
// ask a password on) and with no display.
Result orvalis(const QStringList& arguments, const QMap<QString, QString>& extra = {},
               const QString& program = QStringLiteral(ORVALIS_PROGRAM)) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ORVALIS_SENHA", "ORVALIS_SERVIDOR"})
        env.remove(QString::fromLatin1(name));
    for (auto it = extra.begin(); it != extra.end(); ++it)
        env.insert(it.key(), it.value());
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    Result result;
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Starts the program as orvalis() does and kills it outright (SIGKILL) after
// `milliseconds`, whatever it is doing then.
void orvalisKilledAfter(const QStringList& arguments, int milliseconds) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ORVALIS_SENHA", "ORVALIS_SERVIDOR"})
        env.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(QStringLiteral(ORVALIS_PROGRAM), arguments);
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForStarted());
    QThread::msleep(unsigned(milliseconds));
    process.kill();
    process.waitForFinished();
}

// Every entry below a folder, hidden ones included, with a digest of each
// file's bytes: two snapshots are equal when nothing was touched.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(folder).relativeFilePath(path);
        entries[relative] = it.fileInfo().isDir()
                                ? QByteArray("<folder>")
                                : QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha1).toHex();
    }
    return entries;
}

void copyFolder(const QString& from, const QString& to) {
    ASSERT_TRUE(QDir().mkpath(to));
    for (const QFileInfo& info : QDir(from).entryInfoList(QDir::Files | QDir::Hidden))
        writeBytes(to + "/" + info.fileName(), fileBytes(info.filePath()));
}

QString lineAt(const QStringList& lines, int i) { return i >= 0 && i < lines.size() ? lines[i] : QString(); }

// A random map of a few rooms and corridors: names from a small pool (so some
// repeat), tiles from every kind, some names without a tile, and now and then
// a name no file can have.
QStringList randomMap(QRandomGenerator& random, bool unusableNames, int filled = 55) {
    static const QStringList pool = {"sala", "cozinha", "torre", "porão", "jardim", "ação 1", "hall", "poço",
                                     "quarto", "sótão", "adega", "x"};
    QStringList lines(801);
    for (int cell = 0; cell < 400; ++cell) {
        const int roll = random.bounded(100);
        if (roll >= filled)
            continue;
        const int tile = random.bounded(20);
        lines[2 * cell + 1] = random.bounded(30) == 0 ? QString() : QString::number(tile);
        if (tile < 17 || random.bounded(4) == 0)
            lines[2 * cell] = pool.at(random.bounded(pool.size())) + QString::number(random.bounded(40));
    }
    if (unusableNames) {  // the compile stops here, midway down the map
        lines[2 * 210] = QStringLiteral("fora/210");
        lines[2 * 210 + 1] = QStringLiteral("1");
    }
    return lines;
}

// The exits as the rules state them, written apart from the program: a door
// of the tile leads through corridors of its own orientation to the first
// other cell; the grid's sides end the search.
struct Door {
    const char* word;
    int rowStep, columnStep;
    QStringList doors, passes;
};
const Door kDoors[4] = {
    {"norte", -1, 0, {"2", "6", "7", "8", "9", "10", "11", "12"}, {"17", "19"}},
    {"leste", 0, 1, {"3", "6", "9", "10", "12", "13", "14", "15"}, {"18", "19"}},
    {"sul", 1, 0, {"4", "7", "9", "11", "12", "13", "15", "16"}, {"17", "19"}},
    {"oeste", 0, -1, {"5", "8", "10", "11", "12", "14", "15", "16"}, {"18", "19"}},
};

QJsonArray expectedProblems(const QStringList& map) {
    QJsonArray problems;
    QStringList seen;
    auto add = [&](int cell, const QString& kind, const QJsonValue& direction) {
        problems.append(QJsonObject{{"celula", cell}, {"posicao", map[2 * cell]}, {"problema", kind},
                                    {"direcao", direction}});
    };
    for (int cell = 0; cell < 400; ++cell) {
        const QString name = lineAt(map, 2 * cell), tile = lineAt(map, 2 * cell + 1);
        if (name.isEmpty())
            continue;
        if (tile.isEmpty())
            add(cell, "nome-sem-tile", QJsonValue::Null);
        for (const Door& d : kDoors) {
            if (tile.isEmpty() || !d.doors.contains(tile))
                continue;
            int row = cell / 20 + d.rowStep, column = cell % 20 + d.columnStep;
            auto inside = [&] { return row >= 0 && row < 20 && column >= 0 && column < 20; };
            while (inside() && d.passes.contains(lineAt(map, 2 * (row * 20 + column) + 1)))
                row += d.rowStep, column += d.columnStep;
            if (!inside() || lineAt(map, 2 * (row * 20 + column)).isEmpty())
                add(cell, "porta-sem-destino", QString::fromLatin1(d.word));
        }
        // Only cells with a tile get a script that can replace another's.
        if (!tile.isEmpty() && seen.contains(name))
            add(cell, "nome-repetido", QJsonValue::Null);
        if (!tile.isEmpty())
            seen.append(name);
        bool usable = name != "." && name != "..";
        for (QChar c : name)
            if (c == '/' || c == '\\' || c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
                usable = false;
        if (!usable)
            add(cell, "nome-invalido", QJsonValue::Null);
    }
    return problems;
}

// The map's own problems of a check's JSON, with the four fields they have
// always had.
QJsonArray mapProblemsOf(const QJsonArray& all) {
    QJsonArray problems;
    for (const QJsonValue& value : all) {
        const QJsonObject o = value.toObject();
        if (!o.contains("problema"))
            continue;
        EXPECT_EQ(o["tipo"], o["problema"]);
        EXPECT_EQ(o["linha"].toInt(), 2 * o["celula"].toInt() + 1);
        problems.append(QJsonObject{{"celula", o["celula"]}, {"posicao", o["posicao"]},
                                    {"problema", o["problema"]}, {"direcao", o["direcao"]}});
    }
    return problems;
}

class CommandLineTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString ws;  // the workspace given with --pasta

    void SetUp() override {
        ws = temp.path() + "/ws";
        ASSERT_TRUE(QDir().mkpath(ws));
    }
    QString folder(const QString& adventure) const { return ws + "/" + adventure + "/"; }
    void makeAdventure(const QString& name, const QStringList& map) const {
        ASSERT_TRUE(QDir().mkpath(folder(name)));
        orv::ListFile::write(folder(name) + name + ".map", map);
    }
};

// Pictures and old scripts an adventure folder may already hold, so that
// "telpos" and the three write modes have something to act on.
void seedFolder(QRandomGenerator& random, const QStringList& map, const QString& folder) {
    for (int cell = 0; cell < 400; ++cell) {
        const QString name = lineAt(map, 2 * cell);
        if (name.isEmpty() || name.contains('/'))
            continue;
        if (random.bounded(3) == 0)
            writeBytes(folder + name + (random.bounded(2) ? ".png" : ".jpg"), "imagem");
        if (random.bounded(3) == 0)
            writeBytes(folder + name + ".scp", "script antigo\r\nda posição\r\n");
    }
}

TEST_F(CommandLineTest, CompileWritesWhatTheWindowsCompilerWritesOnTheSampleAndRandomMaps) {
    struct Case {
        QString label;
        QStringList map;
        QString sourceFolder;  // copied in first, when given
    };
    QList<Case> cases;
    cases.append({"amostra", orv::MapModel::readLines(QStringLiteral(ORVALIS_SAMPLE_DIR "/Floresta.map")),
                  QStringLiteral(ORVALIS_SAMPLE_DIR)});
    QRandomGenerator random(20240516);
    // Sparse maps: every script is written durably, and this runs 2 x 30 compiles.
    for (int i = 0; i < 6; ++i)
        cases.append({QStringLiteral("aleatório %1").arg(i), randomMap(random, i % 3 == 2, 25), {}});

    const QList<QStringList> settings = {
        {"1", "png", "1"}, {"0", "jpg", "2"}, {"2", "gif", "3"}, {"1", "png", "3"}, {"2", "jpg", "1"}};
    int runs = 0;
    for (const Case& c : cases) {
        for (const QStringList& s : settings) {
            SCOPED_TRACE((c.label + " " + s.join(' ')).toStdString());
            QTemporaryDir reference;
            const QString mine = folder("Aventura");
            QDir(mine).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(mine));
            if (!c.sourceFolder.isEmpty()) {
                copyFolder(c.sourceFolder, mine);
                QFile::remove(mine + "Floresta.map");
            } else {
                QRandomGenerator seeding(runs);
                seedFolder(seeding, c.map, mine);
            }
            orv::ListFile::write(mine + "Aventura.map", c.map);
            copyFolder(mine, reference.path());

            QStringList arguments = {"compilar", "Aventura", "--pasta", ws, "--modo", s[0], "--ext", s[1],
                                     "--gravacao", s[2]};
            if (s == settings.first())
                arguments = {"compilar", "Aventura", "--pasta", ws};  // the defaults
            const Result run = orvalis(arguments);
            ++runs;

            bool failed = false;
            MapCompiler::CompileCount count;
            try {
                count = MapCompiler::compile(c.map, s[0], s[1], s[2], reference.path() + "/");
            } catch (const orv::OrvalisError&) {
                failed = true;
            }
            EXPECT_EQ(snapshot(mine), snapshot(reference.path()));
            EXPECT_EQ(run.code, failed ? 1 : 0) << run.err.constData();
            if (!failed) {
                EXPECT_TRUE(run.out.contains(QByteArray::number(count.written) + (count.written == 1 ? " gravado," : " gravados,")))
                    << run.out.constData();
                EXPECT_TRUE(run.out.contains(", " + QByteArray::number(count.kept) + " deixado")) << run.out.constData();
            } else {
                EXPECT_TRUE(run.err.contains("fora/")) << run.err.constData();
            }
        }
    }
}

TEST_F(CommandLineTest, CompileCountsScriptsWrittenAndLeftAlone) {
    QStringList map(801);
    map[2 * 0] = "sala", map[2 * 0 + 1] = "3";
    map[2 * 1] = "cozinha", map[2 * 1 + 1] = "5";
    map[2 * 2] = "sem tile";
    makeAdventure("Casa", map);
    writeBytes(folder("Casa") + "sala.scp", "meu script\r\n");
    const Result keep = orvalis({"compilar", "Casa", "--pasta", ws, "--gravacao", "2"});
    EXPECT_EQ(keep.code, 0) << keep.err.constData();
    EXPECT_EQ(keep.out, QString("Scripts compilados: 1 gravado, 1 deixado como estava.\n").toUtf8());
    EXPECT_EQ(fileBytes(folder("Casa") + "sala.scp"), "meu script\r\n");
    EXPECT_FALSE(QFile::exists(folder("Casa") + "sem tile.scp"));
}

TEST_F(CommandLineTest, AMapThatCannotBeReadTouchesNoScript) {
    ASSERT_TRUE(QDir().mkpath(folder("Vazia")));
    writeBytes(folder("Vazia") + "velho.scp", "antigo\r\n");
    const auto before = snapshot(ws);
    for (const char* command : {"compilar", "verificar"}) {
        const Result missing = orvalis({command, "Vazia", "--pasta", ws});
        EXPECT_EQ(missing.code, 1) << command;
        EXPECT_TRUE(missing.err.contains("Vazia.map")) << missing.err.constData();
    }
    // A folder where the map file should be cannot be read (root reads any file).
    ASSERT_TRUE(QDir().mkpath(folder("Vazia") + "Vazia.map"));
    const auto withFolder = snapshot(ws);
    const Result unreadable = orvalis({"compilar", "Vazia", "--pasta", ws});
    EXPECT_EQ(unreadable.code, 1);
    EXPECT_FALSE(unreadable.err.isEmpty());
    EXPECT_EQ(snapshot(ws), withFolder);
    QDir(folder("Vazia") + "Vazia.map").removeRecursively();
    EXPECT_EQ(snapshot(ws), before);
}

TEST_F(CommandLineTest, CheckListsWhatAnIndependentExitSearchFinds) {
    QRandomGenerator random(77);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const QStringList map = randomMap(random, true);
        makeAdventure("Mapa", map);
        const Result json = orvalis({"verificar", "Mapa", "--json", "--pasta", ws});
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json.out, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.constData();
        const QJsonArray expected = expectedProblems(map);
        EXPECT_EQ(mapProblemsOf(document.array()), expected);
        EXPECT_EQ(json.code, document.array().isEmpty() ? 0 : 1);

        const Result plain = orvalis({"verificar", "Mapa", "--pasta", ws});
        EXPECT_EQ(plain.code, json.code);
        EXPECT_EQ(plain.out.count('\n'), document.array().size());
    }
}

TEST_F(CommandLineTest, CheckNamesEachKindOfProblemWithItsPlace) {
    QStringList map(801);
    auto put = [&](int cell, const QString& name, const QString& tile) {
        map[2 * cell] = name;
        map[2 * cell + 1] = tile;
    };
    put(0, "canto", "6");      // north leaves the grid; east finds "vizinho"
    put(1, "vizinho", "1");
    put(22, "sem tile", "");   // row 2, column 3
    put(45, "sala", "4");      // south over a corridor to an unnamed room
    put(65, "", "17");
    put(85, "", "2");
    put(99, "sala", "0");      // a second "sala"
    put(120, "a/b", "1");
    put(140, "aspas\"\x01", "1");
    makeAdventure("Teste", map);

    const Result json = orvalis({"verificar", "Teste", "--pasta", ws, "--json"});
    EXPECT_EQ(json.code, 1);
    const QJsonArray problems = mapProblemsOf(QJsonDocument::fromJson(json.out).array());
    EXPECT_EQ(problems, expectedProblems(map));
    ASSERT_EQ(problems.size(), 6);
    EXPECT_EQ(problems[0].toObject(),
              (QJsonObject{{"celula", 0}, {"posicao", "canto"}, {"problema", "porta-sem-destino"}, {"direcao", "norte"}}));
    EXPECT_EQ(problems[2].toObject()["direcao"], "sul");
    EXPECT_EQ(problems[3].toObject()["problema"], "nome-repetido");
    EXPECT_EQ(problems[4].toObject()["posicao"], "a/b");

    const Result plain = orvalis({"verificar", "Teste", "--pasta", ws});
    EXPECT_EQ(plain.code, 1);
    const QStringList lines = QString::fromUtf8(plain.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 6);  // the map's first, then the rest of the adventure's
    EXPECT_EQ(lines[0], "canto (linha 1, coluna 1): porta ao norte sem destino");
    EXPECT_EQ(lines[1], "sem tile (linha 2, coluna 3): nome sem tile (a posição não ganha script)");
    EXPECT_EQ(lines[2], "sala (linha 3, coluna 6): porta ao sul sem destino");
    EXPECT_TRUE(lines[3].startsWith("sala (linha 5, coluna 20): nome repetido")) << lines[3].toStdString();
    EXPECT_EQ(lines[4], "a/b (linha 7, coluna 1): nome que não pode ser nome de arquivo");
    // A control character makes a name unusable, and never reaches the
    // terminal raw; JSON carries it escaped.
    EXPECT_EQ(lines[5], "aspas\"? (linha 8, coluna 1): nome que não pode ser nome de arquivo");
    EXPECT_FALSE(plain.out.contains('\x01'));
    EXPECT_TRUE(json.out.contains("\"aspas\\\"\\u0001\"")) << json.out.constData();

    // Two closed rooms whose scripts lead to each other.
    QStringList clean(801);
    clean[0] = "só", clean[1] = "1";
    clean[2] = "lá", clean[3] = "1";
    makeAdventure("Limpa", clean);
    orv::ListFile::write(folder("Limpa") + "só.scp", {"  norte= lá"});
    orv::ListFile::write(folder("Limpa") + "lá.scp", {"  sul= só"});
    const Result none = orvalis({"verificar", "Limpa", "--json", "--pasta", ws});
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, "[]\n");
}

TEST_F(CommandLineTest, WrongUseExitsTwoAndTouchesNothing) {
    QStringList map(801);
    map[0] = "sala", map[1] = "1";
    makeAdventure("Casa", map);
    writeBytes(folder("Casa") + "sen.txt", "\r\n");
    writeBytes(folder("Casa") + ".sala.scp.orvtmp", "left by a killed run");  // a wrong use clears nothing either
    const auto before = snapshot(temp.path());
    const QString missing = temp.path() + "/nao-existe";
    const QList<QStringList> wrong = {
        {"--pasta", ws},
        {"compila", "Casa", "--pasta", ws},
        {"compilar", "--pasta", ws},
        {"compilar", "Casa", "Outra", "--pasta", ws},
        {"compilar", "Casa", "--pasta", ws, "--modo", "3"},
        {"compilar", "Casa", "--pasta", ws, "--modo"},
        {"compilar", "Casa", "--pasta", ws, "--ext", "bmp"},
        {"compilar", "Casa", "--pasta", ws, "--ext", "PNG"},
        {"compilar", "Casa", "--pasta", ws, "--gravacao=0"},
        {"compilar", "Casa", "--pasta", ws, "--gravacao", "4"},
        {"compilar", "Casa", "--pasta", ws, "--json"},
        {"compilar", "Casa", "--pasta", ws, "--forca"},
        {"compilar", "Casa", "--pasta", missing},
        {"compilar", "Casa", "--pasta"},
        {"compilar", "Nenhuma", "--pasta", ws},
        {"compilar", "../ws/Casa", "--pasta", ws},
        {"verificar", "Casa", "--pasta", ws, "--modo", "1"},
        {"verificar", "Casa", "--pasta", ws, "--json=sim"},
        {"verificar", "Casa/", "--pasta", ws},
        {"baixar", "..", "--pasta", ws},
        {"baixar", "a/b", "--pasta", ws},
        {"baixar", "Casa", "--pasta", ws, "--ext", "png"},
        {"enviar", "Nenhuma", "--pasta", ws},
        {"enviar", "Casa", "--pasta", ws},  // sen.txt holds an empty password, no terminal
    };
    for (const QStringList& arguments : wrong) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Result run = orvalis(arguments, {{"ORVALIS_SERVIDOR", "http://127.0.0.1:9/Orvalis/"}});
        EXPECT_EQ(run.code, 2) << run.err.constData();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith("orvalis: ")) << run.err.constData();
    }
    EXPECT_EQ(snapshot(temp.path()), before);

    const Result noPassword = orvalis({"enviar", "Casa", "--pasta", ws});
    EXPECT_EQ(noPassword.err, "orvalis: Falta senha!\n");
}

// What killed runs left half written in the adventure folder is cleared
// first by every command on it, one that then fails included; the author's
// hidden files stay.
TEST_F(CommandLineTest, EveryCommandFirstClearsTheTemporariesOfKilledRuns) {
    QStringList map(801);
    map[0] = "sala", map[1] = "2";
    makeAdventure("Casa", map);
    writeBytes(folder("Casa") + ".notas", "do autor");
    const auto leaveTemporaries = [&] {
        writeBytes(folder("Casa") + ".sala.scp.orvtmp", "meio gravado");
        writeBytes(folder("Casa") + ".Casa.map.orvtmp", "meio gravado");
    };
    for (const char* command : {"verificar", "compilar"}) {
        SCOPED_TRACE(command);
        leaveTemporaries();
        const Result run = orvalis({command, "Casa", "--pasta", ws});
        EXPECT_TRUE(run.code == 0 || run.code == 1) << run.err.constData();
        EXPECT_EQ(temporariesIn(folder("Casa")), QStringList());
        EXPECT_EQ(fileBytes(folder("Casa") + ".notas"), "do autor");
    }
    // The map cannot be read: the command fails, and the folder is cleared all the same.
    ASSERT_TRUE(QFile::remove(folder("Casa") + "Casa.map"));
    leaveTemporaries();
    EXPECT_EQ(orvalis({"compilar", "Casa", "--pasta", ws}).code, 1);
    EXPECT_EQ(temporariesIn(folder("Casa")), QStringList());
}

// A compile killed at random moments: every script stays whole, and what the
// kill left behind is gone after the next command on that adventure.
TEST_F(CommandLineTest, TheNextCommandClearsWhatAKilledCompileLeft) {
    QStringList map(801);
    for (int cell = 0; cell < 400; ++cell) {
        map[2 * cell] = QStringLiteral("p%1").arg(cell);
        map[2 * cell + 1] = QString::number(2 + cell % 15);
    }
    makeAdventure("Grande", map);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(orvalis({"compilar", "Grande", "--pasta", ws}).code, 0);
    const int runMilliseconds = int(std::max<qint64>(clock.elapsed(), 20));
    QList<QByteArray> scripts;
    for (int cell = 0; cell < 400; ++cell)
        scripts << fileBytes(folder("Grande") + QStringLiteral("p%1.scp").arg(cell));
    auto* random = QRandomGenerator::global();
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        orvalisKilledAfter({"compilar", "Grande", "--pasta", ws},
                           random->bounded(runMilliseconds / 4, runMilliseconds * 2));
        int torn = 0;
        for (int cell = 0; cell < 400; ++cell)
            torn += fileBytes(folder("Grande") + QStringLiteral("p%1.scp").arg(cell)) != scripts[cell];
        EXPECT_EQ(torn, 0);
        // Whatever this kill left, and one more as an earlier kill would leave it.
        writeBytes(folder("Grande") + ".p7.scp.orvtmp", "meio gravado");
        const Result next = orvalis({round % 2 ? "compilar" : "verificar", "Grande", "--pasta", ws});
        EXPECT_TRUE(next.code == 0 || next.code == 1) << next.err.constData();
        EXPECT_EQ(temporariesIn(folder("Grande")), QStringList());
    }
}

TEST_F(CommandLineTest, NovaMakesAnAdventureTheOtherCommandsWorkOnAndRefusesBadNames) {
    const Result made = orvalis({"nova", "Ilha", "--pasta", ws});
    ASSERT_EQ(made.code, 0) << made.err.constData();
    EXPECT_EQ(QString::fromLocal8Bit(made.out).trimmed(), QDir::toNativeSeparators(folder("Ilha")));
    EXPECT_EQ(QDir(folder("Ilha")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"Ilha.ini", "Ilha.map", "Ilha.obx", "Ilha.obz", "Ilha.rgs", "defobj.gif", "sen.txt"}));
    // An empty adventure has nothing wrong and compiles to nothing.
    const Result check = orvalis({"verificar", "Ilha", "--pasta", ws, "--estrito"});
    EXPECT_EQ(check.code, 0) << check.out.constData() << check.err.constData();
    EXPECT_EQ(orvalis({"compilar", "Ilha", "--pasta", ws}).code, 0);

    const auto before = snapshot(temp.path());
    for (const QString& name : {"Ilha", "ilha", "", " Ilha", "a/b", "a:b", "..", "NUL", "fim."}) {
        const Result refused = orvalis({"nova", name, "--pasta", ws});
        EXPECT_EQ(refused.code, 2) << name.toStdString();
        EXPECT_TRUE(refused.out.isEmpty());
        EXPECT_TRUE(refused.err.startsWith("orvalis: ")) << refused.err.constData();
    }
    EXPECT_EQ(orvalis({"nova", "--pasta", ws}).code, 2);
    EXPECT_EQ(orvalis({"nova", "A", "B", "--pasta", ws}).code, 2);
    EXPECT_EQ(orvalis({"nova", "A", "--pasta", ws, "--json"}).code, 2);
    EXPECT_EQ(snapshot(temp.path()), before);
    EXPECT_TRUE(orvalis({"--help"}).out.contains("  nova NOME "));
}

TEST_F(CommandLineTest, HelpAndVersionInPortugueseWithoutADisplayOrAPlatformPlugin) {
    for (const QMap<QString, QString>& env : {QMap<QString, QString>{},
                                              QMap<QString, QString>{{"QT_QPA_PLATFORM", "nenhuma"},
                                                                     {"QT_PLUGIN_PATH", "/nao-existe"}}}) {
        const Result help = orvalis({"--help"}, env);
        EXPECT_EQ(help.code, 0);
        EXPECT_TRUE(help.out.startsWith("Uso: orvalis COMANDO AVENTURA [opções]")) << help.out.constData();
        for (const char* command : {"compilar", "verificar", "baixar", "enviar", "--pasta", "ORVALIS_SENHA"})
            EXPECT_TRUE(help.out.contains(command)) << command;
        EXPECT_EQ(orvalis({"verificar", "--help"}, env).code, 0);
        const Result version = orvalis({"--version"}, env);
        EXPECT_EQ(version.code, 0);
        EXPECT_TRUE(version.out.startsWith("orvalis ")) << version.out.constData();

        QStringList map(801);
        map[0] = "sala", map[1] = "2";
        makeAdventure("Casa", map);
        const Result check = orvalis({"verificar", "Casa", "--pasta", ws}, env);
        EXPECT_EQ(check.code, 1) << check.err.constData();
        EXPECT_TRUE(check.out.contains("porta ao norte sem destino"));
        EXPECT_FALSE(check.err.contains("platform")) << check.err.constData();
    }
}

TEST_F(CommandLineTest, TheWorkspaceIsTheProgramsOwnFolderUnlessOneIsGiven) {
    // A copy of the program in a folder of its own, run from elsewhere.
    const QString program = ws + "/orvalis";
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVALIS_PROGRAM), program));
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
    QStringList map(801);
    map[0] = "sala", map[1] = "1";
    makeAdventure("Casa", map);
    const Result run = orvalis({"compilar", "Casa"}, {}, program);
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_TRUE(QFile::exists(folder("Casa") + "sala.scp"));
    EXPECT_EQ(orvalis({"compilar", "Casa"}).code, 2);  // not beside the build's program
}

// The sample adventure verifies clean but for the sounds nothing names; a
// position is found wherever it is named, renamed everywhere, and the
// adventure still verifies clean under the new name.
TEST_F(CommandLineTest, UsesRenameAndCheckOnTheSampleAdventure) {
    copyFolder(QStringLiteral(ORVALIS_SAMPLE_DIR), folder("Floresta"));
    const Result check = orvalis({"verificar", "Floresta", "--pasta", ws, "--json"});
    EXPECT_EQ(check.code, 0) << check.out.constData();
    for (const QJsonValue& problem : QJsonDocument::fromJson(check.out).array())
        EXPECT_EQ(problem.toObject()["tipo"], "nao-usado") << problem.toObject()["arquivo"].toString().toStdString();
    EXPECT_EQ(orvalis({"verificar", "Floresta", "--pasta", ws, "--estrito"}).code, 1);

    const Result uses = orvalis({"usos", "Floresta", "Clareira", "--pasta", ws});
    EXPECT_EQ(uses.code, 0);
    const QStringList lines = QString::fromUtf8(uses.out).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains("Floresta.map:131: mapa: Clareira")) << uses.out.constData();
    EXPECT_TRUE(lines.contains("Torre.scp:5: saida:   sul= Clareira")) << uses.out.constData();
    EXPECT_TRUE(lines.contains("Clareira.scp:4: imagem:   telpos= Clareira.png"));
    const Result json = orvalis({"usos", "Floresta", "Clareira", "--pasta", ws, "--json"});
    const QJsonArray found = QJsonDocument::fromJson(json.out).array();
    ASSERT_EQ(found.size(), lines.size());
    EXPECT_EQ(found[0].toObject().keys(), (QStringList{"arquivo", "linha", "texto", "tipo"}));
    const Result none = orvalis({"usos", "Floresta", "Ninguém", "--pasta", ws});
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(none.out.isEmpty());

    const auto before = snapshot(folder("Floresta"));
    const Result simulated = orvalis({"renomear", "Floresta", "Clareira", "Praia", "--simular", "--pasta", ws});
    EXPECT_EQ(simulated.code, 0) << simulated.err.constData();
    EXPECT_TRUE(simulated.out.contains("Clareira.scp: arquivo: renomeado para Praia.scp"));
    EXPECT_EQ(snapshot(folder("Floresta")), before);

    const Result renamed = orvalis({"renomear", "Floresta", "Clareira", "Praia", "--pasta", ws});
    EXPECT_EQ(renamed.code, 0) << renamed.err.constData();
    EXPECT_EQ(renamed.out, simulated.out);
    EXPECT_EQ(orvalis({"verificar", "Floresta", "--pasta", ws}).code, 0);
    const Result after = orvalis({"usos", "Floresta", "Praia", "--pasta", ws});
    EXPECT_EQ(after.out.count('\n') + 1, uses.out.count('\n')) << "all but the mention";
    EXPECT_EQ(orvalis({"usos", "Floresta", "Clareira", "--pasta", ws}).out.count('\n'), 1) << "the mention stays";
    EXPECT_FALSE(QFile::exists(folder("Floresta") + "Clareira.png"));
    EXPECT_TRUE(QFile::exists(folder("Floresta") + "Praia.png"));

    // Refused: touching nothing, exit 2, the reason said.
    const auto renamedState = snapshot(folder("Floresta"));
    for (const QStringList& refused : QList<QStringList>{{"Praia", "Cabana"},
                                                         {"Praia", "x/y"},
                                                         {"Ninguém", "Outro"},
                                                         {"chave", "Torre"}}) {
        const Result run = orvalis({"renomear", "Floresta", refused[0], refused[1], "--pasta", ws});
        EXPECT_EQ(run.code, 2) << refused.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("orvalis: não é possível renomear")) << run.err.constData();
    }
    for (const QStringList& wrong : QList<QStringList>{{"usos", "Floresta"},
                                                       {"renomear", "Floresta", "Praia"},
                                                       {"usos", "Floresta", "a", "b"},
                                                       {"verificar", "Floresta", "--inicio", "Ninguém"},
                                                       {"usos", "Floresta", "a", "--simular"}}) {
        const Result run = orvalis(wrong + QStringList{"--pasta", ws});
        EXPECT_EQ(run.code, 2) << wrong.join(' ').toStdString();
    }
    EXPECT_EQ(snapshot(folder("Floresta")), renamedState);

    // Positions that cannot be reached from one.
    const Result reach = orvalis({"verificar", "Floresta", "--inicio", "Lago", "--pasta", ws});
    EXPECT_EQ(reach.code, 0) << reach.out.constData();
}

// A rename killed at random moments: the next command finds the old
// adventure or the renamed one, whole, never a mixture.
TEST_F(CommandLineTest, ARenameKilledAtRandomMomentsLeavesTheOldOrTheNewAdventure) {
    QStringList map(801);
    for (int cell = 0; cell < 400; ++cell) {
        map[2 * cell] = cell == 0 ? QStringLiteral("centro") : QStringLiteral("p%1").arg(cell);
        map[2 * cell + 1] = QStringLiteral("1");
    }
    makeAdventure("Grande", map);
    for (int cell = 0; cell < 400; ++cell)
        orv::ListFile::write(folder("Grande") + map[2 * cell] + ".scp",
                             {"//=== Posição: " + map[2 * cell] + " ==================", "  norte= centro",
                              "  sul= p" + QString::number(cell + 1), "  fim"});
    writeBytes(folder("Grande") + "centro.png", "imagem");
    const auto before = snapshot(folder("Grande"));
    copyFolder(folder("Grande"), folder("Feito"));
    QFile::rename(folder("Feito") + "Grande.map", folder("Feito") + "Feito.map");
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(orvalis({"renomear", "Feito", "centro", "meio", "--pasta", ws}).code, 0);
    const int runMilliseconds = int(std::max<qint64>(clock.elapsed(), 20));
    QFile::rename(folder("Feito") + "Feito.map", folder("Feito") + "Grande.map");
    const auto after = snapshot(folder("Feito"));

    auto* random = QRandomGenerator::global();
    int old = 0, renamed = 0;
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        orvalisKilledAfter({"renomear", "Grande", "centro", "meio", "--pasta", ws},
                           random->bounded(1, runMilliseconds));
        EXPECT_TRUE(orvalis({"usos", "Grande", "p5", "--pasta", ws}).code <= 1);
        const auto found = snapshot(folder("Grande"));
        ASSERT_TRUE(found == before || found == after) << "a half-renamed adventure";
        if (found == after) {
            ++renamed;
            ASSERT_EQ(orvalis({"renomear", "Grande", "meio", "centro", "--pasta", ws}).code, 0);
            ASSERT_EQ(snapshot(folder("Grande")), before);
        } else {
            ++old;
        }
    }
    std::cout << "a whole rename took " << runMilliseconds << " ms; killed runs left " << old
              << " old and " << renamed << " renamed adventures" << std::endl;
}

class TransferTest : public CommandLineTest {
protected:
    QString data;
    QString stored;  // the server's copy of the adventure Floresta
    std::unique_ptr<orv::test::ReferenceServer> server;

    void SetUp() override {
        CommandLineTest::SetUp();
        data = temp.path() + "/data";
        stored = data + "/adventures/Floresta/";
        orv::test::ReferenceServer::addGroup(data, "Floresta", "segredo", "Floresta (teste)");
        writeBytes(stored + "Floresta.map", "sala\r\n3\r\n");
        writeBytes(stored + "Floresta.ini", "1\r\n2\r\n");
        writeBytes(stored + "sala.scp", "//=== Posição: sala\r\n  fim\r\n");
        QByteArray picture;
        for (int i = 0; i < 70000; ++i)
            picture += char(i * 7);
        writeBytes(stored + "sala.png", picture);
        server = std::make_unique<orv::test::ReferenceServer>(data);
    }
    QMap<QString, QString> env(const QString& password = {}) const {
        QMap<QString, QString> e{{"ORVALIS_SERVIDOR", server->base()}};
        if (!password.isEmpty())
            e.insert("ORVALIS_SENHA", password);
        return e;
    }
};

TEST_F(TransferTest, FetchThenSendTheWholeAdventure) {
    const Result fetch = orvalis({"baixar", "Floresta", "--pasta", ws}, env());
    ASSERT_EQ(fetch.code, 0) << fetch.err.constData();
    EXPECT_TRUE(fetch.err.contains("arquivo 1 de 4: ")) << fetch.err.constData();
    EXPECT_TRUE(fetch.err.contains("arquivo 4 de 4: ")) << fetch.err.constData();
    EXPECT_EQ(fetch.out, "Download completo: 4 arquivos.\n");
    for (const char* name : {"Floresta.map", "Floresta.ini", "sala.scp", "sala.png"})
        EXPECT_EQ(fileBytes(folder("Floresta") + name), fileBytes(stored + name)) << name;
    // The folder was opened as the window opens a chosen group: the missing
    // list files and an empty password file are there.
    EXPECT_EQ(fileBytes(folder("Floresta") + "sen.txt"), "\r\n");
    EXPECT_EQ(fileBytes(folder("Floresta") + "Floresta.rgs").size(), 502);
    EXPECT_TRUE(QFile::exists(folder("Floresta") + "Floresta.obz"));

    // Local edits and a new file go up; the password file, hidden files and
    // the program's temporary files do not.
    writeBytes(folder("Floresta") + "sala.scp", "editado\r\n");
    writeBytes(folder("Floresta") + "nova.scp", "nova\r\n");
    writeBytes(folder("Floresta") + ".Floresta.map.orvtmp", "meio gravado");
    const Result send = orvalis({"enviar", "Floresta", "--pasta", ws}, env("segredo"));
    ASSERT_EQ(send.code, 0) << send.err.constData();
    EXPECT_TRUE(send.out.startsWith("Upload completo: ")) << send.out.constData();
    EXPECT_EQ(fileBytes(stored + "sala.scp"), "editado\r\n");
    EXPECT_EQ(fileBytes(stored + "nova.scp"), "nova\r\n");
    EXPECT_EQ(fileBytes(stored + "Floresta.rgs"), fileBytes(folder("Floresta") + "Floresta.rgs"));
    EXPECT_FALSE(QFile::exists(stored + "sen.txt"));
    EXPECT_FALSE(QFile::exists(stored + ".Floresta.map.orvtmp"));
    EXPECT_EQ(temporariesIn(folder("Floresta")), QStringList());  // and cleared here first

    // The password file is the next place the password comes from.
    writeBytes(folder("Floresta") + "sen.txt", "segredo\r\n");
    writeBytes(folder("Floresta") + "nova.scp", "de novo\r\n");
    EXPECT_EQ(orvalis({"enviar", "Floresta", "--pasta", ws}, env()).code, 0);
    EXPECT_EQ(fileBytes(stored + "nova.scp"), "de novo\r\n");
}

TEST_F(TransferTest, RefusalsAndFailuresAreListedAndExitOne) {
    ASSERT_EQ(orvalis({"baixar", "Floresta", "--pasta", ws}, env()).code, 0);

    writeBytes(folder("Floresta") + "sala.scp", "não deve subir\r\n");
    const Result wrong = orvalis({"enviar", "Floresta", "--pasta", ws}, env("errada"));
    EXPECT_EQ(wrong.code, 1);
    EXPECT_TRUE(wrong.err.contains("Senha incorreta!") || wrong.err.contains("Muitas senhas erradas!"))
        << wrong.err.constData();
    EXPECT_EQ(fileBytes(stored + "sala.scp"), "//=== Posição: sala\r\n  fim\r\n");

    // A group the server does not have: nothing is asked of it, no folder made.
    const Result unknown = orvalis({"baixar", "Caverna", "--pasta", ws}, env());
    EXPECT_EQ(unknown.code, 1);
    EXPECT_TRUE(unknown.err.contains("Caverna")) << unknown.err.constData();
    EXPECT_FALSE(QFile::exists(folder("Caverna")));

    // A listed name that could reach outside the folder is refused, a file
    // that cannot be fetched is listed at the end, and the rest is fetched.
    orv::test::FaultServer fault([](const orv::test::FaultServer::Request& request) {
        const QByteArray line = request.requestLine();
        if (line.contains("grupos.php"))
            return orv::test::FaultServer::ok("Ok\r\nFloresta (falha)|Floresta\r\n");
        if (line.contains("lstarqs.php"))
            return orv::test::FaultServer::ok("Ok\r\n../fora.txt\r\nbom.txt\r\nfalta.txt\r\n");
        if (line.contains("/Floresta/bom.txt"))
            return orv::test::FaultServer::ok("chegou");
        return orv::test::FaultServer::status(404, "nada");
    });
    const Result partial = orvalis({"baixar", "Floresta", "--pasta", ws}, {{"ORVALIS_SERVIDOR", fault.base()}});
    EXPECT_EQ(partial.code, 1);
    EXPECT_TRUE(partial.err.contains("Não baixados (2):\n  ../fora.txt\n  falta.txt\n")) << partial.err.constData();
    EXPECT_TRUE(partial.err.contains("arquivo 3 de 3: falta.txt")) << partial.err.constData();
    EXPECT_EQ(fileBytes(folder("Floresta") + "bom.txt"), "chegou");
    EXPECT_FALSE(QFile::exists(ws + "/fora.txt"));
    for (const auto& request : fault.requests())
        EXPECT_FALSE(request.requestLine().contains("fora.txt")) << request.requestLine().constData();

    // A file list the server refuses is a failure, not an empty folder.
    fault.setScript([](const orv::test::FaultServer::Request& request) {
        if (request.requestLine().contains("grupos.php"))
            return orv::test::FaultServer::ok("Ok\r\nFloresta\r\n");
        return orv::test::FaultServer::ok("Grupo inexistente!\r\n");
    });
    const Result unlisted = orvalis({"baixar", "Floresta", "--pasta", ws}, {{"ORVALIS_SERVIDOR", fault.base()}});
    EXPECT_EQ(unlisted.code, 1);
    EXPECT_TRUE(unlisted.err.contains("Grupo inexistente!")) << unlisted.err.constData();

    // No server at all; what a killed run left is cleared all the same.
    writeBytes(folder("Floresta") + ".bom.txt.orvtmp", "meio baixado");
    const Result away = orvalis({"baixar", "Floresta", "--pasta", ws},
                                {{"ORVALIS_SERVIDOR", QStringLiteral("http://127.0.0.1:%1/Orvalis/")
                                                          .arg(orv::test::freeLoopbackPort())}});
    EXPECT_EQ(away.code, 1);
    EXPECT_TRUE(away.err.startsWith("orvalis: ")) << away.err.constData();
    EXPECT_EQ(temporariesIn(folder("Floresta")), QStringList());
}


// Two authors on the group, each with a workspace, against the reference
// server, which keeps versions: what "estado" tells, how baixar and enviar
// leave a conflict alone, and --forcar.
TEST_F(TransferTest, EstadoBaixarAndEnviarNeverOverwriteAChangeUnseen) {
    const QString other = temp.path() + "/outro";
    ASSERT_TRUE(QDir().mkpath(other));
    const QString otherFolder = other + "/Floresta/";
    ASSERT_EQ(orvalis({"baixar", "Floresta", "--pasta", ws}, env()).code, 0);
    ASSERT_EQ(orvalis({"baixar", "Floresta", "--pasta", other}, env()).code, 0);

    // Just fetched: the lists opening made are new here, nothing else differs.
    Result state = orvalis({"estado", "Floresta", "--pasta", ws}, env());
    EXPECT_EQ(state.code, 0) << state.err.constData();
    EXPECT_EQ(state.out, "Floresta.obx: novo-local\nFloresta.obz: novo-local\nFloresta.rgs: novo-local\n");
    ASSERT_EQ(orvalis({"enviar", "Floresta", "--pasta", ws}, env("segredo")).code, 0);
    ASSERT_EQ(orvalis({"baixar", "Floresta", "--pasta", other}, env()).code, 0);
    EXPECT_EQ(orvalis({"estado", "Floresta", "--pasta", ws}, env()).out, "");

    // The other author changes the script and the map and adds a file; here
    // the same script changes too, and a new one is written.
    writeBytes(otherFolder + "sala.scp", "//=== Posição: sala\r\n  do outro\r\n");
    writeBytes(otherFolder + "Floresta.map", "sala\r\n4\r\n");
    writeBytes(otherFolder + "outra.scp", "outra\r\n");
    const Result sentOther = orvalis({"enviar", "Floresta", "--pasta", other}, env("segredo"));
    ASSERT_EQ(sentOther.code, 0) << sentOther.err.constData();
    EXPECT_EQ(sentOther.out, "Upload completo: 3 arquivos enviados (5 sem mudança, não enviados).\n");
    writeBytes(folder("Floresta") + "sala.scp", "//=== Posição: sala\r\n  meu\r\n");
    writeBytes(folder("Floresta") + "nova.scp", "nova\r\n");
    writeBytes(folder("Floresta") + "sala.png", "minha imagem");

    const auto before = snapshot(folder("Floresta"));
    state = orvalis({"estado", "Floresta", "--pasta", ws}, env());
    EXPECT_EQ(state.code, 1);
    EXPECT_EQ(state.out,
              "Floresta.map: servidor\nnova.scp: novo-local\noutra.scp: novo-servidor\nsala.png: local\n"
              "sala.scp: conflito\n");
    EXPECT_EQ(snapshot(folder("Floresta")), before);  // nothing touched

    // enviar: the changes here go, the conflict does not; exit 1.
    Result sent = orvalis({"enviar", "Floresta", "--pasta", ws}, env("segredo"));
    EXPECT_EQ(sent.code, 1);
    EXPECT_TRUE(sent.out.contains("sala.scp: conflito\n")) << sent.out.constData();
    EXPECT_TRUE(sent.err.contains("Mudados só no servidor, não enviados (1):\n  Floresta.map\n")) << sent.err.constData();
    EXPECT_EQ(fileBytes(stored + "sala.scp"), "//=== Posição: sala\r\n  do outro\r\n");
    EXPECT_EQ(fileBytes(stored + "nova.scp"), "nova\r\n");
    EXPECT_EQ(fileBytes(stored + "sala.png"), "minha imagem");

    // baixar: what changed there comes, the conflict stays mine; exit 1.
    Result fetched = orvalis({"baixar", "Floresta", "--pasta", ws}, env());
    EXPECT_EQ(fetched.code, 1);
    EXPECT_TRUE(fetched.out.startsWith("sala.scp: conflito\n")) << fetched.out.constData();
    EXPECT_EQ(fileBytes(folder("Floresta") + "sala.scp"), "//=== Posição: sala\r\n  meu\r\n");
    EXPECT_EQ(fileBytes(folder("Floresta") + "Floresta.map"), "sala\r\n4\r\n");
    EXPECT_EQ(fileBytes(folder("Floresta") + "outra.scp"), "outra\r\n");
    EXPECT_EQ(orvalis({"estado", "Floresta", "--pasta", ws}, env()).out, "sala.scp: conflito\n");

    // --forcar: mine goes over theirs, which the server keeps.
    sent = orvalis({"enviar", "Floresta", "--pasta", ws, "--forcar"}, env("segredo"));
    EXPECT_EQ(sent.code, 0) << sent.err.constData();
    EXPECT_EQ(fileBytes(stored + "sala.scp"), "//=== Posição: sala\r\n  meu\r\n");
    QProcess history;
    history.start("php", {"-n", ORVALIS_SERVER_DIR "/admin.php", "historico", data, "Floresta", "sala.scp"});
    ASSERT_TRUE(history.waitForFinished(20000));
    const QByteArray theirs = QCryptographicHash::hash("//=== Posição: sala\r\n  do outro\r\n",
                                                       QCryptographicHash::Sha256).toHex();
    EXPECT_TRUE(history.readAllStandardOutput().contains(theirs));
    EXPECT_EQ(orvalis({"estado", "Floresta", "--pasta", ws}, env()).out, "");

    // The other author, unchanged since, is told the server's side moved,
    // and baixar --forcar puts the server's over a change there.
    writeBytes(otherFolder + "sala.scp", "mudado lá também\r\n");
    EXPECT_EQ(orvalis({"baixar", "Floresta", "--pasta", other}, env()).code, 1);
    EXPECT_EQ(fileBytes(otherFolder + "sala.scp"), "mudado lá também\r\n");
    EXPECT_EQ(orvalis({"baixar", "Floresta", "--pasta", other, "--forcar"}, env()).code, 0);
    EXPECT_EQ(fileBytes(otherFolder + "sala.scp"), "//=== Posição: sala\r\n  meu\r\n");

    // --forcar is only for the two transfers.
    EXPECT_EQ(orvalis({"estado", "Floresta", "--pasta", ws, "--forcar"}, env()).code, 2);
}

TEST_F(TransferTest, AWrongPasswordStopsEnviarAtTheFirstFile) {
    ASSERT_EQ(orvalis({"baixar", "Floresta", "--pasta", ws}, env()).code, 0);
    for (const char* name : {"a.scp", "b.scp", "c.scp", "d.scp", "e.scp"})
        writeBytes(folder("Floresta") + name, name);
    const Result wrong = orvalis({"enviar", "Floresta", "--pasta", ws}, env("errada"));
    EXPECT_EQ(wrong.code, 1);
    EXPECT_TRUE(wrong.err.contains("Recusados pelo servidor (1):\n")) << wrong.err.constData();
    EXPECT_TRUE(wrong.err.contains("nenhum outro arquivo foi tentado")) << wrong.err.constData();
    // The right password right after is taken, every file of it.
    const Result right = orvalis({"enviar", "Floresta", "--pasta", ws}, env("segredo"));
    EXPECT_EQ(right.code, 0) << right.err.constData();
    for (const char* name : {"a.scp", "b.scp", "c.scp", "d.scp", "e.scp"})
        EXPECT_EQ(fileBytes(stored + name), name);
}

// A server that keeps no versions has nothing to compare with: "estado"
// says so, exits 2 and touches nothing; baixar and enviar work as always.
TEST_F(CommandLineTest, EstadoWithAServerThatKeepsNoVersions) {
    makeAdventure("Floresta", {"sala"});
    orv::test::FakeAdventureServer plain(false);
    plain.put("sala.scp", "fala\r\n");
    const auto before = snapshot(folder("Floresta"));
    const Result state = orvalis({"estado", "Floresta", "--pasta", ws}, {{"ORVALIS_SERVIDOR", plain.base()}});
    EXPECT_EQ(state.code, 2);
    EXPECT_EQ(state.out, "");
    EXPECT_TRUE(state.err.contains("não guarda versões")) << state.err.constData();
    EXPECT_EQ(snapshot(folder("Floresta")), before);
    for (const auto& request : plain.requests())
        EXPECT_FALSE(request.requestLine().contains("Rev=")) << request.requestLine().constData();

    const Result help = orvalis({"--help"});
    EXPECT_TRUE(help.out.contains("  estado AVENTURA ")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("--forcar")) << help.out.constData();
}

}  // namespace

// With no display the window cannot open: one line that says so and that the
// commands need none, status 2, instead of the toolkit's abort.
TEST(CommandLine, TheBareProgramWithoutADisplaySaysSoAndExits2) {
    const Result run = orvalis({});
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(QStringLiteral("precisa de uma tela gráfica")));
    EXPECT_TRUE(run.err.contains("orvalis --help"));
    // A display named but not there ends the same way.
    const Result unreachable = orvalis({}, {{"DISPLAY", ":979"}});
    EXPECT_EQ(unreachable.code, 2);
    EXPECT_TRUE(QString::fromUtf8(unreachable.err).contains(QStringLiteral("precisa de uma tela gráfica")));
}

// The manual page and the completion are made from the help and the option
// table: every command and option of the help is in both.
TEST(CommandLine, TheManualPageAndTheCompletionCoverEveryCommandAndOption) {
    const Result help = orvalis({"--help"});
    const Result page = orvalis({"--pagina-manual"});
    const Result completion = orvalis({"--completar-bash"});
    ASSERT_EQ(page.code, 0);
    ASSERT_EQ(completion.code, 0);
    const QString manual = QString::fromUtf8(page.out);
    EXPECT_TRUE(manual.startsWith(".\\\" -*- coding: UTF-8 -*-\n.TH ORVALIS 1")) << manual.left(80).toStdString();
    static const QRegularExpression command(QStringLiteral("^  ([a-z]+) AVENTURA"), QRegularExpression::MultilineOption);
    static const QRegularExpression option(QStringLiteral("(--[a-z]+)"));
    QStringList commands;
    for (auto it = command.globalMatch(QString::fromUtf8(help.out)); it.hasNext();)
        commands << it.next().captured(1);
    EXPECT_GE(commands.size(), 7);
    for (const QString& name : commands) {
        EXPECT_TRUE(manual.contains(QStringLiteral(".B %1 ").arg(name)) ||
                    manual.contains(QStringLiteral("\\fB%1\\fR").arg(name)))
            << name.toStdString();
        EXPECT_TRUE(completion.out.contains(QStringLiteral("    %1) opts=").arg(name).toUtf8())) << name.toStdString();
    }
    for (auto it = option.globalMatch(QString::fromUtf8(help.out)); it.hasNext();) {
        const QString name = it.next().captured(1);
        QString escaped = name;
        escaped.replace(QLatin1Char('-'), QLatin1String("\\-"));
        EXPECT_TRUE(manual.contains(escaped)) << name.toStdString();
        if (name != QLatin1String("--help") && name != QLatin1String("--version"))
            EXPECT_TRUE(completion.out.contains(name.toUtf8())) << name.toStdString();
    }
    for (const char* section : {".SH SINOPSE", ".SH \"COMANDOS\"", ".SH \"C\xC3\x93" "DIGO DE SA\xC3\x8D" "DA\"", ".SH AMBIENTE"})
        EXPECT_TRUE(page.out.contains(section)) << section;

    // In a real bash: the commands, a command's options, an option's values and
    // the workspace's adventures.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeBytes(dir.filePath("orvalis.bash"), completion.out);
    for (const char* f : {"ini", "rgs", "obx", "obz"})
        writeBytes(dir.filePath(QStringLiteral("ws/Vale/Vale.%1").arg(QLatin1String(f))), "");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("ws/nada")));
    auto complete = [&](const QString& line) {
        QProcess bash;
        bash.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("source \"$0\"; read -ra COMP_WORDS <<< \"$1\"; [[ $1 == *' ' ]] && COMP_WORDS+=(''); "
                                   "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _orvalis; printf '%s\\n' \"${COMPREPLY[@]}\""),
                    dir.filePath("orvalis.bash"), line});
        bash.waitForFinished();
        QStringList words = QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        words.sort();
        return words;
    };
    EXPECT_TRUE(complete("orvalis ver").contains("verificar"));
    EXPECT_EQ(complete("orvalis compilar --e"), QStringList{"--ext"});
    EXPECT_EQ(complete("orvalis compilar --ext "), (QStringList{"gif", "jpg", "png"}));
    EXPECT_EQ(complete(QStringLiteral("orvalis verificar --pasta %1 ").arg(dir.filePath("ws"))), QStringList{"Vale"});
}
