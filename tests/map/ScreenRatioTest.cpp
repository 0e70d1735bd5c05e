// The program on a screen of two pixels a point (run with QT_SCALE_FACTOR=2):
// what is shown is drawn with the screen's pixels, what is saved is the same
// file as on a screen of one.
#include "document/AdventureDocument.h"
#include "map/MapModel.h"
#include "map/MapWindow.h"
#include "support/QtTestMain.h"
#include "support/TestAdventure.h"
#include "widgets/ButtonArt.h"
#include "widgets/PictureBox.h"
#include "widgets/Shape.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace orv;

namespace {

// Set in the child run that writes the map picture on a screen of ratio 1.
constexpr const char* kOutputVariable = "ORVALIS_RATIO_TEST_OUTPUT";

// 2 x 2 blocks of the picture that are not one colour: none in a picture
// drawn at one pixel a point and doubled, many in letters drawn at two.
int blocksWithDetail(const QImage& picture, QRect area) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = area.top(); y + 1 <= area.bottom(); y += 2)
        for (int x = area.left(); x + 1 <= area.right(); x += 2) {
            const QRgb first = image.pixel(x, y);
            if (image.pixel(x + 1, y) != first || image.pixel(x, y + 1) != first || image.pixel(x + 1, y + 1) != first)
                ++count;
        }
    return count;
}

class ScreenRatioTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QString ws = dir_.path() + QLatin1Char('/');
        QImage background(2000, 1200, QImage::Format_RGB32);
        background.fill(QColor(214, 214, 206));
        ASSERT_TRUE(background.save(ws + "defmap.bmp", "BMP"));
        ASSERT_TRUE(QDir().mkpath(ws + "Floresta"));
        state_ = std::make_unique<test::TestAdventure>(ws, "Floresta");
        QStringList settings(60, "0");
        settings[58] = "320";
        settings[59] = "200";
        state_->setSettings(settings);
        state_->document.resetMap();
        host_ = std::make_unique<QWidget>();
        host_->resize(1297, 722);
        window_ = new MapWindow(host_.get(), state_->document, state_->connection, state_->settings, state_->drag);
        window_->setGeometry(0, 0, 1297, 722);
        host_->show();
        window_->show();
        window_->opened();
    }

    template <class T = QWidget>
    T* child(const QString& name) {
        T* found = window_->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    void click(const QString& name) { QTest::mouseClick(child<PictureBox>(name), Qt::LeftButton); }
    // A tile painted into the cell at `at` and named, as the author does it.
    void paintNamed(int tile, QPoint at, const QString& name) {
        click(QStringLiteral("Map%1").arg(tile));
        QTest::mouseClick(child<Shape>("Shp1"), Qt::LeftButton);
        QTest::mousePress(window_->mapView(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(window_->mapView(), Qt::LeftButton, {}, at);
        QLineEdit* box = child<QLineEdit>("edNomPos");
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        box->insert(name);  // typed as a keyboard with those letters would
        QTest::keyClick(box, Qt::Key_Return);
    }
    // A few named rooms, one name covered in part by the next cell's tile,
    // and the map picture "Gravar img" writes.
    QByteArray writeMapPicture() {
        paintNamed(3, {150, 90}, QStringLiteral("Clareira"));
        paintNamed(7, {250, 90}, QStringLiteral("Caverna do Rio Escuro"));
        paintNamed(12, {350, 90}, QStringLiteral("Ponte"));
        paintNamed(1, {550, 330}, QStringLiteral("Torre àé"));
        click(QStringLiteral("btImgSav"));
        QFile file(state_->adventure.folder() + QStringLiteral("Floresta-mapa.png"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
    std::unique_ptr<test::TestAdventure> state_;
    std::unique_ptr<QWidget> host_;
    MapWindow* window_ = nullptr;
};

// Run by the test below in a child process on a screen of ratio 1.
TEST_F(ScreenRatioTest, WritesTheMapPictureForTheComparison) {
    const QByteArray output = qgetenv(kOutputVariable);
    if (output.isEmpty())
        GTEST_SKIP() << "only as the child of MapPictureIsTheSameFileOnEveryScreen";
    QFile file(QString::fromLocal8Bit(output));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(writeMapPicture());
}

TEST_F(ScreenRatioTest, MapPictureIsTheSameFileOnEveryScreen) {
    if (!qEnvironmentVariableIsEmpty(kOutputVariable))
        GTEST_SKIP();
    ASSERT_EQ(window_->devicePixelRatioF(), 2.0) << "run with QT_SCALE_FACTOR=2";
    const QByteArray here = writeMapPicture();
    ASSERT_FALSE(here.isEmpty());

    const QString atOne = dir_.path() + QStringLiteral("/at-one.png");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("1"));
    environment.insert(QString::fromLatin1(kOutputVariable), atOne);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=ScreenRatioTest.WritesTheMapPictureForTheComparison")});
    ASSERT_TRUE(child.waitForFinished(120000));
    ASSERT_EQ(child.exitCode(), 0);
    QFile file(atOne);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray there = file.readAll();
    ASSERT_FALSE(there.isEmpty());
    EXPECT_TRUE(here == there) << "the map picture differs between ratio 2 and ratio 1";
}

TEST_F(ScreenRatioTest, CaptionsAreDrawnWithTheScreensPixels) {
    if (!qEnvironmentVariableIsEmpty(kOutputVariable))
        GTEST_SKIP();
    PictureBox* button = new PictureBox(host_.get(), QStringLiteral("btTeste"), QRect(10, 10, 90, 24));
    button->setHint(QStringLiteral("Gravar mapa"));
    for (bool pressed : {false, true}) {
        if (pressed)
            DrawButtonDown(button, Qt::black);
        else
            DrawButtonUp(button, Qt::black);
        const QImage& picture = button->picture();
        EXPECT_EQ(picture.devicePixelRatio(), 2.0);
        EXPECT_EQ(picture.size(), QSize(180, 48));
        EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(90, 24));
        // The bevel is single-pixel lines, doubled; the letters are drawn
        // anew with four pixels for each of one.
        EXPECT_EQ(blocksWithDetail(picture, QRect(0, 0, 180, 6)), 0);
        EXPECT_GT(blocksWithDetail(picture, QRect(6, 6, 168, 36)), 40) << "pressed " << pressed;
        // Brought down to one pixel a point it is the caption drawn at 1,
        // the letters where they are there.
        const QImage atOne = ButtonArt::captionPicture(pressed ? ButtonArt::Look::BigDown : ButtonArt::Look::BigUp,
                                                       button->hint(), Qt::black, pressed, 1.0)
                                 .convertToFormat(QImage::Format_RGB32);
        const QImage down = picture.scaled(90, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                .convertToFormat(QImage::Format_RGB32);
        int far = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 90; ++x)
                far += std::abs(qGray(down.pixel(x, y)) - qGray(atOne.pixel(x, y))) > 96;
        EXPECT_LT(far, 40) << "pressed " << pressed;
    }
    // Shown at its place in points, the same size as at ratio 1.
    EXPECT_EQ(button->size(), QSize(90, 24));
}

TEST_F(ScreenRatioTest, TheMapShowsNamesWithTheScreensPixelsAndTilesAsTheyAre) {
    if (!qEnvironmentVariableIsEmpty(kOutputVariable))
        GTEST_SKIP();
    paintNamed(3, {150, 90}, QStringLiteral("Clareira"));
    const MapModel& map = state_->document.map();
    const int cell = MapModel::cellAt(150, 90);
    const QRect box = map.nameArea(cell, QStringLiteral("Clareira"));
    const QImage shown = window_->mapView()->grab(QRect(0, 0, 400, 200)).toImage();
    ASSERT_EQ(shown.devicePixelRatio(), 2.0);
    const QRect boxOnScreen(box.topLeft() * 2, box.size() * 2);
    EXPECT_GT(blocksWithDetail(shown, boxOnScreen), 20);
    // The tile below the name is the 1x picture doubled, pixel for pixel.
    const QRect tileOnScreen(MapModel::column(cell) * 200, MapModel::row(cell) * 120 + 90, 200, 30);
    EXPECT_EQ(blocksWithDetail(shown, tileOnScreen), 0);
    // Scaled back to one pixel a point, the letters stand where the map
    // image has them: the white box, the same size, the same place.
    const QImage image = map.image().copy(box);
    EXPECT_EQ(shown.copy(boxOnScreen).pixel(0, 0), image.pixel(0, 0));
    EXPECT_EQ(shown.copy(boxOnScreen).pixel(boxOnScreen.width() - 1, boxOnScreen.height() - 1),
              image.pixel(box.width() - 1, box.height() - 1));
}

}  // namespace
