#include "SoundWindow.h"
#include "core/ErrorReport.h"

#include "widgets/Question.h"
#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "widgets/DragState.h"
#include "net/Connection.h"
#include "platform/SoundOutput.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>

namespace orv {

namespace {
const QColor kPanelGrey(224, 224, 224);
}  // namespace

SoundWindow::SoundWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag,
                         std::function<void()> hideFullWidthViews)
    : ToolWindow(parent,
                 {QStringLiteral("JanSnd"), QStringLiteral("Efeitos sonoros:"), QStringLiteral("brSnd"), 159,
                  QStringLiteral("btSndFim"), QRect(828, 130, 418, 570)},
                 drag),
      adventure_(adventure), connection_(connection), hideFullWidthViews_(std::move(hideFullWidthViews)) {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("PnSnd"));
    panel->setGeometry(5, 30, 406, 535);
    panel->setAutoFillBackground(true);
    QPalette panelPalette = panel->palette();
    panelPalette.setColor(QPalette::Window, kPanelGrey);
    panel->setPalette(panelPalette);

    soundList_ = new QListWidget(panel);
    soundList_->setObjectName(QStringLiteral("ArqSnd"));
    soundList_->setGeometry(5, 5, 206, 486);
    QFont listFont(QStringLiteral("Arial"));
    listFont.setPixelSize(19);
    soundList_->setFont(listFont);
    QPalette listPalette = soundList_->palette();
    listPalette.setColor(QPalette::Base, kPanelGrey);
    soundList_->setPalette(listPalette);
    connect(soundList_, &QListWidget::itemClicked, this, reported([this] { ArqSndClick(); }));

    makeLabel(panel, QStringLiteral("Label28"), QStringLiteral("Som:"), {225, 35},
              LabelStyle{19, true, true, Qt::black});
    chosenSoundLabel_ = makeLabel(panel, QStringLiteral("lbNoSnd"), QString(), {280, 35},
                                  LabelStyle{19, true, true, QColor(0, 0, 128)});
    chosenSoundLabel_->resize(panel->width() - 280 - 4, 24);

    deckLabel_ = makeLabel(panel, QStringLiteral("lbSndStp"), QStringLiteral("Deck mp3:"), {225, 105},
                           LabelStyle{19, true, true, Qt::black});
    deckLabel_->hide();
    stopButton_ = makeIconButton(panel, QStringLiteral("btSndStp"), {331, 105}, [this] { btSndStpClick(); });
    stopButton_->hide();

    auto* rule = new QFrame(panel);
    rule->setObjectName(QStringLiteral("Shape13"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(0, 495, panel->width(), 2);

    uploadButton_ = makeSmallButton(panel, QStringLiteral("bnSndUp"), QStringLiteral("Upload"), {5, 505},
                                    [this] { bnSndUpClick(); });
    downloadButton_ = makeSmallButton(panel, QStringLiteral("bnSndDw"), QStringLiteral("Down"), {70, 505},
                                      [this] { bnSndDwClick(); });
    uploadButton_->hide();
    downloadButton_->hide();

    statusLine_ = makeStatusLabel(panel, QStringLiteral("Msg6"), {135, 507}, 265);

    // Working in a window that lies behind another brings it up.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && isAncestorOf(now))
            raise();
    });
    // A sound of an earlier adventure is not this one's to send or fetch.
    connect(&adventure_, &Adventure::opened, this, [this] {
        chosen_.clear();
        chosenSoundLabel_->clear();
        soundList_->clear();
        if (isVisible())
            fillList();
    });
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
}

SoundWindow::~SoundWindow() = default;

void SoundWindow::setSoundOutput(std::unique_ptr<SoundOutput> output) {
    output_ = std::move(output);
}

SoundOutput& SoundWindow::output() {
    // Made on first use, so that a program that plays nothing never starts
    // the media system.
    if (!output_)
        output_ = makeSoundOutput([](const QString& text) { reportError(text); });
    return *output_;
}

void SoundWindow::bnSndUpClick() {
    ItemTransfer::uploadSound({&connection_, adventure_.name(), adventure_.folder(),
                               [this](const QString& text) { statusLine_->setText(text); }},
                              chosen_);
}

void SoundWindow::bnSndDwClick() {
    ItemTransfer::downloadSound({&connection_, adventure_.name(), adventure_.folder(),
                                 [this](const QString& text) { statusLine_->setText(text); }, [this](const QString& file) { return Question::replaceChangedFile(this, file); }},
                                chosen_);
}

void SoundWindow::showTransferButtons() {
    if (connection_.isReady()) {
        uploadButton_->show();
        downloadButton_->show();
    }
}

void SoundWindow::fillList() {
    soundList_->clear();
    // Without an adventure there is no folder to show (an empty path would
    // list the working directory). Pointing the list at the folder makes it
    // the working directory too, as for every file list of the program.
    if (!adventure_.isOpen())
        return;
    pointFileListAt(adventure_.folder());
    // Name filters match regardless of case.
    soundList_->addItems(QDir(adventure_.folder()).entryList({QStringLiteral("*.wav"), QStringLiteral("*.mp3")},
                                                             QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void SoundWindow::open() {
    statusLine_->clear();
    if (hideFullWidthViews_)
        hideFullWidthViews_();
    raise();
    fillList();
    DrawSmallButtonUp(uploadButton_, Qt::black);
    DrawSmallButtonUp(downloadButton_, Qt::black);
    bringToFrontAndShow(this);
    showTransferButtons();
}

void SoundWindow::ArqSndClick() {
    statusLine_->clear();
    QListWidgetItem* item = soundList_->currentItem();
    const QString name = item ? QFileInfo(item->text()).fileName() : QString();
    chosenSoundLabel_->setText(name);
    chosen_ = name;
    PlaySoundFile(name);
}

void SoundWindow::PlaySoundFile(const QString& name) {
    if (name.isEmpty())
        return;
    const QString path = adventure_.path(name);
    // The list shows ".WAV" and ".Mp3" too, so the kind goes by the name's
    // own extension, whatever its case.
    const QString extension = QFileInfo(name).suffix().toLower();
    if (extension == QLatin1String("wav")) {
        output().playWave(path);
        stopDeckIfPlaying();
        stopButton_->hide();
        deckLabel_->hide();
    } else if (extension == QLatin1String("mp3")) {
        stopButton_->show();
        deckLabel_->show();
        SoundOutput& deck = output();
        // A file that cannot be opened is reported by the media system; the
        // stop controls stay up and nothing plays.
        deck.openDeck(path);
        deck.playDeck();
    }
}

void SoundWindow::btSndStpClick() {
    stopDeckIfPlaying();
}

void SoundWindow::stopDeckIfPlaying() {
    // A deck still loading its file sits at position 0 but is about to play;
    // it is stopped too, or the sound would start after the author stopped it.
    if (!output_ || !output_->deckOpen())
        return;
    if (output_->deckPosition() > 0 || output_->deckPlaying())
        output_->stopDeck();
}

}  // namespace orv
