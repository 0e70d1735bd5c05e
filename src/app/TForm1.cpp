#include "app/TForm1.h"

#include "shell/AdventureWindow.h"
#include "core/AdventureWorkspace.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "app/OrvalisApplication.h"
#include "shell/SettingsWindow.h"
#include "widgets/Shape.h"
#include "widgets/ToolWindow.h"
#include "editors/ImageLibraryWindow.h"
#include "editors/ObjectWindow.h"
#include "editors/PanelWindow.h"
#include "editors/RegistersWindow.h"
#include "editors/ScriptWindow.h"
#include "editors/SoundWindow.h"
#include "map/MapWindow.h"
#include "net/ConnectionWindow.h"
#include "net/ServerClient.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QThread>

namespace orv {

namespace {
constexpr int kDesignWidth = 1297;
constexpr int kDesignHeight = 802;
const QColor kLime(0, 255, 0);
const QColor kMaroon(128, 0, 0);

struct BarButton {
    const char* name;
    const char* hint;
    void (TForm1::*click)();
};
}  // namespace

TForm1::TForm1(const QString& programFile, QWidget* parent, const QString& serverBase)
    : QWidget(parent, Qt::FramelessWindowHint),
      // Start-up step 1: the program's own folder is the workspace. The
      // adventure list reads the same folder, whatever the current directory was.
      adventure_(AdventureWorkspace::workspaceFolderOf(programFile)),
      map_(adventure_.workspaceFolder() + QStringLiteral("defmap.bmp")),
      client_(std::make_unique<ServerClient>(serverBase.isEmpty() ? ServerClient::defaultBaseAddress() : serverBase,
                                             [] { QCoreApplication::processEvents(); })),
      connection_(*client_) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvalis"));
    resize(kDesignWidth, kDesignHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(198, 198, 198));
    setPalette(pal);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    book_ = new QStackedWidget(this);
    book_->setObjectName(QStringLiteral("Abook"));
    book_->setGeometry(rect());
    page_ = new QWidget;
    page_->setObjectName(QStringLiteral("Default"));
    auto* junk = new QWidget;
    junk->setObjectName(QStringLiteral("Lixo"));
    // The stored pictures live on the page that is never shown, as on the
    // design; the buttons copy them.
    const struct { const char* name; ButtonArt::Look look; } stored[] = {
        {"bt0", ButtonArt::Look::BigUp},     {"bt1", ButtonArt::Look::BigDown},
        {"bot2a", ButtonArt::Look::SmallUp}, {"bot2b", ButtonArt::Look::SmallDown},
        {"bf0", ButtonArt::Look::IconUp},    {"bf1", ButtonArt::Look::IconDown},
        {"bf7", ButtonArt::Look::CogUp},     {"bf8", ButtonArt::Look::CogDown},
        {"Min0", ButtonArt::Look::MinUp},    {"Min1", ButtonArt::Look::MinDown},
    };
    int storedX = 0;
    for (const auto& s : stored) {
        const QImage& pic = ButtonArt::picture(s.look);
        new PictureBox(junk, QString::fromLatin1(s.name), QRect(QPoint(storedX, 0), pic.size()), pic);
        storedX += pic.width() + 5;
    }
    book_->addWidget(page_);
    book_->addWidget(junk);
    book_->setCurrentWidget(page_);

    frame_ = new QFrame(page_);
    frame_->setObjectName(QStringLiteral("Shape1"));
    frame_->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame_->setGeometry(0, 0, kDesignWidth, kDesignHeight);

    buildTitleArea(page_);
    buildBar(page_);
    connect(&connection_, &Connection::stateChanged, this, &TForm1::showConnectionState);
    // Step 4: every bar button carries its caption, hidden ones too.
    for (PictureBox* b : bar_)
        DrawButtonUp(b, Qt::black);
    placeRightAnchored();
    // The editor windows and the rest of the start-up follow in
    // completeStartUp(): before the form is first shown, or right after its
    // first paint when it is shown with showOnScreen().
}

TForm1::~TForm1() {
    reportErrors([this] { SaveAtExit(); });
}

