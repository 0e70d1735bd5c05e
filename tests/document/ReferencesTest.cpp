// The adventure's web of names on a generated adventure that holds every
// kind of reference and every kind of problem: what the index finds, where a
// name is used, what a rename rewrites (and only that, byte for byte), and a
// rename cut short at every step of its way.
#include "core/FolderTransaction.h"
#include "core/ListFile.h"
#include "document/ReferenceIndex.h"
#include "document/ReferenceReport.h"
#include "document/Rename.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace orv;
namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

QByteArray cp1252Of(const char* text) {
    return ListFile::joinLines({QString::fromUtf8(text)}).chopped(2);
}

QByteArray lines(std::initializer_list<const char*> texts, const char* end = "\r\n") {
    QByteArray bytes;
    for (const char* text : texts)
        bytes += cp1252Of(text) + end;
    return bytes;
}

// Every entry of a folder, hidden ones included, with a digest of each file.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries[QDir(folder).relativeFilePath(path)] =
            it.fileInfo().isDir() ? QByteArray("<pasta>")
                                  : QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha1).toHex();
    }
    return entries;
}

class ReferencesTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString folder;

    void SetUp() override {
        folder = temp.path() + "/Vila/";
        ASSERT_TRUE(QDir().mkpath(folder));
        QStringList map(801);
        auto put = [&](int cell, const char* name, const char* tile) {
            map[2 * cell] = QString::fromUtf8(name);
            map[2 * cell + 1] = QString::fromLatin1(tile);
        };
        put(0, "Sala", "14");
        put(1, "Cozinha", "5");
        put(40, "Torre", "1");
        put(60, "Sótão", "");
        ListFile::write(folder + "Vila.map", map);
        write("Sala.scp", lines({"//=== Posição: Sala ==================", "  setmode= 1", "  retscp= Sala",
                                 "  telpos= Sala.png", "  leste= Cozinha", "  msg= Nome desta posição Sala",
                                 "  fim"}));
        // Line feeds only: a rename keeps them.
        write("Cozinha.scp", lines({"//=== Posição: Cozinha ==================", "  retscp= Cozinha",
                                    "  telpos= Cozinha.gif", "  norte= Tore", "  oeste= Sala", "  fim"},
                                   "\n"));
        write("Torre.scp", lines({"//=== Posição: Torre ==================", "  sul= Sala", "  fim"}));
        write("extra.scp", lines({"ir Sala agora", "o Salao fica longe", "tocar sino.wav", "retscp= Torre"}));
        write("orfao.scp", lines({"nada aqui"}));
        write("Vila.obz", lines({"chave", "faca", "vela"}));
        write("Vila.obx", lines({"chave", "Chave", "uma chave", "Sala", "chave.gif", "-", "0", "0",  //
                                 "faca", "Faca", "uma faca", "", "", "-", "0", "0",              //
                                 "chave", "Chave", "outra", "Torre", "", "-", "0", "0"}));
        write("chave.obj", lines({"chave", "Chave", "uma chave", "Sala", "sumida.png", "-", "0", "0"}));
        write("vela.obj", lines({"vela", "Vela", "uma vela", "", "", "-", "0", "0"}));
        write("intruso.obj", lines({"intruso", "Intruso", "", "", "", "-", "0", "0"}));
        write("chave.scp", lines({"//=== Objeto: chave =================", "retscp= chave", "fim"}));
        QStringList settings(98, QStringLiteral("0"));
        settings[13] = "abertura.png";
        settings[14] = "painel.png";
        ListFile::write(folder + "Vila.ini", settings);
        for (const char* picture : {"Sala.png", "Sala.jpg", "chave.gif", "abertura.png", "solta.png", "defobj.gif"})
            write(picture, "imagem");
        write("sino.wav", "som");
        write("vento.mp3", "som");
    }
    void write(const QString& name, const QByteArray& bytes) { writeBytes(folder + name, bytes); }

    ReferenceIndex index() const {
        ReferenceIndex built;
        built.refresh(folder, "Vila");
        return built;
    }
    static QStringList placesOf(const QList<ReferenceProblem>& problems) {
        QStringList places;
        for (const ReferenceProblem& p : problems)
            places.append(QStringLiteral("%1 %2:%3").arg(p.kind, p.file).arg(p.line));
        return places;
    }
};

