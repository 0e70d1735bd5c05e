// The references window as the author uses it: the problems of the adventure
// and how they follow the work, the uses of a name, "Renomear..." with its
// question, the rename taken back with Ctrl+Z, and a double-click that asks
// for the place of a row.
#include "core/ListFile.h"
#include "document/AdventureDocument.h"
#include "document/MapEdits.h"
#include "document/ReferenceReport.h"
#include "editors/ReferencesWindow.h"
#include "support/QtTestMain.h"
#include "support/TestAdventure.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"
#include "widgets/PictureBox.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace orv;

namespace {

// Lines as the adventure's files hold them: Windows-1252, CR LF after each.
QByteArray crlf(std::initializer_list<const char*> lines) {
    QStringList texts;
    for (const char* line : lines)
        texts << QString::fromUtf8(line);
    return ListFile::joinLines(texts);
}

// Answers JanRen as the author does: the new name typed over the old one,
// then a click on one of its buttons. What the question showed is kept.
class RenameAnswer {
public:
    RenameAnswer(QString newName, QString button) : newName_(std::move(newName)), button_(std::move(button)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }
    bool asked = false;
    QString text;         // the question's text
    QString offeredName;  // what edRenNom held when it opened
    QString title;

private:
    void answer() {
        QWidget* open = QApplication::activeModalWidget();
        if (!open || !open->isVisible())
            return;
        QPointer<QWidget> guard(open);
        if (open->objectName() != QStringLiteral("JanRen")) {
            open->close();
            return;
        }
        asked = true;
        if (auto* label = open->findChild<QLabel*>("JanRenTexto"))
            text = label->text();
        if (auto* label = open->findChild<QLabel*>("JanRenTitulo"))
            title = label->text();
        auto* box = open->findChild<QLineEdit*>("edRenNom");
        if (box) {
            offeredName = box->text();
            box->clear();
            QTest::keyClicks(box, newName_);
        }
        if (QWidget* button = open->findChild<QWidget*>(button_))
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        if (guard && guard->isVisible())
            guard->close();
        timer_.stop();
    }

    QString newName_;
    QString button_;
    QTimer timer_;
};

// Every file of a folder with its bytes.
QMap<QString, QByteArray> filesOf(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        files[it.fileName()] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    return files;
}

class ReferencesWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QString ws = dir_.path() + QLatin1Char('/');
        QImage background(2000, 1200, QImage::Format_RGB32);
        background.fill(QColor(214, 214, 206));
        ASSERT_TRUE(background.save(ws + "defmap.bmp", "BMP"));
        const QString folder = ws + "Floresta/";
        ASSERT_TRUE(QDir().mkpath(folder));
        // Clareira and Cabana lead to each other; Cabana's north exit leads
        // to "Lago", which is no position yet.
        QStringList map(801);
        map[0] = "Clareira";
        map[1] = "1";
        map[2] = "Cabana";
        map[3] = "1";
        ListFile::write(folder + "Floresta.map", map);
        put(folder + "Clareira.scp", crlf({"//=== Posição: Clareira ==================", "  leste= Cabana", "  fim"}));
        put(folder + "Cabana.scp",
            crlf({"//=== Posição: Cabana ==================", "  oeste= Clareira", "  norte= Lago", "  fim"}));
        put(folder + "orfao.scp", crlf({"nada aqui"}));
        put(folder + "Floresta.obz", crlf({"chave"}));
        put(folder + "Floresta.obx", crlf({"chave", "Chave", "uma chave", "Cabana", "", "-", "0", "0"}));
        put(folder + "chave.obj", crlf({"chave", "Chave", "uma chave", "Cabana", "", "-", "0", "0"}));
        put(folder + "Floresta.ini", {});
        put(folder + "Floresta.rgs", {});

