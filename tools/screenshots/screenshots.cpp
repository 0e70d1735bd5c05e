// Takes the README's pictures: starts the program's main window over a
// workspace, walks through every window with the sample adventure open, as an
// author would click, and grabs the screen after each step. Any error the
// program reports on the way fails the run.
//
//   screenshots PROGRAM_FILE OUTPUT_FOLDER SERVER_BASE
#include "app/OrvalisApplication.h"
#include "app/TForm1.h"
#include "editors/ImageLibrary.h"
#include "platform/GamePlayer.h"

#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <memory>

namespace {

class Tour {
public:
    Tour(orv::TForm1& form, QString outputFolder) : form_(form), output_(std::move(outputFolder)) {}

    bool failed() const { return failed_; }

    QWidget* find(const char* name) {
        QWidget* w = form_.findChild<QWidget*>(QString::fromLatin1(name));
        if (!w)
            fail(QStringLiteral("no control named %1").arg(QString::fromLatin1(name)));
        return w;
    }

    void click(const char* name, QPoint at = QPoint(5, 5)) {
        if (QWidget* w = find(name))
            QTest::mouseClick(w, Qt::LeftButton, {}, at);
        settle();
    }

    void clickRow(const char* listName, const QString& text, bool doubleClick = false) {
        auto* list = qobject_cast<QListWidget*>(find(listName));
        if (!list)
            return;
        const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly | Qt::MatchEndsWith);
        if (found.isEmpty()) {
            fail(QStringLiteral("%1 has no row %2").arg(QString::fromLatin1(listName), text));
            return;
        }
        list->scrollToItem(found.first());
        const QPoint at = list->visualItemRect(found.first()).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (doubleClick)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        settle();
    }

    // The tool windows stay where they are until closed; each picture shows one.
    void closeToolWindows() {
        for (const char* name : {"JanAdv", "JanCnc", "JanScp", "JanObj", "JanReg", "JanSnd", "JanPan", "JanCnf", "JanRef"})
            if (QWidget* w = find(name))
                w->hide();
        form_.HideFullWidthViews();
        settle();
    }

    void shot(const QString& name) {
        settle(400);
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        if (!screen.save(output_ + name + QStringLiteral(".png"), "PNG"))
            fail(QStringLiteral("cannot write %1.png").arg(name));
        else
            std::printf("%s.png\n", qPrintable(name));
    }

    // Drags a window by its drag bar, as the author moves it out of the way.
    void drag(const char* handle, QPoint by) {
        QWidget* w = find(handle);
        if (!w)
            return;
        const QPoint from(10, 8);
        QTest::mousePress(w, Qt::LeftButton, {}, from);
        QTest::mouseMove(w, from + by);
        QTest::mouseRelease(w, Qt::LeftButton, {}, from + by);
        settle();
    }

    void settle(int ms = 150) { QTest::qWait(ms); }

    void fail(const QString& why) {
        std::fprintf(stderr, "screenshots: %s\n", qPrintable(why));
        failed_ = true;
    }

private:
    orv::TForm1& form_;
    QString output_;
    bool failed_ = false;
};

