#include "app/TForm1.h"

#include "core/ErrorReport.h"
#include "core/OrvalisError.h"
#include "document/JournalFile.h"

#include "shell/AdventureWindow.h"
#include "core/AdventureWorkspace.h"
#include "core/NewAdventure.h"
#include "app/NewAdventureDialog.h"
#include "widgets/Controls.h"
#include "app/OrvalisApplication.h"
#include "shell/SettingsWindow.h"
#include "widgets/Question.h"
#include "widgets/Shape.h"
#include "widgets/ToolWindow.h"
#include "editors/ImageLibraryWindow.h"
#include "editors/ObjectWindow.h"
#include "editors/PanelWindow.h"
#include "editors/ReferencesWindow.h"
#include "editors/RegistersWindow.h"
#include "editors/ScriptWindow.h"
#include "editors/SoundWindow.h"
#include "map/MapWindow.h"
#include "net/ConnectionWindow.h"
#include "net/ItemTransfer.h"
#include "net/ServerClient.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
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

// The start-up, in order:
//   1. the workspace folder is the program's own folder (the document);
//   2. the title area and the bar, every bar button with its caption painted;
//   3. the editor windows, built and wired (startUp: before the first showing,
//      or right after the first paint on the screen);
//   4. an empty map, then the adventure list;
//   5. the work a crash left behind, offered before anything else.
// Nothing is open afterwards (unless that work is recovered): only
// "Adventures", "Conectar", the settings, minimise and end buttons can be used.
TForm1::TForm1(const QString& programFile, QWidget* parent, const QString& serverBase)
    : QWidget(parent, Qt::FramelessWindowHint),
      // The adventure list reads the workspace, whatever the current directory was.
      document_(AdventureWorkspace::workspaceFolderOf(programFile)),
      client_(std::make_unique<ServerClient>(serverBase.isEmpty() ? ServerClient::configuredBaseAddress() : serverBase,
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

    buildPage();
    buildTitleArea(page_);
    buildBar(page_);
    for (PictureBox* b : barButtons_)
        DrawButtonUp(b, Qt::black);
    placeRightAnchored();

    connect(&connection_, &Connection::stateChanged, this, &TForm1::showConnectionState);
    connect(&document_, &AdventureDocument::passwordRead, &connection_, &Connection::setPassword);
    connect(&document_, &AdventureDocument::journalFailed, this, [](const QString& text) { reportError(text); });
    // A file changed by another program over unsaved work: the author chooses.
    document_.setOutsideQuestion([this](const QString& fileName) {
        enum { Mine, Theirs };
        const int answer = Question::ask(
            this, QStringLiteral("JanExt"), QStringLiteral("Arquivo mudado fora do Orvalis"),
            QStringLiteral("O arquivo \"%1\" foi mudado por outro programa depois que o Orvalis o leu ou gravou, "
                           "e há alterações não gravadas nele aqui. Manter as suas alterações (gravadas por cima "
                           "do arquivo) ou usar o arquivo como está no disco?")
                .arg(fileName),
            {{Mine, QStringLiteral("btExtMeu"), QStringLiteral("Manter o meu"), true, true},
             {Theirs, QStringLiteral("btExtDeles"), QStringLiteral("Usar o do disco")}});
        return answer == Theirs ? AdventureDocument::OutsideChoice::UseDisk
                                : AdventureDocument::OutsideChoice::KeepMine;
    });
    connect(&document_, &AdventureDocument::opened, this, [this] {
        adventureTitle_->setText(document_.adventure().name());
        adventureTitle_->adjustSize();
    });
}

TForm1::~TForm1() {
    // A whole transfer still running ends after its file in flight, before
    // the exit saves write the lists it may have replaced.
    if (connectionWindow_)
        connectionWindow_->finishTransferNow();
    reportErrors([this] { SaveAtExit(); });
}

void TForm1::buildPage() {
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

    border_ = new QFrame(page_);
    border_->setObjectName(QStringLiteral("Shape1"));
    border_->setFrameStyle(QFrame::Box | QFrame::Plain);
    border_->setGeometry(0, 0, kDesignWidth, kDesignHeight);
}

void TForm1::buildTitleArea(QWidget* page) {
    makeLabel(page, QStringLiteral("lbVars"), QStringLiteral("Orvalis - "), {10, 5},
              LabelStyle{27, true, true, QColor(0, 0, 128)});
    adventureTitle_ = makeLabel(page, QStringLiteral("lbNoAdv"), QStringLiteral("..."), {430, 5},
                                LabelStyle{27, true, true, QColor(0, 128, 128)});
    adventureTitle_->resize(560, adventureTitle_->height());
    titleRule_ = new QLabel(page);
    titleRule_->setObjectName(QStringLiteral("Label142"));
    titleRule_->setGeometry(5, 35, kDesignWidth - 10, 2);
    // A grey rule (#808080); a palette, not a style sheet, which would cost
    // a style of its own before the first paint.
    titleRule_->setAutoFillBackground(true);
    QPalette rule = titleRule_->palette();
    rule.setColor(QPalette::Window, QColor(128, 128, 128));
    titleRule_->setPalette(rule);
    titleStripes_ = new PictureBox(page, QStringLiteral("Image1"), QRect(1000, 10, 225, 20),
                                   ButtonArt::picture(ButtonArt::Look::Stripes));
    titleStripes_->setStretch(true);
    connectionLight_ = new Shape(page, QStringLiteral("Led"), QRect(1165, 15, 20, 10), Shape::Kind::Rectangle, kMaroon);
    settingsButton_ = makeIconButton(page, QStringLiteral("btOpc"), {1195, 9},
                                     [this] {
                                         startUp();
                                         btOpcClick();
                                     },
                                     ButtonArt::Look::CogUp, ButtonArt::Look::CogDown);
    minimiseButton_ = makeIconButton(page, QStringLiteral("btMin"), {1226, 9}, [this] { btMinMouseUp(); },
                                     ButtonArt::Look::MinUp, ButtonArt::Look::MinDown);
    endButton_ = makeIconButton(page, QStringLiteral("btFim"), {1257, 9}, [this] { btFimMouseUp(); });
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
        // A click that comes before the windows are built builds them first.
        PictureBox* button = makeBigButton(page, QString::fromLatin1(b.name), QString::fromUtf8(b.hint),
                                           {15 + 95 * k, 47}, [this, click] {
                                               startUp();
                                               (this->*click)();
                                           });
        button->setVisible(k < 2);
        barButtons_.append(button);
        ++k;
    }
    // A new adventure can be made before any is open, so "Nova" is shown
    // from the start, right of the last bar button.
    PictureBox* newAdventure =
        makeBigButton(page, QStringLiteral("btNovAdv"), QStringLiteral("Nova"), {15 + 95 * k, 47}, [this] {
            startUp();
            btNovAdvClick();
        });
    DrawButtonUp(newAdventure, Qt::black);
}

