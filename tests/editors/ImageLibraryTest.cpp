// The image library as an author meets it: the adventure's pictures on one
// sheet of thumbnails, a click choosing one for the movable preview panel,
// damaged files that cost only their own cell, and a window that goes on
// answering while the thumbnails come in.
#include "widgets/PictureBox.h"
#include "support/TestAdventure.h"
#include "app/TForm1.h"
#include "editors/ImageLibrary.h"
#include "editors/ImageLibraryWindow.h"
#include "imaging/ImageFiles.h"
#include "core/OrvalisError.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace orv;
using orv::test::TestWorkspace;

namespace {

const QColor kGrey(198, 198, 198);

QImage filled(int w, int h, const QColor& colour) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

QColor at(const QImage& sheet, int x, int y) {
    return sheet.pixelColor(x, y);
}

// An adventure folder in a temporary workspace and the library window over
// it, sized as the main window sizes it.
struct Library {
    TestWorkspace ws;
    test::TestAdventure state;
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
    ImageLibraryWindow* window = nullptr;

    explicit Library(int width = 1290, const QString& adventure = "Vale") : state(ws.folder(), adventure) {
        host->resize(width, 722);
        window = new ImageLibraryWindow(host.get(), state.adventure, state.connection, state.drag);
        window->setGeometry(0, 0, width, 722);
        host->show();
        window->show();
    }
    void save(const QString& name, const QImage& picture) const {
        const QString format = QFileInfo(name).suffix().toUpper();
        ASSERT_TRUE(picture.save(state.adventure.folder() + name, format.toLatin1().constData())) << name.toStdString();
    }
    // Opens the view and lets the sheet come in completely.
    void open() {
        start();
        finish();
    }
    // Opens the view; the sheet goes on building in the background.
    void start() {
        test::reportedErrors().clear();
        try {
            window->opened();
        } catch (const std::exception& e) {
            test::reportedErrors() << QString::fromUtf8(e.what());
        }
    }
    void finish() const {
        QElapsedTimer clock;
        clock.start();
        while (window->library().isBuilding() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(window->library().isBuilding()) << "the sheet did not complete";
    }
    // A press as the author makes it, going through the error report.
    void clickSheet(QPoint p, Qt::MouseButton button = Qt::LeftButton) {
        test::reportedErrors().clear();
        QTest::mousePress(window->sheetView(), button, {}, p);
        QTest::mouseRelease(window->sheetView(), button, {}, p);
    }
    QPoint cellCentre(int index) const {
        const int columns = window->library().columns();
        return {(index % columns) * 120 + 60, (index / columns) * 80 + 40};
    }
    QImage sheet() const { return window->library().sheet(); }
    QFrame* panel() const { return window->previewPanel(); }
    QWidget* child(const char* name) const { return window->findChild<QWidget*>(QString::fromLatin1(name)); }
};

}  // namespace

TEST(ImageLibrary, ColumnsSheetSizeAndThumbnailPlaces) {
    EXPECT_EQ(ImageLibrary::columnCountFor(1290), 10);
    EXPECT_EQ(ImageLibrary::columnCountFor(1297), 10);
    EXPECT_EQ(ImageLibrary::columnCountFor(129), 1);  // too narrow for one cell: still one column
    EXPECT_EQ(ImageLibrary::sheetSize(20, 10), QSize(1200, 240));  // the last row stays empty
    EXPECT_EQ(ImageLibrary::sheetSize(0, 10), QSize(1200, 80));
    EXPECT_EQ(ImageLibrary::sheetSize(9, 10), QSize(1200, 80));

    // Image 12 in ten columns: cell (2, 1), box corner at (250, 90).
    EXPECT_EQ(ImageLibrary::thumbnailRect({50, 30}, 12, 10), QRect(275, 105, 50, 30));
    EXPECT_EQ(ImageLibrary::thumbnailRect({100, 60}, 12, 10), QRect(250, 90, 100, 60));
    EXPECT_EQ(ImageLibrary::thumbnailRect({640, 480}, 12, 10), QRect(250, 90, 100, 60));
    EXPECT_EQ(ImageLibrary::thumbnailRect({200, 40}, 12, 10), QRect(250, 100, 100, 40));
    EXPECT_EQ(ImageLibrary::thumbnailRect({31, 200}, 12, 10), QRect(284, 90, 31, 60));
}

TEST(ImageLibraryWindow, ListsJpegsFirstAndDrawsEveryPictureInItsBox) {
    Library lib;
    lib.save("a.png", filled(50, 30, Qt::red));
    lib.save("b.bmp", filled(640, 480, Qt::blue));
    lib.save("c.jpg", filled(200, 40, Qt::green));
    lib.save("z.jpg", filled(30, 100, Qt::green));
    saveImage(lib.state.adventure.folder(), "m", filled(20, 20, Qt::yellow), "gif");
    lib.save(".escondida.png", filled(10, 10, Qt::red));
    QDir().mkpath(lib.state.adventure.folder() + "pasta.png");
    lib.ws.write("Vale/fundo.png.txt", "not a picture");
    lib.open();

    EXPECT_TRUE(test::reportedErrors().isEmpty());
    EXPECT_EQ(lib.window->library().images(), QStringList({"c.jpg", "z.jpg", "b.bmp", "m.gif", "a.png"}));
    const QImage& sheet = lib.sheet();
    ASSERT_EQ(sheet.size(), QSize(1200, 80));
    // c.jpg, 200 x 40: full box width, centred vertically.
    EXPECT_EQ(at(sheet, 10, 19), kGrey);
    EXPECT_GT(at(sheet, 12, 22).green(), 200);
    EXPECT_GT(at(sheet, 107, 57).green(), 200);
    EXPECT_EQ(at(sheet, 110, 40), kGrey);
    // z.jpg, 30 x 100: squeezed to 30 x 60, centred across.
    EXPECT_EQ(at(sheet, 120 + 10 + 34, 40), kGrey);
    EXPECT_GT(at(sheet, 120 + 10 + 36, 12).green(), 200);
    // b.bmp, 640 x 480: the whole box.
    EXPECT_EQ(at(sheet, 250, 10), QColor(Qt::blue));
    EXPECT_EQ(at(sheet, 349, 69), QColor(Qt::blue));
    EXPECT_EQ(at(sheet, 350, 69), kGrey);
    // m.gif, 20 x 20 unscaled at its centre.
    EXPECT_EQ(at(sheet, 370 + 40, 10 + 20), QColor(Qt::yellow));
    EXPECT_EQ(at(sheet, 370 + 39, 10 + 20), kGrey);
    // a.png, 50 x 30 unscaled, centred: x 515..564, y 25..54.
    EXPECT_EQ(at(sheet, 515, 25), QColor(Qt::red));
    EXPECT_EQ(at(sheet, 564, 54), QColor(Qt::red));
    EXPECT_EQ(at(sheet, 514, 25), kGrey);
    EXPECT_EQ(at(sheet, 515, 55), kGrey);
}

TEST(ImageLibraryWindow, ElevenPicturesWrapIntoASecondRowAndTheSheetIsRebuiltAtEachOpening) {
    Library lib(1290);
    for (int i = 0; i < 11; ++i)
        lib.save(QString("p%1.bmp").arg(i, 2, 10, QChar('0')), filled(100, 60, QColor(i * 20, 0, 0)));
    lib.open();
    EXPECT_EQ(lib.window->library().columns(), 10);
    EXPECT_EQ(lib.sheet().size(), QSize(1200, 160));
    EXPECT_EQ(lib.window->sheetView()->size(), QSize(1200, 160));
    EXPECT_EQ(at(lib.sheet(), 10, 90), QColor(200, 0, 0));  // p10 starts the second row
    EXPECT_EQ(at(lib.sheet(), 130, 90), kGrey);

    for (int i = 11; i < 20; ++i)
        lib.save(QString("p%1.bmp").arg(i), filled(10, 10, Qt::black));
    lib.open();
    EXPECT_EQ(lib.sheet().size(), QSize(1200, 240));  // twenty pictures: a third, empty row

    // Without an open adventure there is no sheet to build.
    Library none(1290, QString());
    none.open();
    EXPECT_TRUE(none.window->library().images().isEmpty());
    EXPECT_TRUE(test::reportedErrors().isEmpty());

    Library empty;
    empty.open();
    EXPECT_EQ(empty.sheet().size(), QSize(1200, 80));
    EXPECT_TRUE(empty.window->library().images().isEmpty());
}

TEST(ImageLibraryWindow, AClickChoosesThePictureForThePreviewPanel) {
    Library lib;
    lib.save("pequena.bmp", filled(100, 60, Qt::red));
    lib.save("grande.png", filled(300, 200, Qt::blue));
    lib.open();
    EXPECT_FALSE(lib.panel()->isVisible());
    EXPECT_TRUE(lib.window->currentImage().isEmpty());

    lib.clickSheet(lib.cellCentre(0));
    EXPECT_EQ(lib.window->currentImage(), "pequena.bmp");
    ASSERT_TRUE(lib.panel()->isVisible());
    EXPECT_EQ(lib.panel()->size(), QSize(135, 115));
    EXPECT_EQ(lib.window->previewPicture()->geometry(), QRect(0, 22, 100, 60));
    EXPECT_EQ(lib.window->previewPicture()->picture().pixelColor(50, 30), QColor(Qt::red));
    EXPECT_EQ(lib.child("imUpl")->pos(), QPoint(5, 85));
    EXPECT_EQ(lib.child("imDwn")->pos(), QPoint(70, 85));
    EXPECT_EQ(lib.child("Image2")->geometry(), QRect(0, 0, 135, 20));

    // Any mouse button chooses.
    lib.clickSheet(lib.cellCentre(1), Qt::RightButton);
    EXPECT_EQ(lib.window->currentImage(), "grande.png");
    EXPECT_EQ(lib.panel()->size(), QSize(300, 255));
    EXPECT_EQ(lib.child("Image2")->width(), 300);

    // Past the last picture there is nothing to choose: all stays.
    lib.clickSheet(lib.cellCentre(2));
    lib.clickSheet({60, 120});
    EXPECT_EQ(lib.window->currentImage(), "grande.png");
    EXPECT_TRUE(test::reportedErrors().isEmpty());

    // The transfer buttons wait for a ready connection; reopening keeps the
    // preview and the chosen picture.
    EXPECT_FALSE(lib.child("imUpl")->isVisibleTo(lib.panel()));
    lib.state.setReady(true);
    lib.open();
    EXPECT_TRUE(lib.child("imUpl")->isVisibleTo(lib.panel()));
    EXPECT_TRUE(lib.child("imDwn")->isVisibleTo(lib.panel()));
    EXPECT_TRUE(lib.panel()->isVisible());
    EXPECT_EQ(lib.window->currentImage(), "grande.png");
}

TEST(ImageLibraryWindow, PreviewPanelFollowsItsDragBarAndWidensTheScrollRange) {
    Library lib;
    lib.save("sala.bmp", filled(100, 60, Qt::red));
    lib.open();
    lib.clickSheet(lib.cellCentre(0));
    QWidget* bar = lib.child("Image2");
    const QPoint start = lib.panel()->pos();

    QTest::mousePress(bar, Qt::LeftButton, {}, {10, 5});
    QMouseEvent move(QEvent::MouseMove, QPointF(1010, 705), bar->mapToGlobal(QPointF(1010, 705)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, {10, 5});
    EXPECT_EQ(lib.panel()->pos(), start + QPoint(1000, 700));
    // The sheet area now reaches the panel, so it can be scrolled to.
    const QRect panel = lib.panel()->geometry();
    EXPECT_GE(lib.window->sheetView()->width(), panel.right() + 1);
    EXPECT_GE(lib.window->sheetView()->height(), panel.bottom() + 1);

    // After the release, moving over the bar does not drag.
    QApplication::sendEvent(bar, &move);
    EXPECT_EQ(lib.panel()->pos(), start + QPoint(1000, 700));
}

TEST(ImageLibraryWindow, ADamagedFileCostsOnlyItsOwnCell) {
    Library lib;
    lib.save("a.bmp", filled(100, 60, Qt::red));
    // A JPEG that cannot be decoded, a PNG that cannot be read, and a PNG
    // with transparent parts after a picture of its size.
    QFile(lib.state.adventure.folder() + "b.jpg").open(QIODevice::WriteOnly);
    {
        QFile f(lib.state.adventure.folder() + "c.png");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG\r\n\x1a\n this is not a picture");
    }
    QImage clear(100, 60, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    lib.save("d.png", clear);
    lib.open();

    EXPECT_EQ(lib.window->library().images(), QStringList({"b.jpg", "a.bmp", "c.png", "d.png"}));
    // The PNG is reported once the sheet is complete; the JPEG is not.
    ASSERT_EQ(test::reportedErrors().size(), 1);
    EXPECT_TRUE(test::reportedErrors()[0].startsWith("c.png: ")) << test::reportedErrors()[0].toStdString();
    EXPECT_FALSE(test::reportedErrors()[0].contains("b.jpg"));
    const QImage& sheet = lib.sheet();
    // Both damaged cells get the mark, not a copy of a neighbour.
    EXPECT_NE(at(sheet, 10, 10), kGrey);
    EXPECT_NE(at(sheet, 60, 40), QColor(Qt::red));
    EXPECT_NE(at(sheet, 250, 10), kGrey);
    EXPECT_NE(at(sheet, 300, 40), QColor(Qt::red));
    EXPECT_EQ(at(sheet, 180, 40), QColor(Qt::red));  // a.bmp
    // The transparent PNG does not show a.bmp through.
    EXPECT_NE(at(sheet, 420, 40), QColor(Qt::red));

    // Choosing a damaged file makes it the current image with an empty
    // preview, so nothing else is shown for it; a PNG error is reported.
    lib.clickSheet(lib.cellCentre(1));
    lib.clickSheet(lib.cellCentre(2));
    EXPECT_EQ(lib.window->currentImage(), "c.png");
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_TRUE(lib.window->previewPicture()->picture().isNull());
    EXPECT_EQ(lib.panel()->size(), QSize(135, 55));
    lib.clickSheet(lib.cellCentre(0));
    EXPECT_EQ(lib.window->currentImage(), "b.jpg");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
    EXPECT_TRUE(lib.window->previewPicture()->picture().isNull());
}

TEST(ImageLibraryWindow, ImagensOpensTheFullWidthViewOnTheOpenAdventure) {
    TestWorkspace ws;
    ws.addAdventure("Vale");
    ASSERT_TRUE(filled(100, 60, Qt::red).save(ws.path("Vale/sala.bmp"), "BMP"));
    test::reportedErrors().clear();
    TForm1 form(ws.programFile());
    form.resize(1297, 802);
    form.show();
    auto* janImg = form.findChild<ImageLibraryWindow*>("JanImg");
    ASSERT_NE(janImg, nullptr);
    EXPECT_EQ(janImg->y(), 80);
    EXPECT_FALSE(form.findChild<PictureBox*>("imUpl")->picture().isNull());  // painted at start-up

    form.btImgClick();  // nothing open yet: an empty view
    EXPECT_TRUE(janImg->isVisible());
    EXPECT_TRUE(janImg->library().images().isEmpty());

    form.OpenAdventure("Vale");
    form.btImgClick();
    EXPECT_EQ(janImg->geometry(), QRect(0, 80, 1297, 722));
    EXPECT_EQ(janImg->library().images(), QStringList({"sala.bmp"}));
    EXPECT_EQ(janImg->library().columns(), 10);
    EXPECT_FALSE(form.findChild<QWidget*>("imUpl")->isVisibleTo(janImg));
    form.btMapClick();
    EXPECT_FALSE(janImg->isVisible());
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

namespace {

// Something like a photograph: soft light, texture, a few hard edges.
QImage photo(int w, int h, int seed) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int texture = ((x * 7 + y * 13 + seed) * 2654435761u >> 27) & 15;
            line[x] = qRgb((60 + 150 * x / w + texture) & 255, (40 + 170 * y / h + seed * 30) & 255,
                           (200 - 120 * (x + y) / (w + h) + texture) & 255);
        }
    }
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor::fromHsv((seed * 47) % 360, 200, 230));
    painter.drawEllipse(QRectF(w * 0.2, h * 0.3, w * 0.35, h * 0.4));
    painter.fillRect(QRectF(w * 0.6, h * 0.1, w * 0.1, h * 0.8), QColor(20, 20, 20));
    return picture;
}

// The sheet as drawn with every picture read in full, one after another.
QImage sheetReadInFull(const QString& folder, const ImageLibrary& library) {
    QImage sheet(library.sheet().size(), QImage::Format_RGB32);
    sheet.fill(kGrey);
    QPainter painter(&sheet);
    for (int i = 0; i < library.images().size(); ++i) {
        QImage picture;
        loadImage(folder, library.images()[i], picture);
        const QRect place = ImageLibrary::thumbnailRect(picture.size(), i, library.columns());
        painter.drawImage(place.topLeft(), picture.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return sheet;
}

struct CellDifference {
    double mean = 0;
    double farOff = 0;  // share of samples off by more than 32
};

CellDifference difference(const QImage& a, const QImage& b, const QRect& cell) {
    long long sum = 0, far = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int shift : {0, 8, 16}) {
                const int e = std::abs(int((p >> shift) & 255) - int((q >> shift) & 255));
                sum += e;
                far += e > 32;
            }
        }
    const double samples = 3.0 * cell.width() * cell.height();
    return {double(sum) / samples, double(far) / samples};
}

}  // namespace

