// The panel layout editor as an author meets it: choosing a panel template,
// saving the opening screen and the panel, placing the five layout areas with
// the mouse, and the settings lists it must not change.
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "app/TForm1.h"
#include "editors/PanelLayout.h"
#include "editors/PanelWindow.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"

#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace orv;
using orv::test::TestWorkspace;

namespace {

// 98 settings lines: the layout of a 640 x 400 panel, zero elsewhere.
QStringList layoutLines() {
    QStringList lines;
    for (int n = 0; n < 98; ++n)
        lines << QStringLiteral("0");
    const QList<QPair<int, int>> values = {{22, 100}, {23, 50},  {24, 400}, {25, 300}, {27, 10},  {28, 20},
                                           {29, 200}, {30, 40},  {36, 5},   {37, 360}, {38, 600}, {39, 30},
                                           {45, 520}, {46, 10},  {47, 110}, {48, 300}, {58, 320}, {59, 200}};
    for (const auto& [line, value] : values)
        lines[line] = QString::number(value);
    lines[13] = QStringLiteral("abertura.png");
    lines[14] = QStringLiteral("painel.png");
    return lines;
}

QByteArray crlfLines(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

QByteArray png(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

template <typename T = QWidget>
T* child(QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

void mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers modifiers = {}) {
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

// Presses at `from` in the widget, moves by `by` and releases: one drag.
void drag(QWidget* target, QPoint from, QPoint by, Qt::MouseButton button = Qt::LeftButton) {
    mouse(target, QEvent::MouseButtonPress, from, button, button);
    // Positions are in the widget's own frame, which may move under the pointer.
    const QPoint before = target->pos();
    mouse(target, QEvent::MouseMove, from + by, Qt::NoButton, button);
    const QPoint shifted = target->pos() - before;
    mouse(target, QEvent::MouseButtonRelease, from + by - shifted, button, {});
}

// A program with the adventure Vale open, its panel images and one template
// beside the program, and the panel window opened.
struct Session {
    TestWorkspace ws;
    std::unique_ptr<TForm1> form;
    PanelWindow* window = nullptr;

    explicit Session(const QStringList& settings = layoutLines()) {
        ws.addAdventure("Vale");
        ws.write("Vale/Vale.ini", crlfLines(settings));
        ws.write("Vale/abertura.png", png({640, 400}, Qt::blue));
        ws.write("Vale/painel.png", png({640, 400}, Qt::darkGreen));
        ws.write("pan-castelo.png", png({600, 380}, QColor(90, 60, 30)));
        form = test::startProgram(ws);
        form->OpenAdventure("Vale");
        window = form->findChild<PanelWindow*>("JanPan");
        // Through the button, so that an error is reported as the author sees it.
        QTest::mouseClick(child(form.get(), "btPan"), Qt::LeftButton, {}, {5, 5});
    }
    const QStringList& lines() { return form->adventure().settingsList(); }
    void click(const char* name) { QTest::mouseClick(child(window, name), Qt::LeftButton, {}, {5, 5}); }
    void chooseTemplate(const QString& name) {
        ASSERT_TRUE(test::clickRow(child<QListWidget>(window, "ArqPan"), name)) << name.toStdString();
    }
    void selectArea(const char* label) { QTest::mouseClick(child(window, label), Qt::LeftButton, {}, {3, 3}); }
    QString text(const char* name) { return child<QLabel>(window, name)->text(); }
    QRect rectangle() { return child(window, "Shp1a")->geometry(); }
};

}  // namespace

TEST(PanelLayout, MovesAndResizesStopAtTheImageAndRecordTheirLines) {
    const QSize image(640, 400);
    QStringList lines = layoutLines();

    // Msg1 is kept relative to the Visor: dragged onto the Visor's corner it is 0, 0.
    QRect msg = PanelLayout::placeRect(lines, PanelArea::Msg1, image);
    EXPECT_EQ(msg, QRect(110, 70, 200, 40));
    msg = PanelLayout::moveRect(PanelArea::Msg1, msg, {-10, -20}, image);
    PanelLayout::recordPosition(lines, PanelArea::Msg1, msg);
    EXPECT_EQ(lines[27], "0");
    EXPECT_EQ(lines[28], "0");

    // Moving the Visor changes its two lines and nothing else.
    const QStringList before = lines;
    const QRect visor = PanelLayout::moveRect(PanelArea::Visor, PanelLayout::placeRect(lines, PanelArea::Visor, image),
                                              {10, 5}, image);
    PanelLayout::recordPosition(lines, PanelArea::Visor, visor);
    QStringList expected = before;
    expected[22] = "110";
    expected[23] = "55";
    EXPECT_EQ(lines, expected);

    // Tela stands still; a rectangle wider than the image ends at a negative left.
    EXPECT_EQ(PanelLayout::moveRect(PanelArea::Tela, {100, 50, 320, 200}, {30, 30}, image), QRect(100, 50, 320, 200));
    EXPECT_EQ(PanelLayout::moveRect(PanelArea::Func, {0, 0, 700, 30}, {-5, 0}, image).left(), -60);

    // A rectangle placed past the bottom right is pulled back inside.
    lines[45] = "600";
    lines[46] = "390";
    EXPECT_EQ(PanelLayout::placeRect(lines, PanelArea::Func, image), QRect(530, 100, 110, 300));

    // The handle stops at an 8 x 8 rectangle and at the image's last 8 pixels.
    EXPECT_EQ(PanelLayout::resizeRect({100, 50, 40, 30}, {-200, -200}, image), QRect(100, 50, 8, 8));
    EXPECT_EQ(PanelLayout::resizeRect({100, 50, 40, 30}, {900, 900}, image), QRect(100, 50, 540, 350));

    // The Visor's size goes to its copies as well.
    PanelLayout::recordSize(lines, PanelArea::Visor, {300, 200});
    for (int line : {24, 51, 96, 49})
        EXPECT_EQ(lines[line], "300") << line;
    for (int line : {25, 52, 97, 50})
        EXPECT_EQ(lines[line], "200") << line;
    PanelLayout::recordSize(lines, PanelArea::Tela, {64, 48});
    EXPECT_EQ(lines[58], "64");
    EXPECT_EQ(lines[59], "48");
}

TEST(PanelLayout, ShortOrNonNumericListsAreRefusedUnchanged) {
    QStringList shortList = layoutLines().mid(0, 97);
    const QStringList before = shortList;
    EXPECT_THROW(PanelLayout::recordSize(shortList, PanelArea::Visor, {300, 200}), OrvalisError);
    EXPECT_THROW(PanelLayout::recordSavedImage(shortList, true, "a.png", {1, 1}), OrvalisError);
    EXPECT_THROW(PanelLayout::placeRect(shortList, PanelArea::Visor, {640, 400}), OrvalisError);
    EXPECT_EQ(shortList, before);

    QStringList lines = layoutLines();
    lines[29] = "larga";
    EXPECT_THROW(PanelLayout::placeRect(lines, PanelArea::Msg1, {640, 400}), OrvalisError);
    // Digits followed by a NUL and more are not a number, though toInt reads them.
    lines[29] = QString::fromLatin1("200\0x", 5);
    EXPECT_THROW(PanelLayout::number(lines, 29), OrvalisError);
    // Numbers that would overflow once added up are refused; the limit itself is not.
    lines = layoutLines();
    lines[23] = "-2147483000";
    lines[28] = "-2147483000";
    EXPECT_THROW(PanelLayout::placeRect(lines, PanelArea::Msg1, {640, 400}), OrvalisError);
    lines[23] = QString::number(-PanelLayout::kNumberLimit);
    lines[28] = "+0001";
    EXPECT_EQ(PanelLayout::placeRect(lines, PanelArea::Msg1, {640, 400}).top(), 1 - PanelLayout::kNumberLimit);

    EXPECT_EQ(PanelLayout::imageNameFromTemplate("pan-castelo.png"), "castelo.png");
    EXPECT_EQ(PanelLayout::pngImageName("castelo.png"), "castelo.png");
    EXPECT_EQ(PanelLayout::pngImageName("abertura.jpg"), "abertura.png");
    EXPECT_EQ(PanelLayout::pngImageName("sem"), "sem.png");
}

TEST(PanelWindow, TemplateChosenInOpeningModeIsSavedAsThePanel) {
    Session s;
    EXPECT_EQ(s.text("Lb1"), "Abertura:");
    EXPECT_EQ(s.text("lbNoImg"), "abertura.png");
    EXPECT_EQ(s.text("Lb2"), "640 x 400");
    EXPECT_EQ(child(s.window, "ArqPan")->height(), 350);
    EXPECT_FALSE(child(s.window, "bnPanUp")->isVisible());
    EXPECT_EQ(s.window->shownImage().pixel(5, 5) & 0xFFFFFF, 0x0000FFu);

    s.chooseTemplate("pan-castelo.png");
    EXPECT_EQ(s.text("Lb1"), "Abertura:");  // the preview alone changes nothing
    QTest::mouseClick(child(s.window, "View"), Qt::LeftButton, {}, {5, 5});
    EXPECT_EQ(s.text("Lb1"), "Painel:");
    EXPECT_EQ(s.text("lbNoImg"), "castelo.png");
    EXPECT_EQ(s.text("Lb2"), "600 x 380");
    EXPECT_EQ(child(s.window, "PanTel")->size(), QSize(600, 380));
    EXPECT_EQ(child(s.window, "ArqPan")->height(), 120);
    EXPECT_EQ(s.text("VspWid"), "400");

    s.click("bnPanGrv");
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("\n").toStdString();
    EXPECT_EQ(s.text("Msg8"), QString::fromUtf8("Gravação ok."));
    QImage saved(s.ws.path("Vale/castelo.png"));
    EXPECT_EQ(saved.size(), QSize(600, 380));
    QStringList expected = layoutLines();
    expected[14] = "castelo.png";
    expected[11] = "600";
    expected[12] = "380";
    EXPECT_EQ(s.lines(), expected);
    EXPECT_EQ(s.ws.read("Vale/Vale.ini"), crlfLines(expected));

    // Back in opening mode, Gravar names the opening screen and leaves the panel's line.
    s.click("bnPanAbr");
    EXPECT_EQ(s.text("lbNoImg"), "abertura.png");
    EXPECT_EQ(child(s.window, "ArqPan")->height(), 350);
    s.click("bnPanGrv");
    EXPECT_EQ(s.lines()[13], "abertura.png");
    EXPECT_EQ(s.lines()[14], "castelo.png");
    EXPECT_EQ(s.lines()[11], "640");
}

TEST(PanelWindow, AreasAreSelectedMovedResizedAndPaintedWithTheMouse) {
    Session s;
    // In opening mode a click selects nothing, but a right press paints the
    // area selected before (none yet: nothing happens).
    s.selectArea("Label35");
    EXPECT_FALSE(s.window->selectedArea());
    EXPECT_FALSE(child(s.window, "Shp1a")->isVisible());

    s.click("bnPanPan");
    s.selectArea("Label35");
    ASSERT_EQ(s.window->selectedArea(), PanelArea::Visor);
    EXPECT_EQ(s.rectangle(), QRect(100, 50, 400, 300));
    EXPECT_EQ(child(s.window, "Shp1b")->pos(), QPoint(492, 342));

    // Moving the Visor by (10, 5) changes only its position lines.
    const QStringList before = s.lines();
    drag(child(s.window, "Shp1a"), {50, 50}, {10, 5});
    QStringList expected = before;
    expected[22] = "110";
    expected[23] = "55";
    EXPECT_EQ(s.lines(), expected);
    EXPECT_EQ(s.text("VspLft"), "110");
    EXPECT_EQ(s.rectangle(), QRect(110, 55, 400, 300));

    // The handle resizes it to 300 x 200, copies included.
    drag(child(s.window, "Shp1b"), {4, 4}, {-100, -100});
    EXPECT_EQ(s.rectangle(), QRect(110, 55, 300, 200));
    for (int line : {24, 51, 96, 49})
        EXPECT_EQ(s.lines()[line], "300") << line;
    for (int line : {25, 52, 97, 50})
        EXPECT_EQ(s.lines()[line], "200") << line;
    EXPECT_EQ(s.text("VspHgt"), "200");

    // Tela sits at the Visor's corner; dragging it does nothing, its handle resizes it.
    s.selectArea("Label38");
    EXPECT_EQ(s.rectangle(), QRect(110, 55, 320, 200));
    const QStringList beforeTela = s.lines();
    drag(child(s.window, "Shp1a"), {50, 50}, {30, 30});
    EXPECT_EQ(s.rectangle(), QRect(110, 55, 320, 200));
    EXPECT_EQ(s.lines(), beforeTela);
    drag(child(s.window, "Shp1b"), {4, 4}, {-20, -10});
    EXPECT_EQ(s.lines()[58], "300");
    EXPECT_EQ(s.lines()[59], "190");

    // Msg1 dragged onto the Visor's corner stores 0, 0.
    s.selectArea("Label61");
    EXPECT_EQ(s.rectangle(), QRect(120, 75, 200, 40));
    drag(child(s.window, "Shp1a"), {20, 20}, {-10, -20});
    EXPECT_EQ(s.lines()[27], "0");
    EXPECT_EQ(s.lines()[28], "0");

    // A right press on any area label paints the selected area (Msg1, cyan);
    // in opening mode it still paints.
    s.click("bnPanAbr");
    mouse(child(s.window, "Label51"), QEvent::MouseButtonPress, {3, 3}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(s.window->shownImage().pixel(115, 60) & 0xFFFFFF, 0x00FFFFu);
    EXPECT_EQ(s.window->shownImage().pixel(105, 60) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(s.window->selectedArea(), PanelArea::Msg1);

    // Drawing: a left drag draws a thin black line on the shown image.
    QWidget* tela = child(s.window, "Tela");
    mouse(tela, QEvent::MouseButtonPress, {400, 300}, Qt::LeftButton, Qt::LeftButton);
    mouse(tela, QEvent::MouseMove, {440, 300}, Qt::NoButton, Qt::LeftButton);
    mouse(tela, QEvent::MouseButtonRelease, {440, 300}, Qt::LeftButton, {});
    EXPECT_EQ(s.window->shownImage().pixel(420, 300) & 0xFFFFFF, 0u);
    EXPECT_EQ(s.form->drag().dragging, 0);
}

TEST(PanelWindow, ShortSettingsListIsReportedAndLeftAlone) {
    Session s(layoutLines().mid(0, 60));
    const QStringList before = s.lines();
    EXPECT_FALSE(test::reportedErrors().isEmpty());
    test::reportedErrors().clear();
    s.click("bnPanPan");
    s.click("bnPanGrv");
    EXPECT_FALSE(test::reportedErrors().isEmpty());
    EXPECT_EQ(s.lines(), before);
    EXPECT_NE(s.text("Msg8"), QString::fromUtf8("Gravação ok."));
}

TEST(PanelWindow, TemplateIsTakenWhenTheAdventureHasNoPanelImageYet) {
    Session s;
    QFile::remove(s.ws.path("Vale/painel.png"));
    s.chooseTemplate("pan-castelo.png");
    QTest::mouseClick(child(s.window, "View"), Qt::LeftButton, {}, {5, 5});
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("\n").toStdString();
    EXPECT_EQ(s.text("Lb1"), "Painel:");
    EXPECT_EQ(s.text("lbNoImg"), "castelo.png");
    EXPECT_EQ(s.window->shownImage().size(), QSize(600, 380));

    // The panel button itself still reports the missing file.
    QFile::remove(s.ws.path("Vale/castelo.png"));
    s.form->adventure().changeSettings([](QStringList& lines) { lines[14] = "castelo.png"; });
    s.click("bnPanPan");
    EXPECT_EQ(test::reportedErrors().size(), 1);
}

// Undo and redo through the keys as the author presses them, with the panel
// window just opened (no click on it first): each drag, resize, stroke and
// painted area is one step, and what "Gravar" then writes is byte for byte
// what the author sees.
TEST(PanelWindow, KeysUndoAndRedoEachDragStrokeAndPaintThenGravarWritesWhatIsShown) {
    Session s;
    s.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.form.get()));
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, k, m);
    };
    const auto undo = [&] { key(Qt::Key_Z, Qt::ControlModifier); };
    const auto redo = [&] { key(Qt::Key_Y, Qt::ControlModifier); };

    s.click("bnPanPan");
    const QStringList original = s.lines();
    const QImage panel = s.window->shownImage().copy();
    s.selectArea("Label35");
    drag(child(s.window, "Shp1a"), {50, 50}, {10, 5});
    drag(child(s.window, "Shp1b"), {4, 4}, {-100, -100});
    const QStringList resized = s.lines();
    QWidget* tela = child(s.window, "Tela");
    mouse(tela, QEvent::MouseButtonPress, {400, 300}, Qt::LeftButton, Qt::LeftButton);
    mouse(tela, QEvent::MouseMove, {420, 300}, Qt::NoButton, Qt::LeftButton);
    mouse(tela, QEvent::MouseMove, {440, 320}, Qt::NoButton, Qt::LeftButton);
    mouse(tela, QEvent::MouseButtonRelease, {440, 320}, Qt::LeftButton, {});
    const QImage stroked = s.window->shownImage().copy();
    mouse(child(s.window, "Label51"), QEvent::MouseButtonPress, {3, 3}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(s.window->shownImage().pixel(120, 60) & 0xFFFFFF, 0xC0C0C0u);  // the Visor painted

    undo();  // the painted area
    EXPECT_EQ(s.window->shownImage(), stroked);
    undo();  // the whole stroke
    EXPECT_EQ(s.window->shownImage(), panel);
    undo();  // the resize: the lines, the labels and the rectangle come back
    QStringList moved = original;
    moved[22] = "110";
    moved[23] = "55";
    EXPECT_EQ(s.lines(), moved);
    EXPECT_EQ(s.text("VspWid"), "400");
    EXPECT_EQ(s.rectangle(), QRect(110, 55, 400, 300));
    EXPECT_EQ(child(s.window, "Shp1b")->pos(), QPoint(502, 347));
    // Another area selected meanwhile: undoing the Visor's move shows the Visor.
    s.selectArea("Label61");
    undo();
    EXPECT_EQ(s.lines(), original);
    EXPECT_EQ(s.window->selectedArea(), PanelArea::Visor);
    EXPECT_EQ(s.rectangle(), QRect(100, 50, 400, 300));
    EXPECT_EQ(s.text("VspLft"), "100");
    undo();  // nothing more
    EXPECT_EQ(s.lines(), original);

    redo();
    redo();
    EXPECT_EQ(s.lines(), resized);
    EXPECT_EQ(s.rectangle(), QRect(110, 55, 300, 200));
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);  // the stroke again
    EXPECT_EQ(s.window->shownImage(), stroked);
    // On the screen too, under the area's outline.
    const QImage onScreen = tela->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(onScreen.copy(380, 280, 80, 60), stroked.copy(380, 280, 80, 60));

    s.click("bnPanGrv");
    EXPECT_EQ(s.text("Msg8"), "Gravação ok.");
    QImage written(s.ws.path("Vale/painel.png"));
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), stroked);
    QStringList saved = resized;
    saved[11] = "640";
    saved[12] = "400";
    EXPECT_EQ(s.ws.read("Vale/Vale.ini"), crlfLines(saved));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(PanelWindow, CtrlSIsGravarWhileTheWindowIsShown) {
    Session s;
    s.chooseTemplate("pan-castelo.png");
    QTest::mouseClick(child(s.window, "View"), Qt::LeftButton, {}, {5, 5});
    s.window->hide();
    EXPECT_FALSE(s.window->JanPanKeyDown(Qt::Key_S, Qt::ControlModifier));
    EXPECT_FALSE(QFile::exists(s.ws.path("Vale/castelo.png")));
    s.window->show();
    s.window->setFocus();
    QTest::keyClick(s.window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(s.text("Msg8"), QString::fromUtf8("Gravação ok."));
    EXPECT_EQ(QImage(s.ws.path("Vale/castelo.png")).size(), QSize(600, 380));
    EXPECT_EQ(s.lines()[14], "castelo.png");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}
