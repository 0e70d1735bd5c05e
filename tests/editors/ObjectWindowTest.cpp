// The object editor as an author meets it: creating objects (record, object
// file, script, roster), selecting one, saving its initial and current status,
// and the names and files it refuses to overwrite.
#include "widgets/PictureBox.h"
#include "widgets/Shape.h"
#include "app/TForm1.h"
#include "net/Connection.h"
#include "editors/ObjectWindow.h"
#include "imaging/GifCodec.h"
#include "imaging/PngCodec.h"
#include "support/WidgetLookup.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace orv;
using orv::test::child;
using orv::test::click;
using orv::test::TestWorkspace;
using orv::test::crlf;

namespace {

QByteArray record(const QList<QByteArray>& lines) {
    return crlf(lines);
}

// A program with the adventure Vale open and the object window opened.
struct Session {
    test::KeepWorkingDirectory keep;
    TestWorkspace ws;
    std::unique_ptr<TForm1> form;
    ObjectWindow* window = nullptr;

    explicit Session(const std::function<void(const TestWorkspace&)>& lay = {}) {
        ws.addAdventure("Vale");
        if (lay)
            lay(ws);
        form = test::startProgram(ws);
        form->OpenAdventure("Vale");
        window = child<ObjectWindow>(form.get(), "JanObj");
        form->btObjClick();
    }
    QStringList listed() const { return test::rows(window->objectList()); }
    void select(const QString& entry) { ASSERT_TRUE(test::clickRow(window->objectList(), entry)) << entry.toStdString(); }
    void create(const QString& name) {
        child<QLineEdit>(window, "lbNewObj")->setText(name);
        click(child(window, "btNewObj"));
    }
    QString msg4() const { return child<QLabel>(window, "Msg4")->text(); }
    QString text(const char* name) const { return child<QLineEdit>(window, name)->text(); }
    void setText(const char* name, const QString& text) { child<QLineEdit>(window, name)->setText(text); }
    QStringList fields(const char* prefix) const {
        QStringList out;
        for (const char* f : {"Nom", "Dsc", "Loc", "Shp", "Tag"})
            out << text((QByteArray(prefix) + f).constData());
        return out;
    }
    QRgb pictureCentre(const char* name) const {
        const QImage& pic = child<PictureBox>(window, name)->picture();
        return pic.isNull() ? 0 : pic.pixel(pic.width() / 2, pic.height() / 2) & 0xFFFFFF;
    }
};

}  // namespace

