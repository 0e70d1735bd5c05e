// The position image editor: its layout around the picture, the blank
// picture of the game screen's size, drawing with the mouse, Limpar/Gravar.
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "support/TestAdventure.h"
#include "map/PositionImageEditor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace orv;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);

class PositionImageEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        state_ = std::make_unique<test::TestAdventure>(dir_.path() + "/", "Floresta");
        ASSERT_TRUE(QDir(state_->adventure.folder()).exists());
        setScreen("320", "200");
        host_ = std::make_unique<QWidget>();
        host_->resize(1297, 722);
        editor_ = new PositionImageEditor(host_.get(), state_->document, state_->connection, state_->settings,
                                          state_->drag);
        editor_->setPositionName("sala");
        host_->show();
    }

    template <class T = QWidget>
    T* child(const QString& name) {
        T* found = editor_->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QString path(const QString& name) const { return state_->adventure.folder() + name; }
    void setScreen(const QString& width, const QString& height, int lines = 60) {
        QStringList settings(60, "0");
        settings[58] = width;
        settings[59] = height;
        settings.resize(lines);
        state_->setSettings(settings);
    }
    void picture(const QString& name, QSize size, Qt::GlobalColor colour) const {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(path(name)));
    }
    // A move with the keys and buttons the author holds at that moment.
    void move(QPoint to, Qt::MouseButtons buttons, Qt::KeyboardModifiers keys = {}) {
        QMouseEvent event(QEvent::MouseMove, to, child("TelPos")->mapToGlobal(to), Qt::NoButton, buttons, keys);
        QApplication::sendEvent(child("TelPos"), &event);
    }
    QString openError() {
        try {
            editor_->openEditor();
        } catch (const OrvalisError& error) {
            return error.text();
        }
        return "no error";
    }
    QRgb at(int x, int y) const { return editor_->canvas().pixel(x, y); }

    QTemporaryDir dir_;
    std::unique_ptr<test::TestAdventure> state_;
    std::unique_ptr<QWidget> host_;
    PositionImageEditor* editor_ = nullptr;
};

TEST_F(PositionImageEditorTest, WindowIsLaidOutAroundThePicture) {
    const struct { QSize image; QSize window; } cases[] = {
        {{320, 200}, {470, 355}}, {{640, 400}, {650, 480}}, {{460, 275}, {470, 355}}, {{459, 274}, {470, 355}}};
    for (const auto& c : cases) {
        const int h = c.image.height();
        const int w = c.window.width();
        picture("sala.png", c.image, Qt::red);
        editor_->openEditor();
        EXPECT_EQ(editor_->size(), c.window);
        EXPECT_EQ(child("PanEdi")->geometry(), QRect(QPoint(5, 30), c.image));
        EXPECT_EQ(child("Shape10")->geometry(), QRect(0, 25, w, c.window.height() - 25));
        EXPECT_EQ(child("Shape11")->y(), h + 35);
        EXPECT_EQ(child("bnEdCls")->pos(), QPoint(10, h + 47));
        EXPECT_EQ(child("bnEdGrv")->pos(), QPoint(75, h + 47));
        EXPECT_EQ(child("bnEdUp")->pos(), QPoint(140, h + 47));
        EXPECT_EQ(child("bnEdDwn")->pos(), QPoint(205, h + 47));
        EXPECT_EQ(child("Msg5")->pos(), QPoint(140, h + 49));
        EXPECT_EQ(child("brEdImg")->x(), w - 140);
        EXPECT_EQ(child("btEdFim")->x(), w - 30);
    }
    state_->setReady(true);  // the Upload and Down buttons come with the ready connection
    editor_->openEditor();
    EXPECT_EQ(child("Msg5")->pos(), QPoint(270, 274 + 49));
    QTest::mouseClick(child<PictureBox>("btEdFim"), Qt::LeftButton);
    EXPECT_FALSE(editor_->isVisible());
}

TEST_F(PositionImageEditorTest, APositionWithoutPictureGetsAWhiteOneOfTheScreenSize) {
    editor_->openEditor();
    EXPECT_TRUE(editor_->isVisible());
    const QImage saved(path("sala.png"));
    ASSERT_EQ(saved.size(), QSize(320, 200));
    QImage white(320, 200, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), white);
    EXPECT_EQ(editor_->canvas().format(), QImage::Format_RGB32);

    // Another extension is another file; the first one stays as it was.
    QTest::mousePress(child("TelPos"), Qt::LeftButton, {}, {10, 10});
    move({100, 10}, Qt::LeftButton);
    QTest::mouseRelease(child("TelPos"), Qt::LeftButton, {}, {100, 10});
    QTest::mouseClick(child<PictureBox>("bnEdGrv"), Qt::LeftButton);
    state_->settings.imageExtension = "jpg";
    editor_->openEditor();
    EXPECT_EQ(QImage(path("sala.jpg")).size(), QSize(320, 200));
    EXPECT_EQ(QImage(path("sala.png")).pixel(50, 10), kBlack);
    EXPECT_EQ(at(50, 10), QImage(path("sala.jpg")).pixel(50, 10));
}