        // Opened as the program opens it: the map and the lists read in.
        state_ = std::make_unique<test::TestAdventure>(ws, QString());
        document().resetMap();
        document().open("Floresta");
        host_ = std::make_unique<QWidget>();
        host_->resize(1297, 802);
        window_ = new ReferencesWindow(host_.get(), document(), state_->drag,
                                       [this](const QString& file, int line, int cell) {
                                           places_.append({file, line, cell});
                                       });
        host_->show();
        window_->show();
        window_->opened();
        test::reportedErrors().clear();
    }

    static void put(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    AdventureDocument& document() { return state_->document; }
    QString folder() const { return state_->adventure.folder(); }
    QStringList problemRows() const { return test::rows(window_->problemList()); }
    QStringList useRows() const { return test::rows(window_->useList()); }
    QString status() const { return window_->status()->text(); }
    int rowWith(QListWidget* list, const QString& part) const {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().contains(part))
                return i;
        return -1;
    }
    void showUsesByTyping(const QString& name) {
        QLineEdit* box = window_->nameBox();
        box->clear();
        QTest::keyClicks(box, name);
        QTest::keyClick(box, Qt::Key_Return);
    }
    void clickRename() {
        QTest::mouseClick(test::child<PictureBox>(window_, "btRefRen"), Qt::LeftButton, {}, QPoint(5, 5));
    }

    test::KeepWorkingDirectory keep_;
    QTemporaryDir dir_;
    std::unique_ptr<test::TestAdventure> state_;
    std::unique_ptr<QWidget> host_;
    ReferencesWindow* window_ = nullptr;
    QList<std::tuple<QString, int, int>> places_;
};

}  // namespace