// JPEGs are read at a reduced scale for their thumbnails and all pictures
// several at a time, yet the sheet is the one drawn from pictures read in
// full: the same pixels for PNG, BMP and GIF, and for JPEGs that need their
// full scale. A JPEG read at 1/8 to 7/8 differs only as far as decoding
// smaller must: the decoder averages 8 x 8 blocks where scaling averages
// pixels, so colours move a little and, when the reduced picture is barely
// larger than its box, a hard edge may land one pixel over. Hence the
// tolerance for those cells only: a mean difference below 1.5 of 255 and
// under 2% of samples far off.
TEST(ImageLibrary, ThumbnailsMatchPicturesReadInFull) {
    Library lib;
    const QString folder = lib.state.adventure.folder();
    const QSize jpegSizes[] = {{1600, 1200}, {640, 480}, {1200, 1600}, {200, 40}, {30, 100},
                               {101, 61},    {100, 60},  {50, 30},     {801, 479}, {4000, 100}};
    const QStringList readSmaller = {"foto00.jpg", "foto01.jpg", "foto02.jpg", "foto08.jpg", "foto09.jpg",
                                     "dupla.jpg.bmp"};
    for (int n = 0; n < int(std::size(jpegSizes)); ++n)
        saveImage(folder, QString("foto%1").arg(n, 2, 10, QChar('0')),
                  photo(jpegSizes[n].width(), jpegSizes[n].height(), n), "jpg");
    // A JPEG under a name that also says BMP: the BMP reading fails, the
    // JPEG stays, and its thumbnail is placed by its size in the file.
    saveImage(folder, "dupla", photo(1600, 1200, 11), "jpg");
    ASSERT_TRUE(QFile::rename(folder + "dupla.jpg", folder + "dupla.jpg.bmp"));
    lib.save("b.bmp", photo(640, 400, 3));
    saveImage(folder, "c", photo(320, 200, 4), "gif");
    lib.save("d.png", photo(300, 50, 5));
    lib.save("e.png", photo(60, 30, 6));
    lib.open();
    ASSERT_TRUE(test::reportedErrors().isEmpty());
    const ImageLibrary& library = lib.window->library();
    ASSERT_EQ(library.images().size(), 15);
    const QImage reference = sheetReadInFull(folder, library);
    const QImage sheet = library.sheet();

    for (int i = 0; i < library.images().size(); ++i) {
        const QString name = library.images()[i];
        SCOPED_TRACE(name.toStdString());
        const QRect cell((i % library.columns()) * 120, (i / library.columns()) * 80, 120, 80);
        if (!readSmaller.contains(name)) {
            EXPECT_EQ(sheet.copy(cell), reference.copy(cell));
            continue;
        }
        const CellDifference d = difference(sheet, reference, cell);
        EXPECT_LT(d.mean, 1.5);
        EXPECT_LT(d.farOff, 0.02);
    }
}