void TForm1::buildTitleArea(QWidget* page) {
    makeLabel(page, QStringLiteral("lbVars"), QStringLiteral("Orvalis - "), {10, 5},
              LabelStyle{27, true, true, QColor(0, 0, 128)});
    lbNoAdv_ = makeLabel(page, QStringLiteral("lbNoAdv"), QStringLiteral("..."), {430, 5},
                         LabelStyle{27, true, true, QColor(0, 128, 128)});
    lbNoAdv_->resize(560, lbNoAdv_->height());
    label142_ = new QLabel(page);
    label142_->setObjectName(QStringLiteral("Label142"));
    label142_->setGeometry(5, 35, kDesignWidth - 10, 2);
    // A grey rule (#808080); a palette, not a style sheet, which would cost
    // a style of its own before the first paint.
    label142_->setAutoFillBackground(true);
    QPalette rule = label142_->palette();
    rule.setColor(QPalette::Window, QColor(128, 128, 128));
    label142_->setPalette(rule);
    image1_ = new PictureBox(page, QStringLiteral("Image1"), QRect(1000, 10, 225, 20),
                             ButtonArt::picture(ButtonArt::Look::Stripes));
    image1_->setStretch(true);
    led_ = new Shape(page, QStringLiteral("Led"), QRect(1165, 15, 20, 10), Shape::Kind::Rectangle, kMaroon);
    btOpc_ = makeIconButton(page, QStringLiteral("btOpc"), {1195, 9}, [this] { btOpcClick(); },
                            ButtonArt::Look::CogUp, ButtonArt::Look::CogDown);
    btMin_ = makeIconButton(page, QStringLiteral("btMin"), {1226, 9}, [this] { btMinMouseUp(); },
                            ButtonArt::Look::MinUp, ButtonArt::Look::MinDown);
    btFim_ = makeIconButton(page, QStringLiteral("btFim"), {1257, 9}, [this] { btFimMouseUp(); });
    auto* toggle = new PictureBox(page, QStringLiteral("Label32"), QRect(0, 0, 9, 32));
    toggle->onClick = [this] { Label32Click(); };
}

void TForm1::buildBar(QWidget* page) {
    static const BarButton kBar[] = {
        {"btAdv", "Adventures", &TForm1::btAdvClick}, {"btCnc", "Conectar", &TForm1::btCncClick},
        {"btMap", "Mapa", &TForm1::btMapClick},       {"btScp", "Scripts", &TForm1::btScpClick},
        {"btObj", "Objetos", &TForm1::btObjClick},    {"btReg", "Regs", &TForm1::btRegClick},
        {"btImg", "Imagens", &TForm1::btImgClick},    {"btSnd", "Sons", &TForm1::btSndClick},
        {"btPan", "Painel", &TForm1::btPanClick},
    };
    int k = 0;
    for (const BarButton& b : kBar) {
        auto click = b.click;
        PictureBox* button = makeBigButton(page, QString::fromLatin1(b.name), QString::fromUtf8(b.hint),
                                           {15 + 95 * k, 47}, [this, click] { (this->*click)(); });
        button->setVisible(k < 2);
        bar_.append(button);
        ++k;
    }
}

void TForm1::buildWindows(QWidget* page) {
    janMap_ = new MapWindow(page, adventure_, connection_, settings_, drag_, map_, [this] { LoadMap(); });
    janMap_->move(0, 80);
    janImg_ = new ImageLibraryWindow(page, adventure_, connection_, drag_);
    janImg_->move(0, 80);
    brMap_ = new PictureBox(page, QStringLiteral("brMap"), QRect(kDesignWidth - 267, 55, 222, 20),
                            ButtonArt::picture(ButtonArt::Look::Stripes));
    brMap_->setStretch(true);
    brMap_->hide();
    fmMap_ = makeIconButton(page, QStringLiteral("fmMap"), {kDesignWidth - 40, 54}, [this] { fmMapClick(); });
    fmMap_->hide();

    janAdv_ = new AdventureWindow(page, adventure_, drag_, [this](const QString& name) {
        OpenAdventure(name);
        showBarButtons();
    });
    janCnc_ = new ConnectionWindow(page, adventure_, connection_, drag_,
                                   {[this] { HideFullWidthViews(); },
                                    [this](const QString& name, const QString& title) {
                                        OpenAdventure(name);
                                        // The title shows the group's whole entry.
                                        lbNoAdv_->setText(title);
                                        lbNoAdv_->adjustSize();
                                        showBarButtons();
                                    },
                                    [this] { LoadMap(); }});
    const auto hideViews = [this] { HideFullWidthViews(); };
    janScp_ = new ScriptWindow(page, adventure_, connection_, drag_);
    janObj_ = new ObjectWindow(page, adventure_, connection_, drag_);
    janReg_ = new RegistersWindow(page, adventure_, connection_, drag_, hideViews);
    janSnd_ = new SoundWindow(page, adventure_, connection_, drag_, hideViews);
    janPan_ = new PanelWindow(page, adventure_, connection_, drag_, hideViews);
    janCnf_ = new SettingsWindow(page, settings_, drag_);
}

void TForm1::showBarButtons() {
    // The seven hidden bar buttons, in their order; nothing hides them again.
    for (PictureBox* b : bar_.mid(2))
        b->show();
}

void TForm1::showConnectionState(ConnectionState state) {
    static const QColor kRed(255, 0, 0);
    led_->setFillColour(state == ConnectionState::Ready ? kLime : state == ConnectionState::Connected ? kRed : kMaroon);
    led_->repaint();
}

void TForm1::completeStartUp() {
    if (startedUp_)
        return;
    startedUp_ = true;
    buildWindows(page_);
    // A map background that cannot be read is reported and ends the start-up
    // steps here; the program runs on.
    // The editors' own start-up looks (small buttons painted, status lines
    // and lists at their first places) are set by each window as it is built.
    reportErrors([this] {
        map_.reset();
        janMap_->mapChanged();
        janAdv_->RebuildAdventureList();
    });
}