TEST_F(ReferencesTest, EveryBrokenOrUnusedReferenceIsFoundAtItsPlace) {
    const ReferenceIndex refs = index();
    EXPECT_EQ(placesOf(refs.problems()),
              (QStringList{
                  "porta-sem-destino Vila.map:1",      // Sala's west door leads off the grid
                  "nome-sem-tile Vila.map:121",        // Sótão
                  "imagem-inexistente Cozinha.scp:3",  // Cozinha.gif
                  "saida-sem-posicao Cozinha.scp:4",   // Tore
                  "painel-inexistente Vila.ini:15",    // painel.png
                  "posicao-sem-entrada Vila.map:81",   // nothing leads to Torre
                  "registro-repetido Vila.obx:17",     // chave's second record
                  "objeto-sem-arquivo Vila.obz:2",     // faca
                  "objeto-sem-registro Vila.obz:3",    // vela
                  "forma-inexistente chave.obj:5",     // sumida.png
                  "objeto-fora-do-rol intruso.obj:1",  //
                  "nao-usado extra.scp:0",             // nothing runs or names these two
                  "nao-usado orfao.scp:0",             //
                  "nao-usado solta.png:0",             //
                  "nao-usado vento.mp3:0",             // sino.wav is named by a script
              }));
    // From the kitchen the tower cannot be reached: no exit leads there.
    const QStringList withStart = placesOf(refs.problems(QStringLiteral("Cozinha")));
    EXPECT_TRUE(withStart.contains("posicao-inalcancavel Vila.map:81")) << withStart.join('\n').toStdString();
    EXPECT_FALSE(withStart.contains("posicao-inalcancavel Vila.map:1"));

    // The map's own problems keep the line the map check has always printed.
    EXPECT_EQ(ReferenceReport::problemLine(refs.problems().first()), "Sala (linha 1, coluna 1): porta a oeste sem destino");
    EXPECT_EQ(ReferenceReport::problemLine(refs.problems().at(3)),
              "Cozinha.scp:4: saida-sem-posicao: a saída ao norte leva a \"Tore\", que não é posição do mapa");
}

TEST_F(ReferencesTest, WhereUsedListsEveryKindAndMentionsAsWholeWords) {
    const ReferenceIndex refs = index();
    QStringList found;
    for (const Reference& r : refs.usesOf(QStringLiteral("Sala")))
        found.append(ReferenceReport::referenceLine(r));
    EXPECT_EQ(found, (QStringList{
                         "Cozinha.scp:5: saida:   oeste= Sala",
                         "Sala.scp:1: script: //=== Posição: Sala ==================",
                         "Sala.scp:3: script:   retscp= Sala",
                         "Sala.scp:4: imagem:   telpos= Sala.png",
                         "Sala.scp:6: mencao:   msg= Nome desta posição Sala",
                         "Torre.scp:2: saida:   sul= Sala",
                         "Vila.map:1: mapa: Sala",
                         "Vila.obx:4: local: Sala",
                         "chave.obj:4: local: Sala",
                         "extra.scp:1: mencao: ir Sala agora",  // "Salao" is another word
                     }));
    QStringList key;
    for (const Reference& r : refs.usesOf(QStringLiteral("chave")))
        key.append(QStringLiteral("%1:%2 %3").arg(r.file).arg(r.line).arg(referenceKindKey(r.kind)));
    EXPECT_EQ(key, (QStringList{"Vila.obx:1 objeto", "Vila.obx:17 objeto", "Vila.obz:1 objeto", "chave.obj:1 objeto",
                                "chave.scp:1 script", "chave.scp:2 script"}));
    EXPECT_TRUE(refs.usesOf(QStringLiteral("ninguém")).isEmpty());
}

TEST_F(ReferencesTest, RenameRewritesOnlyTheNamesAndRenamesTheFilesNamedAfterIt) {
    const QMap<QString, QByteArray> before = snapshot(folder);
    const QByteArray kitchen = fileBytes(folder + "Cozinha.scp");
    RenamePlan plan = Rename::plan(index(), QStringLiteral("Sala"), QStringLiteral("Saleta"));
    ASSERT_TRUE(plan.canBeDone()) << plan.refusal.toStdString();
    EXPECT_EQ(plan.renamedFiles, (QList<QPair<QString, QString>>{{"Sala.jpg", "Saleta.jpg"},
                                                                   {"Sala.png", "Saleta.png"},
                                                                   {"Sala.scp", "Saleta.scp"}}));
    ASSERT_EQ(plan.mentions.size(), 2);
    EXPECT_EQ(plan.mentions.first().file, "Saleta.scp");  // where it will stand
    EXPECT_EQ(snapshot(folder), before) << "planning touches nothing";
    plan.transaction.commit();

    QByteArray expectedKitchen = kitchen;
    expectedKitchen.replace("oeste= Sala\n", "oeste= Saleta\n");
    EXPECT_EQ(fileBytes(folder + "Cozinha.scp"), expectedKitchen);
    EXPECT_EQ(fileBytes(folder + "Saleta.scp"),
              lines({"//=== Posição: Saleta ==================", "  setmode= 1", "  retscp= Saleta",
                     "  telpos= Saleta.png", "  leste= Cozinha", "  msg= Nome desta posição Sala", "  fim"}));
    EXPECT_EQ(fileBytes(folder + "extra.scp").left(15), "ir Sala agora\r\n") << "mentions stay";
    EXPECT_EQ(ListFile::read(folder + "Vila.obx").at(3), "Saleta");
    EXPECT_EQ(ListFile::read(folder + "chave.obj").at(3), "Saleta");
    EXPECT_EQ(ListFile::read(folder + "Vila.map").at(0), "Saleta");
    EXPECT_EQ(fileBytes(folder + "Saleta.jpg"), "imagem");
    for (const char* gone : {"Sala.scp", "Sala.png", "Sala.jpg"})
        EXPECT_FALSE(QFileInfo::exists(folder + gone)) << gone;
    EXPECT_FALSE(QFileInfo::exists(folder + FolderTransaction::stagingFolderName()));

    // An object: its file, its script, its records and its roster line.
    RenamePlan object = Rename::plan(index(), QStringLiteral("chave"), QStringLiteral("chave-velha"));
    ASSERT_TRUE(object.canBeDone());
    object.transaction.commit();
    EXPECT_EQ(ListFile::read(folder + "Vila.obz").first(), "chave-velha");
    EXPECT_EQ(ListFile::read(folder + "chave-velha.obj").first(), "chave-velha");
    EXPECT_EQ(ListFile::read(folder + "chave-velha.scp"),
              (QStringList{"//=== Objeto: chave-velha =================", "retscp= chave-velha", "fim"}));
    EXPECT_EQ(ListFile::read(folder + "Vila.obx").at(16), "chave-velha");
}