void TForm1::startUp() {
    if (startUp_ == StartUp::Done)
        return;
    startUp_ = StartUp::Done;
    buildWindows(page_);
    // 4. A map background that cannot be read is reported and ends these
    // steps here; the program runs on.
    reportErrors([this] {
        document_.resetMap();
        adventureWindow_->RebuildAdventureList();
    });
    // 5.
    reportErrors([this] { offerRecovery(); });
}

void TForm1::offerRecovery() {
    const QString workspace = document_.adventure().workspaceFolder();
    for (const QString& path : JournalFile::journalsOf(workspace)) {
        JournalState state;
        try {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                throw OrvalisError(file.errorString());
            state = JournalFile::decode(file.readAll());
            if (state.workspaceFolder != workspace || !QFileInfo(workspace + state.adventure).isDir())
                throw OrvalisError(QStringLiteral("O diário é de uma aventura que não está nesta área de trabalho."));
        } catch (const OrvalisError& error) {
            // Never applied in part: kept aside, under a name no start reads again.
            const QString aside = path + QStringLiteral(".ilegivel");
            QFile::remove(aside);
            QFile::rename(path, aside);
            reportError(QStringLiteral("O diário de recuperação \"%1\" não pôde ser lido e foi guardado como \"%2\".\n%3")
                            .arg(path, aside, error.text()));
            continue;
        }
        enum { Recover, Discard };
        const QString when = state.time.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        const int answer = Question::ask(
            this, QStringLiteral("JanRec"), QStringLiteral("Recuperar trabalho"),
            QStringLiteral("A aventura \"%1\" tem trabalho não gravado de uma sessão que não terminou "
                           "(última edição em %2). Recuperar esse trabalho?")
                .arg(state.adventure, when),
            {{Recover, QStringLiteral("btRecSim"), QStringLiteral("Recuperar"), true, true},
             {Discard, QStringLiteral("btRecNao"), QStringLiteral("Descartar")}});
        if (answer == Discard) {
            QFile::remove(path);
            continue;
        }
        document_.recover(state);
        showBarButtons();
        return;
    }
}