namespace {

// The sheet as it was drawn in one piece: a grey picture of the whole sheet,
// every thumbnail drawn into it in list order, a cross for each picture that
// cannot be read.
QImage sheetDrawnInOnePiece(const QString& folder, const QStringList& names, int columns) {
    QImage sheet(ImageLibrary::sheetSize(int(names.size()), columns), QImage::Format_RGB32);
    sheet.fill(kGrey);
    QPainter painter(&sheet);
    for (int i = 0; i < names.size(); ++i) {
        QImage picture;
        try {
            picture = loadImageForBox(folder, names[i], QSize(100, 60));
        } catch (const OrvalisError&) {
        }
        if (picture.isNull()) {
            const QRect box((i % columns) * 120 + 10, (i / columns) * 80 + 10, 100, 60);
            painter.setPen(QPen(QColor(128, 0, 0), 1));
            painter.drawRect(box.adjusted(0, 0, -1, -1));
            painter.drawLine(box.topLeft(), box.bottomRight());
            painter.drawLine(box.bottomLeft(), box.topRight());
            continue;
        }
        const QRect place = ImageLibrary::thumbnailRect(picture.size(), i, columns);
        painter.drawImage(place.topLeft(), picture.size() == place.size()
                                               ? picture
                                               : picture.scaled(place.size(), Qt::IgnoreAspectRatio,
                                                                Qt::SmoothTransformation));
    }
    return sheet;
}

QImage asRgb32(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

// An adventure of `count` copies of one large PNG, slow enough to read that
// the sheet takes a good part of a second to come in.
void fillWithCopies(Library& lib, int count) {
    const QString folder = lib.state.adventure.folder();
    lib.save("modelo.png", photo(800, 600, 7));
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(QFile::copy(folder + "modelo.png", folder + QString("foto%1.png").arg(i, 4, 10, QChar('0'))));
    ASSERT_TRUE(QFile::remove(folder + "modelo.png"));
}

// Processes events until `done` holds or the time runs out.
template <typename Condition>
bool waitFor(Condition done, int ms = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

}  // namespace

// The sheet painted row by row from its thumbnails, in view or scrolled to,
// is the sheet drawn in one piece, pixel for pixel: every kind of picture in
// its place and in list order, transparent and damaged files included.
TEST(ImageLibraryWindow, SheetPaintedFromThumbnailsEqualsTheSheetDrawnInOnePiece) {
    Library lib;
    const QString folder = lib.state.adventure.folder();
    saveImage(folder, "s0", photo(1600, 1200, 1), "jpg");
    saveImage(folder, "s1", photo(120, 50, 2), "jpg");
    lib.save("s2.bmp", photo(640, 400, 3));
    lib.save("s3.bmp", photo(40, 90, 4));
    saveImage(folder, "s4", photo(320, 200, 5), "gif");
    lib.save("s5.png", photo(60, 30, 6));
    QImage clear(150, 40, QImage::Format_ARGB32);
    clear.fill(QColor(255, 0, 0, 90));
    lib.save("s6.png", clear);
    {
        QFile damaged(folder + "s7.png");
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write("\x89PNG\r\n\x1a\n not a picture");
    }
    QFile(folder + "s8.jpg").open(QIODevice::WriteOnly);
    // 150 pictures over 16 rows: more than the view shows at once.
    const QStringList sources = {"s0.jpg", "s1.jpg", "s2.bmp", "s3.bmp", "s4.gif", "s5.png", "s6.png", "s7.png", "s8.jpg"};
    for (int i = 0; i < 150; ++i) {
        const QString source = sources[(i * 7) % sources.size()];
        const QString name = QString("c%1%2").arg(i, 3, 10, QChar('0')).arg(source.mid(2));
        ASSERT_TRUE(QFile::copy(folder + source, folder + name));
    }
    for (const QString& source : sources)
        ASSERT_TRUE(QFile::remove(folder + source));
    lib.open();
    const ImageLibrary& library = lib.window->library();
    ASSERT_EQ(library.images().size(), 150);
    ASSERT_EQ(library.columns(), 10);
    EXPECT_EQ(test::reportedErrors().size(), 1);  // the damaged PNGs, in one report

    const QImage reference = sheetDrawnInOnePiece(folder, library.images(), library.columns());
    ASSERT_EQ(reference.size(), QSize(1200, 1280));
    ThumbnailSheetView* view = lib.window->sheetView();
    ASSERT_EQ(view->size(), reference.size());
    EXPECT_EQ(asRgb32(view->grab()), reference);
    EXPECT_EQ(library.sheet(), reference);

    // Scrolled to the end, what is in view is the end of the same sheet.
    QScrollBar* bar = lib.window->scrollBox()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();
    QWidget* viewport = lib.window->scrollBox()->viewport();
    const QRect shown(0, bar->value(), 1200, viewport->height());
    EXPECT_EQ(asRgb32(viewport->grab(QRect(0, 0, 1200, viewport->height()))), reference.copy(shown));
}

// While the thumbnails come in, the program answers: timers fire, the count
// shows in MsgImg, and a thumbnail already in can be chosen; once the sheet
// is complete the count goes away.
TEST(ImageLibraryWindow, TheWindowAnswersWhileTheSheetComesIn) {
    Library lib;
    fillWithCopies(lib, 300);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    int ticksWhenComplete = -1;
    QObject::connect(&lib.window->library(), &ImageLibrary::finished, [&] { ticksWhenComplete = ticks; });
    QStringList counts;
    QObject::connect(&lib.window->library(), &ImageLibrary::thumbnailsArrived, [&] {
        if (lib.window->statusLabel()->isVisible())
            counts << lib.window->statusLabel()->text();
    });

    QElapsedTimer clock;
    clock.start();
    lib.start();
    // opened() itself returns at once, the sheet sized and counted.
    EXPECT_LT(clock.elapsed(), 1000);
    const ImageLibrary& library = lib.window->library();
    EXPECT_TRUE(library.isBuilding());
    EXPECT_EQ(lib.window->sheetView()->size(), QSize(1200, 31 * 80));
    ASSERT_TRUE(lib.window->statusLabel()->isVisible());
    EXPECT_EQ(lib.window->statusLabel()->text(), "0 de 300");
    EXPECT_EQ(lib.window->statusLabel()->objectName(), "MsgImg");

    ASSERT_TRUE(waitFor([&] { return library.arrivedCount() >= 1; }));
    ASSERT_TRUE(library.isBuilding()) << "the sheet came in too fast to be seen coming in";
    lib.clickSheet(lib.cellCentre(0));
    EXPECT_EQ(lib.window->currentImage(), "foto0000.png");
    EXPECT_TRUE(lib.panel()->isVisible());
    EXPECT_EQ(lib.panel()->size(), QSize(800, 655));
    EXPECT_TRUE(library.isBuilding()) << "the click was answered only once the sheet was complete";

    lib.finish();
    EXPECT_GT(ticksWhenComplete, 3);
    ASSERT_FALSE(counts.isEmpty());
    const QRegularExpression count("^(\\d+) de 300$");
    for (const QString& text : counts)
        EXPECT_TRUE(count.match(text).hasMatch()) << text.toStdString();
    EXPECT_LT(count.match(counts.first()).captured(1).toInt(), 300);
    EXPECT_FALSE(lib.window->statusLabel()->isVisible());
    EXPECT_EQ(library.arrivedCount(), 300);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
    // The thumbnail chosen early is on the sheet as any other.
    EXPECT_EQ(lib.sheet().copy(10, 10, 100, 60), lib.sheet().copy(130, 10, 100, 60));
}

// Closing the view while the sheet comes in stops reading the rest and gives
// the thumbnails back; nothing more arrives, and the next opening builds the
// whole sheet again. A window deleted mid-build gets nothing delivered.
TEST(ImageLibraryWindow, ClosingTheViewMidBuildStopsReading) {
    Library lib;
    fillWithCopies(lib, 300);
    const ImageLibrary& library = lib.window->library();
    lib.start();
    ASSERT_TRUE(waitFor([&] { return library.arrivedCount() >= 2; }));
    ASSERT_TRUE(library.isBuilding());
    QSignalSpy arrived(&library, &ImageLibrary::thumbnailsArrived);
    QSignalSpy finished(&library, &ImageLibrary::finished);

    lib.window->hide();
    EXPECT_FALSE(library.isBuilding());
    EXPECT_FALSE(lib.window->statusLabel()->isVisibleTo(lib.window));
    library.waitForReaders();
    QTest::qWait(100);
    EXPECT_LT(library.picturesRead(), 300);
    EXPECT_EQ(arrived.size(), 0);
    EXPECT_EQ(finished.size(), 0);
    // Nothing of the thumbnails is kept: the sheet is plain grey.
    QImage grey(library.size(), QImage::Format_RGB32);
    grey.fill(kGrey);
    EXPECT_EQ(library.sheet(), grey);

    lib.window->show();
    lib.open();
    EXPECT_EQ(library.arrivedCount(), 300);
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(library.picturesRead(), 300);

    // The program's window hidden as a whole (minimised) is not the view
    // closed.
    lib.start();
    ASSERT_TRUE(waitFor([&] { return library.arrivedCount() >= 1; }));
    lib.host->hide();
    EXPECT_TRUE(library.isBuilding());
    lib.host->show();
    lib.finish();
    EXPECT_EQ(library.arrivedCount(), 300);

    // Deleted mid-build: the pictures in hand are dropped with it.
    lib.start();
    ASSERT_TRUE(waitFor([&] { return library.arrivedCount() >= 1; }));
    delete lib.window;
    lib.window = nullptr;
    QTest::qWait(300);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}