void TForm1::setVisible(bool visible) {
    if (visible && !afterFirstPaint_)
        completeStartUp();
    QWidget::setVisible(visible);
}

void TForm1::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // Queued: the windows are built once this paint has reached the screen,
    // before anything else the event loop has for the program.
    if (afterFirstPaint_ && !startedUp_ && !startUpQueued_) {
        startUpQueued_ = true;
        QMetaObject::invokeMethod(this, [this] { completeStartUp(); }, Qt::QueuedConnection);
    }
}

void TForm1::showOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? screen->geometry() : QRect(0, 0, kDesignWidth, kDesignHeight));
    if (!startedUp_)
        afterFirstPaint_ = true;
    show();
}

void TForm1::placeRightAnchored() {
    const int w = width();
    book_->setGeometry(rect());
    if (frame_)
        frame_->setGeometry(rect());
    label142_->setGeometry(5, 35, w - 10, 2);
    const int shift = w - kDesignWidth;
    image1_->move(1000 + shift, 10);
    led_->move(1165 + shift, 15);
    btOpc_->move(1195 + shift, 9);
    btMin_->move(1226 + shift, 9);
    btFim_->move(1257 + shift, 9);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeRightAnchored();
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->accept();
    QCoreApplication::quit();
}

bool TForm1::IsReady() const {
    return connection_.isReady();
}

void TForm1::HideFullWidthViews() {
    completeStartUp();
    janMap_->hide();
    janImg_->hide();
    brMap_->hide();
    fmMap_->hide();
}

void TForm1::OpenToolWindow(QWidget* window) {
    completeStartUp();
    HideFullWidthViews();
    bringToFrontAndShow(window);
}

void TForm1::OpenFullWidthView(QWidget* view) {
    completeStartUp();
    view->raise();
    view->setGeometry(view->x(), 80, width(), height() - 80);
    brMap_->move(width() - 267, 55);
    fmMap_->move(width() - 40, 54);
    view->show();
    brMap_->show();
    fmMap_->show();
}

void TForm1::btAdvClick() {
    completeStartUp();
    bringToFrontAndShow(janAdv_);
    janAdv_->RebuildAdventureList();
    HideFullWidthViews();
}

void TForm1::btCncClick() {
    completeStartUp();
    janCnc_->Connect();
}

void TForm1::btMapClick() {
    completeStartUp();
    janImg_->hide();
    OpenFullWidthView(janMap_);
    janMap_->opened();
}

void TForm1::btScpClick() {
    completeStartUp();
    OpenToolWindow(janScp_);
    janScp_->opened();
}

void TForm1::btObjClick() {
    completeStartUp();
    OpenToolWindow(janObj_);
    janObj_->opened();
}

void TForm1::btRegClick() {
    completeStartUp();
    janReg_->open();
}

void TForm1::btImgClick() {
    completeStartUp();
    janMap_->hide();
    OpenFullWidthView(janImg_);
    janImg_->opened();
}

void TForm1::btSndClick() {
    completeStartUp();
    janSnd_->open();
}

void TForm1::btPanClick() {
    completeStartUp();
    janPan_->open();
}

void TForm1::btOpcClick() {
    completeStartUp();
    OpenToolWindow(janCnf_);
}

void TForm1::btFimMouseUp() {
    btFim_->repaint();
    QThread::msleep(200);
    QCoreApplication::quit();
}

void TForm1::btMinMouseUp() {
    showMinimized();
}

void TForm1::fmMapClick() {
    completeStartUp();
    HideFullWidthViews();
}

void TForm1::Label32Click() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect s = screen ? screen->geometry() : QRect(0, 0, kDesignWidth, kDesignHeight);
    if (x() == 0)
        setGeometry(s.width(), y(), 1366, 768);
    else
        setGeometry(0, y(), s.width(), s.height());
}

void TForm1::OpenAdventure(const QString& name) {
    completeStartUp();
    adventure_.open(name);
    lbNoAdv_->setText(name);
    lbNoAdv_->adjustSize();
    if (fileExists(adventure_.file(".map")))
        LoadMap();
    adventure_.readFiles([this](const QString& password) { connection_.setPassword(password); });
}

void TForm1::LoadMap() {
    completeStartUp();
    map_.load(adventure_.file(".map"));
    janMap_->mapChanged();
}

void TForm1::SaveAtExit() {
    if (exitSaved_ || !adventure_.isOpen())
        return;
    exitSaved_ = true;
    // Each file is tried even when an earlier one failed, and the report
    // names every file that could not be written.
    QStringList failures;
    const auto attempt = [&failures](const std::function<void()>& save) {
        try {
            save();
        } catch (const OrvalisError& error) {
            failures.append(error.text());
        }
    };
    attempt([this] { map_.save(adventure_.file(".map")); });
    attempt([this] { adventure_.saveSettingsAtExit(); });
    attempt([this] { adventure_.saveCurrentStatusAtExit(); });
    if (!failures.isEmpty())
        throw OrvalisError(failures.join(QLatin1Char('\n')));
}

}  // namespace orv