TEST_F(ReferencesWindowTest, IsAToolWindowWithItsControlsInPlace) {
    EXPECT_EQ(window_->objectName(), "JanRef");
    EXPECT_EQ(window_->geometry(), QRect(640, 100, 640, 600));
    EXPECT_EQ(window_->title()->text(), "Referências:");
    EXPECT_EQ(test::child(window_, "brRef")->geometry(), QRect(640 - 35 - 159, 1, 159, 20));
    EXPECT_EQ(test::child(window_, "btJanRef")->geometry(), QRect(610, 0, 30, 22));
    EXPECT_EQ(window_->problemList()->objectName(), "LstPrb");
    EXPECT_EQ(window_->problemList()->geometry(), QRect(10, 50, 620, 300));
    EXPECT_EQ(window_->useList()->objectName(), "LstUso");
    EXPECT_EQ(window_->nameBox()->objectName(), "edRefNom");
    EXPECT_EQ(window_->status()->objectName(), "Msg9");
    EXPECT_EQ(window_->status()->palette().color(QPalette::WindowText), QColor(128, 0, 0));
    // Everything lies inside the window.
    for (QWidget* w : {static_cast<QWidget*>(window_->problemList()), static_cast<QWidget*>(window_->useList()),
                       static_cast<QWidget*>(window_->nameBox()), static_cast<QWidget*>(window_->status()),
                       test::child(window_, "btRefRen")})
        EXPECT_TRUE(window_->rect().contains(w->geometry())) << w->objectName().toStdString();
    QTest::mouseClick(test::child(window_, "btJanRef"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(window_->isHidden());
}

// An exit to a position that does not exist is listed with the line the
// command line prints, until naming that position on the map mends it; the
// selected row stays selected through the refresh, unused files are grey.
TEST_F(ReferencesWindowTest, ProblemsFollowTheWorkAndKeepTheSelectedRow) {
    QListWidget* list = window_->problemList();
    const QList<ReferenceProblem> problems = document().references().problems();
    ASSERT_FALSE(problems.isEmpty());
    QStringList expected;
    for (const ReferenceProblem& p : problems)
        expected << ReferenceReport::problemLine(p);
    EXPECT_EQ(problemRows(), expected);
    const int lake = rowWith(list, "Cabana.scp:3: saida-sem-posicao:");
    ASSERT_GE(lake, 0) << problemRows().join('\n').toStdString();
    EXPECT_TRUE(list->item(lake)->text().contains("\"Lago\""));
    EXPECT_EQ(list->item(lake)->foreground().color(), QColor(Qt::black));
    EXPECT_EQ(list->item(lake)->toolTip(), problems.at(lake).message);
    const int orphan = rowWith(list, "orfao.scp: nao-usado:");
    ASSERT_GE(orphan, 0);
    EXPECT_EQ(list->item(orphan)->foreground().color(), QColor(128, 128, 128));

    ASSERT_TRUE(test::clickRow(list, orphan));
    const QString selected = list->currentItem()->text();
    // Lago on the map, north of Cabana: the exit now leads somewhere.
    document().mapHistory().perform(std::make_unique<PaintTile>(document(), 21, 1));
    document().mapHistory().perform(std::make_unique<NamePosition>(document(), 21, "Lago"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWith(list, "saida-sem-posicao") < 0; }, 3000))
        << problemRows().join('\n').toStdString();
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text(), selected);

    // Taken back: the problem is listed again.
    document().mapHistory().undoStep();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowWith(list, "saida-sem-posicao") >= 0; }, 3000));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST_F(ReferencesWindowTest, UsesOfTheNameTypedOrGivenAreListed) {
    showUsesByTyping("Clareira");
    QStringList expected;
    for (const Reference& r : document().references().usesOf("Clareira"))
        expected << ReferenceReport::referenceLine(r);
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(useRows(), expected);
    EXPECT_TRUE(useRows().contains("Cabana.scp:2: saida:   oeste= Clareira"));
    EXPECT_TRUE(useRows().contains("Floresta.map:1: mapa: Clareira"));

    window_->showUsesOf("chave");
    EXPECT_EQ(window_->nameBox()->text(), "chave");
    EXPECT_TRUE(useRows().contains("Floresta.obz:1: objeto: chave")) << useRows().join('\n').toStdString();
    EXPECT_TRUE(useRows().contains("chave.obj:1: objeto: chave"));

    // A script edited by another program: opening the window again reads it.
    put(folder() + "orfao.scp", crlf({"ir chave agora"}));
    window_->opened();
    EXPECT_TRUE(useRows().contains("orfao.scp:1: mencao: ir chave agora")) << useRows().join('\n').toStdString();

    showUsesByTyping("ninguem");
    EXPECT_TRUE(useRows().isEmpty());
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// "Renomear..." renames the position in every file; one Ctrl+Z in the
// window brings every old name and byte back.
TEST_F(ReferencesWindowTest, RenameEverywhereThenCtrlZTakesItBack) {
    const QMap<QString, QByteArray> before = filesOf(folder());
    showUsesByTyping("Clareira");
    {
        RenameAnswer answer("Bosque", "btRenOk");
        clickRename();
        ASSERT_TRUE(answer.asked);
        EXPECT_EQ(answer.title, "Renomear");
        EXPECT_EQ(answer.offeredName, "Clareira");
        EXPECT_TRUE(answer.text.contains("\"Clareira\"")) << answer.text.toStdString();
    }
    EXPECT_EQ(status(), "Renomeado: Clareira -> Bosque.");
    EXPECT_FALSE(QFile::exists(folder() + "Clareira.scp"));
    EXPECT_TRUE(QFile::exists(folder() + "Bosque.scp"));
    QFile cabana(folder() + "Cabana.scp");
    ASSERT_TRUE(cabana.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cabana.readAll().contains("  oeste= Bosque\r\n"));
    EXPECT_EQ(document().map().name(0), "Bosque");
    EXPECT_EQ(window_->nameBox()->text(), "Bosque");
    EXPECT_TRUE(useRows().contains("Cabana.scp:2: saida:   oeste= Bosque")) << useRows().join('\n').toStdString();

    QWidget* keys = QApplication::focusWidget() && window_->isAncestorOf(QApplication::focusWidget())
                        ? QApplication::focusWidget()
                        : window_->useList();
    EXPECT_NE(keys, window_->nameBox());
    QTest::keyClick(keys, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(filesOf(folder()), before);
    EXPECT_EQ(document().map().name(0), "Clareira");
    EXPECT_EQ(window_->nameBox()->text(), "Clareira");
    EXPECT_TRUE(useRows().contains("Cabana.scp:2: saida:   oeste= Clareira"));
    EXPECT_TRUE(status().isEmpty());

    // And Ctrl+Y does it again.
    QTest::keyClick(window_->useList(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(QFile::exists(folder() + "Bosque.scp"));
    EXPECT_EQ(document().map().name(0), "Bosque");
    EXPECT_TRUE(test::reportedErrors().isEmpty());

    // While a whole transfer runs, taking the rename back waits: it would
    // rewrite the files being sent; a rename too.
    const QMap<QString, QByteArray> renamed = filesOf(folder());
    document().setTransferRunning(true);
    QTest::keyClick(window_->useList(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(status(), QString::fromUtf8("Aguarde o fim da transferência."));
    EXPECT_EQ(filesOf(folder()), renamed);
    EXPECT_EQ(document().map().name(0), "Bosque");
    clickRename();
    EXPECT_EQ(status(), QString::fromUtf8("Aguarde o fim da transferência."));
    EXPECT_EQ(filesOf(folder()), renamed);
    document().setTransferRunning(false);
    QTest::keyClick(window_->useList(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(document().map().name(0), "Clareira");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// A name that cannot be taken is refused with the reason in Msg9; calling
// the question off changes nothing either; neither leaves a step to undo.
TEST_F(ReferencesWindowTest, ARefusedOrCalledOffRenameTouchesNothing) {
    const QMap<QString, QByteArray> before = filesOf(folder());
    const int steps = document().mapHistory().count();
    showUsesByTyping("Clareira");
    const QStringList uses = useRows();
    {
        RenameAnswer answer("Cabana", "btRenOk");
        clickRename();
        ASSERT_TRUE(answer.asked);
    }
    const QString refusal = document().planRename("Clareira", "Cabana").refusal;
    ASSERT_FALSE(refusal.isEmpty());
    EXPECT_EQ(status(), refusal);
    EXPECT_TRUE(status().contains("Cabana"));
    {
        RenameAnswer answer("a/b", "btRenOk");
        clickRename();
        ASSERT_TRUE(answer.asked);
    }
    EXPECT_FALSE(status().isEmpty());
    EXPECT_FALSE(status().startsWith("Renomeado"));
    {
        RenameAnswer answer("Bosque", "btRenCancela");
        clickRename();
        ASSERT_TRUE(answer.asked);
    }
    EXPECT_TRUE(status().isEmpty());
    EXPECT_EQ(filesOf(folder()), before);
    EXPECT_EQ(document().mapHistory().count(), steps);
    EXPECT_EQ(document().map().name(0), "Clareira");
    EXPECT_EQ(useRows(), uses);

    // A name that is neither a position nor an object is said before any question.
    showUsesByTyping("Lago");
    RenameAnswer none("x", "btRenOk");
    clickRename();
    EXPECT_FALSE(none.asked);
    EXPECT_TRUE(status().contains("\"Lago\""));
    EXPECT_EQ(filesOf(folder()), before);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST_F(ReferencesWindowTest, DoubleClickAsksForThePlaceOfTheRow) {
    QListWidget* problems = window_->problemList();
    const int lake = rowWith(problems, "Cabana.scp:3: saida-sem-posicao:");
    ASSERT_GE(lake, 0);
    ASSERT_TRUE(test::doubleClickRow(problems, lake));
    ASSERT_EQ(places_.size(), 1);
    EXPECT_EQ(places_.last(), std::make_tuple(QString("Cabana.scp"), 3, -1));

    // The map's own problems name their cell.
    document().mapHistory().perform(std::make_unique<NamePosition>(document(), 45, "Vazio", false));
    document().refreshReferencesNow();
    const int noTile = rowWith(problems, "Vazio");
    ASSERT_GE(noTile, 0) << problemRows().join('\n').toStdString();
    ASSERT_TRUE(test::doubleClickRow(problems, noTile));
    ASSERT_EQ(places_.size(), 2);
    EXPECT_EQ(places_.last(), std::make_tuple(QString("Floresta.map"), 91, 45));

    // A use on the map is its cell too; elsewhere there is none.
    window_->showUsesOf("Cabana");
    const int onMap = rowWith(window_->useList(), "Floresta.map:3: mapa: Cabana");
    ASSERT_GE(onMap, 0) << useRows().join('\n').toStdString();
    ASSERT_TRUE(test::doubleClickRow(window_->useList(), onMap));
    EXPECT_EQ(places_.last(), std::make_tuple(QString("Floresta.map"), 3, 1));
    const int inRecord = rowWith(window_->useList(), "Floresta.obx:4: local: Cabana");
    ASSERT_GE(inRecord, 0) << useRows().join('\n').toStdString();
    ASSERT_TRUE(test::doubleClickRow(window_->useList(), inRecord));
    EXPECT_EQ(places_.last(), std::make_tuple(QString("Floresta.obx"), 4, -1));
    // The object a row of the object lists is about.
    EXPECT_EQ(window_->objectAt("Floresta.obx", 4), "chave");
    EXPECT_EQ(window_->objectAt("Floresta.obz", 1), "chave");
    EXPECT_EQ(window_->objectAt("chave.obj", 5), "chave");
    EXPECT_EQ(window_->objectAt("Floresta.obx", 9), "");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}