TEST_F(ReferencesTest, RefusedRenamesTouchNothing) {
    const QMap<QString, QByteArray> before = snapshot(folder);
    const ReferenceIndex refs = index();
    writeBytes(folder + "Nova.gif", "imagem");
    const ReferenceIndex withPicture = index();
    struct Case {
        const ReferenceIndex& index;
        const char* from;
        QString to;
        const char* reason;
    } cases[] = {
        {refs, "Sala", "Torre", "já existe"},
        {refs, "Sala", "chave", "já existe"},
        {refs, "Sala", "a/b", "nome de arquivo"},
        {refs, "Sala", " Sala2", "espaços"},
        {refs, "Sala", "", "vazio"},
        {refs, "Sala", QString::fromUtf8("ação\u4e2d"), "caracteres"},
        {refs, "chave", "ch.ave", "ponto"},
        {refs, "Ninguem", "Outro", "não há posição nem objeto"},
        {withPicture, "Sala", "Nova", "o arquivo \"Nova.gif\" já existe"},
    };
    for (const Case& c : cases) {
        const RenamePlan plan = Rename::plan(c.index, QString::fromUtf8(c.from), c.to);
        EXPECT_FALSE(plan.canBeDone()) << c.from << " -> " << c.to.toStdString();
        EXPECT_TRUE(plan.refusal.contains(QString::fromUtf8(c.reason))) << plan.refusal.toStdString();
        EXPECT_TRUE(plan.transaction.isEmpty());
    }
    QFile::remove(folder + "Nova.gif");
    EXPECT_EQ(snapshot(folder), before);
}

// A rename killed after each of its steps: what the next opening finds is
// the old adventure or the new one, whole, and nothing of the staging stays.
TEST_F(ReferencesTest, ARenameKilledAtAnyStepIsCompletedOrUndoneAtTheNextStart) {
    const QMap<QString, QByteArray> before = snapshot(folder);
    QTemporaryDir doneTemp;
    {
        // The adventure as a whole rename leaves it.
        const QString doneFolder = doneTemp.path() + "/Vila/";
        QDir().mkpath(doneFolder);
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            writeBytes(doneFolder + name, fileBytes(folder + name));
        ReferenceIndex refs;
        refs.refresh(doneFolder, "Vila");
        Rename::plan(refs, "Sala", "Saleta").transaction.commit();
    }
    const QMap<QString, QByteArray> after = snapshot(doneTemp.path() + "/Vila/");
    ASSERT_NE(before, after);

    int sawOld = 0, sawNew = 0;
    for (int step = 1;; ++step) {
        SCOPED_TRACE(step);
        RenamePlan plan = Rename::plan(index(), "Sala", "Saleta");
        bool finished = false;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            plan.transaction.commit([step](int action) {
                if (action == step)
                    ::_exit(9);
            });
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        finished = WEXITSTATUS(status) == 0;
        FolderTransaction::finishPending(folder);
        const QMap<QString, QByteArray> found = snapshot(folder);
        ASSERT_TRUE(found == before || found == after) << "a half-renamed adventure";
        (found == before ? sawOld : sawNew)++;
        if (finished)
            break;
        // Back to the start for the next round.
        if (found == after)
            Rename::plan(index(), "Saleta", "Sala").transaction.commit();
        ASSERT_EQ(snapshot(folder), before);
    }
    EXPECT_GE(sawOld, 1);
    EXPECT_GE(sawNew, 3);
}

TEST_F(ReferencesTest, ReplacingLinesKeepsEveryOtherByte) {
    const QByteArray bytes = "um\r\ndois\nt\xEAs\rquatro";
    EXPECT_EQ(Rename::replaceLines(bytes, {{1, "DOIS"}, {3, "4"}}), "um\r\nDOIS\nt\xEAs\r4");
    EXPECT_EQ(Rename::replaceLines(bytes, {}), bytes);
    EXPECT_EQ(Rename::replaceLines("a\r\n", {{2, "c"}}), "a\r\n\r\nc\r\n");
}

}  // namespace