void TForm1::buildWindows(QWidget* page) {
    Adventure& adventure = document_.adventure();
    mapWindow_ = new MapWindow(page, document_, connection_, settings_, drag_);
    mapWindow_->move(0, 80);
    imageLibrary_ = new ImageLibraryWindow(page, adventure, connection_, drag_);
    imageLibrary_->move(0, 80);
    viewTitleBar_ = new PictureBox(page, QStringLiteral("brMap"), QRect(kDesignWidth - 267, 55, 222, 20),
                                   ButtonArt::picture(ButtonArt::Look::Stripes));
    viewTitleBar_->setStretch(true);
    viewTitleBar_->hide();
    viewCloseButton_ = makeIconButton(page, QStringLiteral("fmMap"), {kDesignWidth - 40, 54}, [this] { fmMapClick(); });
    viewCloseButton_->hide();

    adventureWindow_ = new AdventureWindow(page, adventure, drag_, [this](const QString& name) {
        OpenAdventure(name);
        showBarButtons();
    });
    connectionWindow_ = new ConnectionWindow(page, document_, connection_, drag_,
                                             {[this] { HideFullWidthViews(); },
                                              [this](const QString& title) {
                                                  // The title shows the group's whole entry.
                                                  adventureTitle_->setText(title);
                                                  adventureTitle_->adjustSize();
                                                  showBarButtons();
                                              }});
    const auto hideViews = [this] { HideFullWidthViews(); };
    scriptWindow_ = new ScriptWindow(page, document_, connection_, drag_);
    objectWindow_ = new ObjectWindow(page, adventure, connection_, drag_);
    registersWindow_ = new RegistersWindow(page, document_, connection_, drag_, hideViews);
    soundWindow_ = new SoundWindow(page, adventure, connection_, drag_, hideViews);
    panelWindow_ = new PanelWindow(page, document_, connection_, drag_, hideViews);
    settingsWindow_ = new SettingsWindow(page, settings_, drag_);
    referencesWindow_ = new ReferencesWindow(page, document_, drag_, [this](const QString& file, int line, int cell) {
        openPlace(file, line, cell);
    });
    // The uses shown follow the position the author selects on the map.
    mapWindow_->onCellSelected = [this](int cell) {
        const QString name = document_.map().name(cell);
        if (name.isEmpty())
            return;
        referencesWindow_->showUsesOf(name);
        referencedScript_ = scriptWindow_->loadedScriptName();
    };
    // F8 reaches the references from every window, as long as no question
    // is open over them.
    auto* references = new QShortcut(QKeySequence(Qt::Key_F8), this);
    references->setContext(Qt::ApplicationShortcut);
    connect(references, &QShortcut::activated, this, reported([this] { openReferences(); }));
}

void TForm1::showBarButtons() {
    // The seven hidden bar buttons, in their order; nothing hides them again.
    for (PictureBox* b : barButtons_.mid(2))
        b->show();
}

void TForm1::showConnectionState(ConnectionState state) {
    static const QColor kRed(255, 0, 0);
    connectionLight_->setFillColour(state == ConnectionState::Ready       ? kLime
                                    : state == ConnectionState::Connected ? kRed
                                                                          : kMaroon);
    connectionLight_->repaint();
}

void TForm1::setVisible(bool visible) {
    if (visible && startUp_ == StartUp::Waiting)
        startUp();
    QWidget::setVisible(visible);
}

void TForm1::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // Queued: the windows are built once this paint has reached the screen,
    // before anything else the event loop has for the program.
    if (startUp_ == StartUp::AfterFirstPaint) {
        startUp_ = StartUp::Queued;
        QMetaObject::invokeMethod(this, [this] { startUp(); }, Qt::QueuedConnection);
    }
}

void TForm1::showOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? screen->geometry() : QRect(0, 0, kDesignWidth, kDesignHeight));
    if (startUp_ == StartUp::Waiting)
        startUp_ = StartUp::AfterFirstPaint;
    show();
}