TEST_F(PositionImageEditorTest, UnusableScreenSizeLinesStopBeforeAnythingIsWritten) {
    picture("torre.png", {640, 400}, Qt::red);
    editor_->setPositionName("torre");
    editor_->openEditor();
    editor_->setPositionName("sala");
    const struct { int lines; const char* width; const char* height; const char* named; } cases[] = {
        {58, "320", "200", "linha 58"}, {59, "320", "200", "linha 59"}, {60, "x", "200", "linha 58"},
        {60, "320", "2.5", "linha 59"}, {60, "0", "200", "linha 58"},   {60, "320", "20000", "linha 59"}};
    for (const auto& c : cases) {
        setScreen(c.width, c.height, c.lines);
        const QString error = openError();
        EXPECT_TRUE(error.contains(c.named)) << error.toStdString();
        if (c.lines == 58)
            EXPECT_EQ(error, "A linha 58 (largura da tela) das configurações falta ou não é um número inteiro.");
        EXPECT_FALSE(QFile::exists(path("sala.png")));
        EXPECT_EQ(editor_->size(), QSize(650, 480));
        EXPECT_EQ(at(10, 10), kRed);
    }
    // Digits followed by a NUL and more are not a number, though toInt reads them.
    QStringList nul(60, "200");
    nul[58] = QString::fromLatin1("320\0x", 5);
    EXPECT_THROW(PositionImageEditor::newImageSize(nul), OrvalisError);
}

TEST_F(PositionImageEditorTest, StrokesFollowTheButtonsAndCtrl) {
    picture("sala.png", {320, 200}, Qt::red);
    editor_->openEditor();
    QTest::mouseClick(child<PictureBox>("bnEdGrv"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>("Msg5")->text(), "Ok.");
    QWidget* canvas = child("TelPos");

    QTest::mousePress(canvas, Qt::LeftButton, {}, {10, 10});
    EXPECT_EQ(state_->drag.dragging, 1);
    EXPECT_EQ(child<QLabel>("Msg5")->text(), "");
    move({100, 10}, Qt::LeftButton);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {100, 10});
    EXPECT_EQ(state_->drag.dragging, 0);
    EXPECT_EQ(at(50, 10), kBlack);
    EXPECT_EQ(at(50, 14), kRed);

    move({100, 50}, Qt::LeftButton);  // no press: nothing drawn
    EXPECT_EQ(at(60, 30), kRed);

    QTest::mousePress(canvas, Qt::RightButton, {}, {10, 50});
    move({100, 50}, Qt::RightButton);
    QTest::mouseRelease(canvas, Qt::RightButton, {}, {100, 50});
    EXPECT_EQ(at(50, 50), kWhite);
    EXPECT_EQ(at(50, 53), kWhite);

    QTest::mousePress(canvas, Qt::LeftButton, {}, {10, 100});
    move({100, 100}, Qt::LeftButton, Qt::ControlModifier);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {100, 100});
    EXPECT_EQ(at(50, 100), kBlack);
    EXPECT_EQ(at(50, 103), kWhite);
    EXPECT_EQ(at(50, 106), kRed);

    // Drawing writes nothing until Gravar.
    EXPECT_EQ(QImage(path("sala.png")).pixel(50, 10), kRed);
    QTest::mouseClick(child<PictureBox>("bnEdGrv"), Qt::LeftButton);
    EXPECT_EQ(QImage(path("sala.png")).pixel(50, 10), kBlack);

    QTest::mousePress(canvas, Qt::LeftButton, {}, {10, 10});
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {10, 10});
    QTest::mouseClick(child<PictureBox>("bnEdCls"), Qt::LeftButton);
    EXPECT_EQ(child<QLabel>("Msg5")->text(), "Ok.");
    const QImage cleared = QImage(path("sala.png")).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(cleared.pixel(50, 10), kWhite);
    EXPECT_EQ(cleared.pixel(300, 190), kWhite);
    EXPECT_EQ(at(50, 10), kWhite);
}