// The middle of the map cell at a row and column.
QPoint cell(int row, int column) {
    return {column * 100 + 50, row * 60 + 40};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "uso: screenshots PROGRAMA PASTA_DE_SAIDA ENDERECO_DO_SERVIDOR\n");
        return 2;
    }
    orv::OrvalisApplication app(argc, argv);
    QStringList errors;
    app.setReporter([&errors](const QString& text) {
        std::fprintf(stderr, "screenshots: the program reported: %s\n", qPrintable(text));
        errors << text;
    });
    const QString output = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + QLatin1Char('/');
    QDir().mkpath(output);

    auto form = std::make_unique<orv::TForm1>(QString::fromLocal8Bit(argv[1]), nullptr,
                                              QString::fromLocal8Bit(argv[3]));
    form->showOnScreen();
    Tour tour(*form, output);
    tour.settle(800);

    tour.click("btAdv");
    tour.clickRow("Games", QStringLiteral("Floresta"), true);
    tour.shot(QStringLiteral("aventuras"));
    tour.closeToolWindows();
    tour.shot(QStringLiteral("principal"));

    // Choosing the group on the server makes the program ready: from here on
    // every editor shows its Upload and Down buttons.
    tour.click("btCnc");
    tour.clickRow("LstGrp", QStringLiteral("|Floresta"), true);
    tour.shot(QStringLiteral("conexao"));
    tour.closeToolWindows();

    tour.click("btMap");
    // Selecting Clareira, which has a picture, opens the position image editor.
    tour.click("Mapa", cell(3, 5));
    tour.drag("brEdImg", QPoint(560, 345));
    tour.shot(QStringLiteral("mapa"));
    tour.closeToolWindows();

    tour.click("btOpc");
    tour.shot(QStringLiteral("configuracoes"));
    tour.closeToolWindows();

    tour.click("btScp");
    tour.clickRow("NoScp", QStringLiteral("Clareira.scp"));
    tour.shot(QStringLiteral("scripts"));

    // "Exec" starts the sample's stand-in player; once it is up, a second
    // "Exec" hands it the script.
    tour.click("bnExeScp");
    {
        const auto desktop = orv::makeDesktopGamePlayer();
        for (int i = 0; i < 100 && !desktop->findWindow(QStringLiteral("Floresta")); ++i)
            tour.settle(100);
        if (!desktop->findWindow(QStringLiteral("Floresta")))
            tour.fail(QStringLiteral("the stand-in player did not come up"));
    }
    tour.click("bnExeScp");
    tour.settle(500);
    tour.shot(QStringLiteral("jogador"));
    // The player stays up until the display ends; the editor goes back on top.
    form->raise();
    form->activateWindow();
    tour.closeToolWindows();

    tour.click("btObj");
    tour.clickRow("NoObj", QStringLiteral("lanterna.obj"));
    tour.shot(QStringLiteral("objetos"));
    tour.closeToolWindows();

    tour.click("btReg");
    tour.shot(QStringLiteral("registradores"));
    tour.closeToolWindows();

    tour.click("btPan");
    tour.click("bnPanPan");
    tour.click("Label35");  // Visor
    tour.shot(QStringLiteral("painel"));
    tour.closeToolWindows();

    tour.click("btImg");
    {
        // The preview of one position's picture, chosen on the thumbnail sheet.
        const QStringList images = orv::ImageLibrary::listImages(form->adventure().folder());
        const int index = images.indexOf(QStringLiteral("Clareira.png"));
        const int columns = qMax(1, tour.find("FolhaImg")->width() / orv::ImageLibrary::CellWidth);
        if (index < 0)
            tour.fail(QStringLiteral("Clareira.png is not in the image library"));
        tour.click("FolhaImg", QPoint(index % columns * orv::ImageLibrary::CellWidth + 60,
                                      index / columns * orv::ImageLibrary::CellHeight + 40));
    }
    tour.shot(QStringLiteral("imagens"));
    tour.closeToolWindows();

    tour.click("btSnd");
    tour.clickRow("ArqSnd", QStringLiteral("vento.mp3"));
    tour.shot(QStringLiteral("sons"));
    tour.click("btSndStp");
    tour.closeToolWindows();

    // F8: the adventure's problems, and where the clearing is named.
    form->activateWindow();
    QTest::qWaitForWindowActive(form.get(), 2000);
    QTest::keyClick(form.get(), Qt::Key_F8);
    tour.settle();
    if (auto* name = qobject_cast<QLineEdit*>(tour.find("edRefNom"))) {
        name->setFocus();
        name->clear();
        QTest::keyClicks(name, QStringLiteral("Clareira"));
        QTest::keyClick(name, Qt::Key_Return);
    }
    tour.shot(QStringLiteral("referencias"));
    tour.closeToolWindows();

    form.reset();  // the exit saves, as when the author ends the program
    for (const QString& e : errors)
        tour.fail(QStringLiteral("error shown: ") + e);
    return tour.failed() ? 1 : 0;
}