void TForm1::placeRightAnchored() {
    const int w = width();
    book_->setGeometry(rect());
    border_->setGeometry(rect());
    titleRule_->setGeometry(5, 35, w - 10, 2);
    const int shift = w - kDesignWidth;
    titleStripes_->move(1000 + shift, 10);
    connectionLight_->move(1165 + shift, 15);
    settingsButton_->move(1195 + shift, 9);
    minimiseButton_->move(1226 + shift, 9);
    endButton_->move(1257 + shift, 9);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeRightAnchored();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A whole transfer stops after the file in flight (asking nothing more);
    // the window closes once it has.
    if (document_.transferRunning()) {
        event->ignore();
        if (!property("closeAfterTransfer").toBool()) {
            setProperty("closeAfterTransfer", true);
            connect(
                &document_, &AdventureDocument::transferRunningChanged, this,
                [this](bool running) {
                    if (!running)
                        close();
                },
                Qt::SingleShotConnection);
        }
        connectionWindow_->stopTransfer(true);
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

bool TForm1::IsReady() const {
    return connection_.isReady();
}

void TForm1::HideFullWidthViews() {
    mapWindow_->hide();
    imageLibrary_->hide();
    viewTitleBar_->hide();
    viewCloseButton_->hide();
}

void TForm1::giveKeysTo(QWidget* window) {
    // The window the author opens is the one the keys go to; a window that
    // keeps a control of its own in focus keeps it.
    QWidget* focus = focusWidget();
    if (focus != window && !window->isAncestorOf(focus))
        window->setFocus(Qt::OtherFocusReason);
}

void TForm1::OpenToolWindow(QWidget* window) {
    HideFullWidthViews();
    bringToFrontAndShow(window);
    giveKeysTo(window);
}

void TForm1::OpenFullWidthView(QWidget* view) {
    view->raise();
    view->setGeometry(view->x(), 80, width(), height() - 80);
    viewTitleBar_->move(width() - 267, 55);
    viewCloseButton_->move(width() - 40, 54);
    view->show();
    viewTitleBar_->show();
    viewCloseButton_->show();
}

void TForm1::btAdvClick() {
    bringToFrontAndShow(adventureWindow_);
    adventureWindow_->RebuildAdventureList();
    HideFullWidthViews();
    giveKeysTo(adventureWindow_);
}

void TForm1::btNovAdvClick() {
    // The new adventure is opened once made: not while a transfer runs.
    if (document_.transferRunning())
        throw OrvalisError(ItemTransfer::transferRunningText());
    const QString workspace = document_.adventure().workspaceFolder();
    QPointer<NewAdventureDialog> dialog = new NewAdventureDialog(this, [workspace](const QString& name) {
        try {
            const NewAdventure::Result result = NewAdventure::create(workspace, name);
            return result.created ? QString() : result.message;
        } catch (const OrvalisError& error) {
            return error.text();
        }
    });
    const bool made = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return;
    const QString name = dialog->createdName();
    delete dialog.data();
    if (!made)
        return;
    // As a double-click on it in the adventure list would.
    adventureWindow_->RebuildAdventureList();
    OpenAdventure(name);
    showBarButtons();
}

void TForm1::btCncClick() {
    connectionWindow_->Connect();
}

void TForm1::btMapClick() {
    imageLibrary_->hide();
    OpenFullWidthView(mapWindow_);
    mapWindow_->opened();
}

void TForm1::btScpClick() {
    OpenToolWindow(scriptWindow_);
    scriptWindow_->opened();
}

void TForm1::btObjClick() {
    OpenToolWindow(objectWindow_);
    objectWindow_->opened();
}

void TForm1::btRegClick() {
    registersWindow_->open();
    giveKeysTo(registersWindow_);
}

void TForm1::btImgClick() {
    mapWindow_->hide();
    OpenFullWidthView(imageLibrary_);
    imageLibrary_->opened();
    giveKeysTo(imageLibrary_);
}

void TForm1::btSndClick() {
    soundWindow_->open();
    giveKeysTo(soundWindow_);
}

void TForm1::btPanClick() {
    panelWindow_->open();
}

void TForm1::btOpcClick() {
    OpenToolWindow(settingsWindow_);
}

void TForm1::openReferences() {
    // Before an adventure is open there is nothing to refer to.
    if (!document_.adventure().isOpen())
        return;
    startUp();
    OpenToolWindow(referencesWindow_);
    // A script loaded since the map last gave a name: its uses.
    const QString script = scriptWindow_->loadedScriptName();
    if (!script.isEmpty() && script != referencedScript_) {
        referencedScript_ = script;
        referencesWindow_->showUsesOf(script.endsWith(QStringLiteral(".scp")) ? script.chopped(4) : script);
    }
    referencesWindow_->opened();
}

void TForm1::openPlace(const QString& file, int line, int cell) {
    const QString map = document_.adventure().name() + QStringLiteral(".map");
    if (file.endsWith(QStringLiteral(".scp"))) {
        btScpClick();
        scriptWindow_->openScript(file, line);
    } else if (file == map) {
        btMapClick();
        mapWindow_->selectCell(cell >= 0 ? cell : line > 0 ? (line - 1) / 2 : -1);
    } else if (file.endsWith(QStringLiteral(".obj")) || file.endsWith(QStringLiteral(".obx")) ||
               file.endsWith(QStringLiteral(".obz"))) {
        const QString object = referencesWindow_->objectAt(file, line);
        btObjClick();
        if (!object.isEmpty())
            objectWindow_->selectObject(object);
    }
}

void TForm1::btFimMouseUp() {
    // Mid-transfer the end button closes as the window's close does.
    if (document_.transferRunning()) {
        close();
        return;
    }
    endButton_->repaint();
    QThread::msleep(200);
    QCoreApplication::quit();
}

void TForm1::btMinMouseUp() {
    showMinimized();
}

void TForm1::fmMapClick() {
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
    document_.open(name);
}

void TForm1::SaveAtExit() {
    document_.saveAtExit();
}

}  // namespace orv