TEST(ObjectWindow, NovoObjWritesRecordObjectFileScriptAndRosterByteForByte) {
    Session s([](const TestWorkspace& ws) { ws.write("Vale/Vale.obz", crlf({"velho"})); });
    EXPECT_TRUE(s.window->isVisibleTo(s.form.get()));
    EXPECT_EQ(child(s.window, "NoObj")->size(), QSize(260, 486));
    EXPECT_EQ(child(s.window, "Msg4")->x(), 135);
    EXPECT_TRUE(s.listed().isEmpty());

    s.create("chave");
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Objeto criado com sucesso!"));
    const QByteArray chave = record({"chave", "Chave", "um(a) chave", "", "", "-", "0", "0"});
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"), chave);
    EXPECT_EQ(s.form->adventure().currentStatusList().size(), 8);
    EXPECT_EQ(s.ws.read("Vale/chave.obj"), chave);
    EXPECT_EQ(s.ws.read("Vale/chave.scp"),
              crlf({"//=== Objeto: chave =================", "retscp= chave", "fim"}));
    EXPECT_EQ(s.ws.read("Vale/Vale.obz"), crlf({"velho", "chave"}));
    // The list shows it; it is not selected and the name stays typed.
    EXPECT_EQ(s.listed(), QStringList{"chave.obj"});
    EXPECT_TRUE(s.window->selectedObject().isEmpty());
    EXPECT_EQ(child<QLabel>(s.window, "lbNoOb")->text(), "...");
    EXPECT_EQ(s.text("lbNewObj"), "chave");

    // Capitals are lowered after the first letter; an accented first letter
    // and accented letters after it stay as typed, stored in Windows-1252.
    s.create("CHAVE");
    s.create(QString::fromUtf8("ÉGUA"));
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"),
              chave + record({"CHAVE", "Chave", "um(a) CHAVE", "", "", "-", "0", "0"}) +
                  record({"\xC9GUA", "\xC9gua", "um(a) \xC9GUA", "", "", "-", "0", "0"}));
    EXPECT_EQ(s.ws.read("Vale/Vale.obz"), crlf({"velho", "chave", "CHAVE", "\xC9GUA"}));
    EXPECT_EQ(s.ws.read(QString::fromUtf8("Vale/ÉGUA.scp")).left(18), "//=== Objeto: \xC9GUA");

    // The duplicate check is exact: the same name again is refused with
    // nothing written, a name with a blank in front is another object.
    const QByteArray obx = s.ws.read("Vale/Vale.obx");
    s.create("chave");
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Já existe objeto com este nome!"));
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"), obx);
    EXPECT_EQ(s.form->adventure().currentStatusList().size(), 24);
    s.create(" chave");
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Objeto criado com sucesso!"));
    EXPECT_EQ(s.form->adventure().currentStatusList().size(), 32);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ObjectWindow, NamesThatCannotBecomeFilesAndFilesAlreadyThereAreRefusedBeforeAnyWrite) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/Vale.obx", record({"bau", "Bau", "um(a) bau", "", "", "-", "0", "0"}));
        ws.write("Vale/Vale.obz", crlf({"bau"}));
        ws.write("Vale/sala.scp", crlf({"//=== Posi\xE7\xE3o: sala"}));
        ws.write("Vale/perdido.obj", crlf({"perdido", "Meu", "texto", "", "", "x", "1", "2"}));
    });
    const QStringList before = QDir(s.ws.path("Vale")).entryList(QDir::Files);
    const QByteArray obx = s.ws.read("Vale/Vale.obx");
    const QByteArray obz = s.ws.read("Vale/Vale.obz");
    const QString invalid = QString::fromUtf8("Nome inválido: use um nome de arquivo sem ponto!");
    for (const QString& name : {QString(), QString("a/b"), QString("..\\fora"), QString("lamp.v2"),
                                QString("tab\tname"), QString::fromUtf8("łódź")}) {
        s.create(name);
        EXPECT_EQ(s.msg4(), invalid) << name.toStdString();
    }
    s.create("sala");
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Já existe script com este nome!"));
    s.create("perdido");
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Já existe objeto com este nome!"));

    EXPECT_EQ(QDir(s.ws.path("Vale")).entryList(QDir::Files), before);
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"), obx);
    EXPECT_EQ(s.ws.read("Vale/Vale.obz"), obz);
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"//=== Posi\xE7\xE3o: sala"}));
    EXPECT_EQ(s.form->adventure().currentStatusList().size(), 8);
    EXPECT_FALSE(QFileInfo::exists(s.ws.path("a")));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ObjectWindow, SelectingLoadsBothStatusesAndTheirPictures) {
    Session s([](const TestWorkspace& ws) {
        QImage blue(8, 8, QImage::Format_RGB32);
        blue.fill(QColor(0, 0, 255));
        GifCodec::write(ws.path("Vale/defobj.gif"), blue);
        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(QColor(255, 0, 0));
        PngCodec::write(ws.path("Vale/chave.png"), red, std::nullopt);
        ws.write("Vale/chave.obj", record({"ignorado", "Chave", "uma chave", "mesa", "", "t1", "0", "0"}));
        ws.write("Vale/chave.velha.obj", {});
        ws.write("Vale/bau.obj", record({"bau", "Bau", "um bau", "sala", "chave.png", "-", "0", "0"}));
        ws.write("Vale/Vale.obx", record({"chave", "A", "a", "a", "", "a", "0", "0"}) +
                                      record({"bau", "Bau", "um bau", "sala", "", "-", "0", "0"}) +
                                      record({"chave", "Chave", "na m\xE3o", "inventario", "chave.png", "t2", "0", "0"}));
    });
    EXPECT_EQ(s.listed(), (QStringList{"bau.obj", "chave.obj", "chave.velha.obj"}));
    child<QLabel>(s.window, "Msg4")->setText("velho");

    // Only the part before the first dot names the object; the last of two
    // records of one name is the one shown.
    s.select("chave.velha.obj");
    EXPECT_EQ(s.msg4(), "");
    EXPECT_EQ(s.window->selectedObject(), "chave");
    EXPECT_EQ(child<QLabel>(s.window, "Lb15")->text(), "chave");
    EXPECT_EQ(child<QLabel>(s.window, "lbNoObj")->text(), "chave");
    EXPECT_EQ(s.fields("Sti"), (QStringList{"Chave", "uma chave", "mesa", "", "t1"}));
    EXPECT_EQ(s.fields("Atu"), (QStringList{"Chave", QString::fromUtf8("na mão"), "inventario", "chave.png", "t2"}));
    EXPECT_EQ(s.pictureCentre("ShpIni"), 0x0000FFu);
    EXPECT_EQ(s.pictureCentre("ShpAtu"), 0xFF0000u);

    s.select("bau.obj");
    EXPECT_EQ(s.fields("Sti"), (QStringList{"Bau", "um bau", "sala", "chave.png", "-"}));
    EXPECT_EQ(s.pictureCentre("ShpIni"), 0xFF0000u);
    EXPECT_EQ(s.pictureCentre("ShpAtu"), 0x0000FFu);

    // An object without a record: empty current fields with the tag "-" and
    // the default picture, not the previous object's.
    s.ws.write("Vale/solto.obj", record({"solto", "Solto", "x", "", "chave.png", "-", "0", "0"}));
    s.form->btObjClick();
    s.select("chave.obj");
    s.select("solto.obj");
    EXPECT_EQ(s.fields("Atu"), (QStringList{"", "", "", "", "-"}));
    EXPECT_EQ(s.pictureCentre("ShpAtu"), 0x0000FFu);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ObjectWindow, GravarSavesLinesOneToFiveOfTheObjectFileOrOfTheFirstRecord) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/chave.obj", record({"chave", "Chave", "d", "", "", "-", "7", "9"}));
        ws.write("Vale/solto.obj", record({"solto", "Solto", "d", "", "", "-", "0", "0"}));
        ws.write("Vale/Vale.obx", record({"bau", "Bau", "b", "", "", "-", "0", "0"}) +
                                      record({"chave", "Chave", "d", "", "", "-", "3", "4"}) +
                                      record({"chave", "Outra", "d", "", "", "-", "5", "6"}));
    });
    auto* btObz = child<PictureBox>(s.window, "btObz");
    auto* btObx = child<PictureBox>(s.window, "btObx");
    // Opened in the small look; a press and release gives the big one.
    EXPECT_EQ(btObz->picture().width(), 60);
    click(btObz);
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Nenhum objeto selecionado!"));
    EXPECT_EQ(btObz->picture().width(), 90);
    click(btObx);
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Nenhum objeto selecionado!"));

    s.select("chave.obj");
    s.setText("StiNom", QString::fromUtf8("Chave dourada"));
    s.setText("StiLoc", "cofre");
    s.setText("StiTag", "ouro");
    s.setText("AtuDsc", QString::fromUtf8("está com você"));
    s.setText("AtuShp", "chave.gif");
    click(btObz);
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Status inicial do objeto gravado!"));
    EXPECT_EQ(s.ws.read("Vale/chave.obj"),
              record({"chave", "Chave dourada", "d", "cofre", "", "ouro", "7", "9"}));
    // The fields show the last record of the name; the save goes to the first.
    const QByteArray obx = s.ws.read("Vale/Vale.obx");
    click(btObx);
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Status atual do objeto gravado!"));
    const QByteArray saved = record({"bau", "Bau", "b", "", "", "-", "0", "0"}) +
                             record({"chave", "Outra", "est\xE1 com voc\xEA", "", "chave.gif", "-", "3", "4"}) +
                             record({"chave", "Outra", "d", "", "", "-", "5", "6"});
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"), saved);
    EXPECT_NE(obx, saved);
    // The list in memory, written again at program end, holds the same.
    const QStringList& list = s.form->adventure().currentStatusList();
    ASSERT_EQ(list.size(), 24);
    EXPECT_EQ(list[10], QString::fromUtf8("está com você"));
    EXPECT_EQ(list[17], "Outra");

    // No record: nothing written, nothing said.
    s.select("solto.obj");
    s.setText("AtuNom", "X");
    click(btObx);
    EXPECT_EQ(s.msg4(), "");
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"), saved);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ObjectWindow, RecordsCutShortAreCompletedRatherThanMisaligned) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/curto.obj", crlf({"curto", "Curto"}));
        ws.write("Vale/Vale.obx", crlf({"curto", "Curto", "c"}));
    });
    s.select("curto.obj");
    EXPECT_EQ(s.fields("Sti"), (QStringList{"Curto", "", "", "", "-"}));
    EXPECT_EQ(s.fields("Atu"), (QStringList{"Curto", "c", "", "", "-"}));
    click(child(s.window, "btObz"));
    EXPECT_EQ(s.ws.read("Vale/curto.obj"), record({"curto", "Curto", "", "", "", "-", "0", "0"}));

    // A new object lands on its own eight lines after the short one.
    s.create("novo");
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"), record({"curto", "Curto", "c", "", "", "-", "0", "0"}) +
                                               record({"novo", "Novo", "um(a) novo", "", "", "-", "0", "0"}));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ObjectWindow, ASelectionDoesNotFollowIntoAnotherAdventure) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/chave.obj", record({"chave", "Chave", "do vale", "", "", "-", "0", "0"}));
        ws.write("Vale/Vale.obx", record({"chave", "Chave", "do vale", "", "", "-", "0", "0"}));
        ws.addAdventure("Mar");
        ws.write("Mar/chave.obj", record({"chave", "Chave", "do mar", "", "", "-", "0", "0"}));
        ws.write("Mar/Mar.obx", record({"chave", "Chave", "do mar", "", "", "-", "0", "0"}));
    });
    s.select("chave.obj");
    s.form->OpenAdventure("Mar");
    // Opening Mar clears the selection and the fields of the Vale key at
    // once, so saving while the window stayed open reaches nothing.
    EXPECT_EQ(s.fields("Sti")[1], "");
    EXPECT_EQ(s.listed(), QStringList{"chave.obj"});  // the list shows Mar's objects
    click(child(s.window, "btObz"));
    EXPECT_EQ(s.msg4(), QString::fromUtf8("Nenhum objeto selecionado!"));
    click(child(s.window, "btObx"));
    EXPECT_EQ(s.ws.read("Mar/chave.obj"), record({"chave", "Chave", "do mar", "", "", "-", "0", "0"}));
    EXPECT_EQ(s.ws.read("Mar/Mar.obx"), record({"chave", "Chave", "do mar", "", "", "-", "0", "0"}));
    EXPECT_EQ(child<QLabel>(s.window, "lbNoObj")->text(), "");

    // A ready connection shows the transfer buttons.
    s.form->connection().setState(ConnectionState::Ready);
    s.form->btObjClick();
    EXPECT_TRUE(s.window->selectedObject().isEmpty());
    // Chosen again, the key is Mar's own.
    s.select("chave.obj");
    EXPECT_EQ(s.fields("Sti")[1], "do mar");
    EXPECT_EQ(s.fields("Atu")[1], "do mar");
    for (const char* n : {"bnUplObj", "bnDwnObj"})
        EXPECT_TRUE(child(s.window, n)->isVisibleTo(s.window)) << n;
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ObjectWindow, ACurrentStatusListThatCannotBeWrittenStopsNovoObjWithNothingElseChanged) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/Vale.obz", crlf({"bau"}));
        ws.write("Vale/Vale.obx", record({"bau", "Bau", "um(a) bau", "", "", "-", "0", "0"}));
        QFile::setPermissions(ws.path("Vale/Vale.obx"), QFile::ReadOwner);
    });
    s.create("chave");
    QFile::setPermissions(s.ws.path("Vale/Vale.obx"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_NE(s.msg4(), QString::fromUtf8("Objeto criado com sucesso!"));
    // The list in memory, written at program end, did not gain the record
    // that never reached the file; no other file was written.
    EXPECT_EQ(s.form->adventure().currentStatusList().size(), 8);
    EXPECT_EQ(s.ws.read("Vale/Vale.obx"), record({"bau", "Bau", "um(a) bau", "", "", "-", "0", "0"}));
    EXPECT_FALSE(s.ws.exists("Vale/chave.obj"));
    EXPECT_FALSE(s.ws.exists("Vale/chave.scp"));
    EXPECT_EQ(s.ws.read("Vale/Vale.obz"), crlf({"bau"}));
}

// Selecting an object by its name (from the references window) loads it as
// a click on its entry does; a name without an object file is said.
TEST(ObjectWindow, SelectObjectByNameLoadsItAsAClickDoes) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/chave.obj", record({"chave", "Chave", "uma chave", "mesa", "", "t1", "0", "0"}));
        ws.write("Vale/chave.velha.obj", record({"chave", "Velha", "", "", "", "-", "0", "0"}));
        ws.write("Vale/bau.obj", record({"bau", "Bau", "um bau", "sala", "", "-", "0", "0"}));
    });
    s.window->selectObject("chave");
    EXPECT_EQ(s.window->selectedObject(), "chave");
    EXPECT_EQ(s.window->objectList()->currentItem()->text(), "chave.obj");  // its own file first
    EXPECT_EQ(child<QLabel>(s.window, "lbNoObj")->text(), "chave");
    EXPECT_EQ(s.fields("Sti"), (QStringList{"Chave", "uma chave", "mesa", "", "t1"}));
    s.window->selectObject("faca");
    EXPECT_EQ(s.window->selectedObject(), "chave");
    EXPECT_TRUE(s.msg4().contains("faca"));
    s.window->selectObject("bau");
    EXPECT_EQ(s.msg4(), "");
    EXPECT_EQ(s.fields("Sti"), (QStringList{"Bau", "um bau", "sala", "", "-"}));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}