// Undo and redo through the keys, the editor just opened (no click on it
// first): each stroke and "Limpar" is one step, files already written stay,
// and "Gravar" writes what is shown.
TEST_F(PositionImageEditorTest, KeysUndoAndRedoEachStrokeAndClearing) {
    picture("sala.png", {320, 200}, Qt::red);
    host_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
    editor_->openEditor();
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = Qt::ControlModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, k, m);
    };
    const QImage red = editor_->canvas().copy();
    QWidget* canvas = child("TelPos");
    QTest::mousePress(canvas, Qt::LeftButton, {}, {10, 10});
    move({100, 10}, Qt::LeftButton);
    move({100, 90}, Qt::LeftButton);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {100, 90});
    const QImage one = editor_->canvas().copy();
    QTest::mousePress(canvas, Qt::RightButton, {}, {10, 50});
    move({200, 50}, Qt::RightButton);
    QTest::mouseRelease(canvas, Qt::RightButton, {}, {200, 50});
    const QImage two = editor_->canvas().copy();

    key(Qt::Key_Z);
    EXPECT_EQ(editor_->canvas(), one);
    key(Qt::Key_Z);
    EXPECT_EQ(editor_->canvas(), red);  // the whole first stroke at once
    key(Qt::Key_Z);
    EXPECT_EQ(editor_->canvas(), red);
    key(Qt::Key_Y);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor_->canvas(), two);
    EXPECT_EQ(canvas->grab().toImage().convertToFormat(QImage::Format_RGB32), two);  // as the author sees it
    EXPECT_EQ(QImage(path("sala.png")).pixel(50, 10), kRed);  // nothing written yet

    QTest::mouseClick(child<PictureBox>("bnEdCls"), Qt::LeftButton);
    EXPECT_EQ(at(50, 10), kWhite);
    key(Qt::Key_Z);
    EXPECT_EQ(editor_->canvas(), two);
    // The cleared file stays as "Limpar" wrote it until the next "Gravar".
    EXPECT_EQ(QImage(path("sala.png")).pixel(50, 10), kWhite);
    key(Qt::Key_Z);
    QTest::mouseClick(child<PictureBox>("bnEdGrv"), Qt::LeftButton);
    EXPECT_EQ(QImage(path("sala.png")).convertToFormat(QImage::Format_RGB32), one);

    // Another picture starts its own history; a hidden editor takes no key.
    picture("torre.png", {320, 200}, Qt::blue);
    editor_->setPositionName("torre");
    editor_->openEditor();
    const QImage blue = editor_->canvas().copy();
    key(Qt::Key_Y);
    key(Qt::Key_Z);
    EXPECT_EQ(editor_->canvas(), blue);
    QTest::mousePress(canvas, Qt::LeftButton, {}, {10, 10});
    move({100, 10}, Qt::LeftButton);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {100, 10});
    editor_->hide();
    EXPECT_FALSE(editor_->JanEdImgKeyDown(Qt::Key_Z, Qt::ControlModifier));
    EXPECT_EQ(at(50, 10), kBlack);
}

TEST_F(PositionImageEditorTest, AnUnreadablePictureIsNotReplacedByTheLastOne) {
    picture("sala.png", {320, 200}, Qt::red);
    editor_->openEditor();
    QFile broken(path("porao.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    editor_->setPositionName("porao");
    EXPECT_THROW(editor_->openEditor(), std::exception);
    EXPECT_FALSE(editor_->isVisible());
    QFile read(path("porao.png"));
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    EXPECT_EQ(read.readAll(), "not a picture");
}

}  // namespace

TEST_F(PositionImageEditorTest, CtrlSIsGravarWhileTheEditorIsShown) {
    picture("sala.png", {320, 200}, Qt::red);
    host_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
    editor_->openEditor();
    QWidget* canvas = child("TelPos");
    QTest::mousePress(canvas, Qt::LeftButton, {}, {10, 10});
    move({100, 10}, Qt::LeftButton);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {100, 10});
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(QImage(path("sala.png")).convertToFormat(QImage::Format_RGB32), editor_->canvas());

    QTest::mousePress(canvas, Qt::LeftButton, {}, {10, 50});
    move({100, 50}, Qt::LeftButton);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, {100, 50});
    editor_->hide();
    EXPECT_FALSE(editor_->JanEdImgKeyDown(Qt::Key_S, Qt::ControlModifier));
    EXPECT_EQ(QImage(path("sala.png")).pixel(50, 50), kRed);
}
