// The sound library as an author meets it: the adventure's WAV and MP3 files
// listed, a click playing one, the MP3 deck and its stop button, all heard
// through a recording output instead of a sound card.
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "widgets/Shape.h"
#include "app/TForm1.h"
#include "net/Connection.h"
#include "editors/SoundWindow.h"
#include "platform/SoundOutput.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

using namespace orv;
using orv::test::TestWorkspace;

namespace {

// What the output was asked to do, and the deck as the window sees it.
struct Speaker {
    QStringList calls;
    bool open = false;
    bool playing = false;
    qint64 position = 0;
    QString unopenable;  // a path whose opening fails
    QString lastPath;    // the full path of the last file played or opened
};

class RecordingOutput : public SoundOutput {
public:
    explicit RecordingOutput(Speaker& s) : s_(s) {}
    void playWave(const QString& path) override {
        s_.calls << "wave " + QFileInfo(path).fileName();
        s_.lastPath = path;
    }
    void openDeck(const QString& path) override {
        s_.calls << "open " + QFileInfo(path).fileName();
        s_.lastPath = path;
        s_.open = false;
        s_.playing = false;
        s_.position = 0;
        if (path == s_.unopenable)
            throw OrvalisError("arquivo de som ilegível");
        s_.open = true;
    }
    bool deckOpen() const override { return s_.open; }
    void playDeck() override {
        s_.calls << "play";
        s_.playing = true;
    }
    qint64 deckPosition() const override { return s_.position; }
    bool deckPlaying() const override { return s_.playing; }
    void stopDeck() override {
        s_.calls << "stop";
        s_.playing = false;
        s_.position = 0;
    }

private:
    Speaker& s_;
};

// A program with the adventure Vale open and the sound window opened.
struct Session {
    TestWorkspace ws;
    Speaker speaker;
    std::unique_ptr<TForm1> form;
    SoundWindow* window = nullptr;

    explicit Session(const QStringList& files) {
        ws.addAdventure("Vale");
        for (const QString& f : files)
            ws.write("Vale/" + f, "RIFF");
        form = test::startProgram(ws);
        form->OpenAdventure("Vale");
        window = form->findChild<SoundWindow*>("JanSnd");
        window->setSoundOutput(std::make_unique<RecordingOutput>(speaker));
        form->btSndClick();
    }
    QStringList listed() const { return test::rows(window->fileList()); }
    void click(const QString& name) { ASSERT_TRUE(test::clickRow(window->fileList(), name)) << name.toStdString(); }
    void stop() { QTest::mouseClick(widget("btSndStp"), Qt::LeftButton, {}, {5, 5}); }
    QWidget* widget(const char* name) const { return window->findChild<QWidget*>(name); }
    bool shown(const char* name) const { return widget(name)->isVisibleTo(window); }
    bool stopControlsShown() const { return shown("btSndStp") && shown("lbSndStp"); }
    QString msg6() const { return window->status()->text(); }
    QStringList takeCalls() { return std::exchange(speaker.calls, {}); }
};

}  // namespace

TEST(SoundWindow, ListsTheSoundFilesOfTheFolderAsItWasAtOpening) {
    Session s({"vento.wav", "Porta.MP3", "grito.Wav", "musica.mp3", "notas.txt", "sala.scp", "wav.png"});
    EXPECT_TRUE(s.window->isVisible());
    EXPECT_EQ(s.window->geometry(), QRect(828, 130, 418, 570));
    EXPECT_EQ(s.listed(), (QStringList{"grito.Wav", "musica.mp3", "Porta.MP3", "vento.wav"}));
    EXPECT_EQ(QDir::current(), QDir(s.ws.path("Vale")));
    EXPECT_EQ(s.window->chosenSound(), "");
    EXPECT_EQ(s.msg6(), "");
    EXPECT_EQ(s.window->status()->x(), 135);
    for (const char* n : {"btSndStp", "lbSndStp", "bnSndUp", "bnSndDw"})
        EXPECT_FALSE(s.shown(n)) << n;

    // A file added later shows at the next opening, which also clears Msg6.
    s.ws.write("Vale/chuva.wav", "RIFF");
    EXPECT_EQ(s.listed().size(), 4);
    s.window->status()->setText("Upload completo!");
    s.form->btSndClick();
    EXPECT_EQ(s.listed(), (QStringList{"chuva.wav", "grito.Wav", "musica.mp3", "Porta.MP3", "vento.wav"}));
    EXPECT_EQ(s.msg6(), "");
    EXPECT_TRUE(s.takeCalls().isEmpty());
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(SoundWindow, WavPlaysOnceMp3GoesToTheDeckAndAWavStopsTheDeck) {
    Session s({"vento.wav", "musica.mp3", "trovao.mp3"});
    s.window->status()->setText("Download completo!");
    s.click("vento.wav");
    EXPECT_EQ(s.takeCalls(), QStringList{"wave vento.wav"});
    EXPECT_EQ(s.window->chosenSound(), "vento.wav");
    EXPECT_EQ(s.msg6(), "");
    EXPECT_FALSE(s.stopControlsShown());

    // An MP3 chosen while a WAV plays leaves the WAV alone.
    s.click("musica.mp3");
    EXPECT_EQ(s.takeCalls(), (QStringList{"open musica.mp3", "play"}));
    EXPECT_EQ(s.window->chosenSound(), "musica.mp3");
    EXPECT_TRUE(s.stopControlsShown());
    s.speaker.position = 1500;
    s.click("trovao.mp3");
    EXPECT_EQ(s.takeCalls(), (QStringList{"open trovao.mp3", "play"}));

    // A WAV chosen while the MP3 plays stops it and takes the stop controls away.
    s.speaker.position = 800;
    s.click("vento.wav");
    EXPECT_EQ(s.takeCalls(), (QStringList{"wave vento.wav", "stop"}));
    EXPECT_FALSE(s.stopControlsShown());
    // The deck keeps its file; a stopped deck is not stopped again.
    EXPECT_TRUE(s.speaker.open);
    s.click("vento.wav");
    EXPECT_EQ(s.takeCalls(), QStringList{"wave vento.wav"});
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(SoundWindow, TheKindGoesByTheFileExtensionWhateverItsCase) {
    Session s({"TROVAO.WAV", "Sino.Mp3", "eco.wav.mp3", "velho.mp3.wav"});
    s.click("TROVAO.WAV");
    EXPECT_EQ(s.takeCalls(), QStringList{"wave TROVAO.WAV"});
    s.click("Sino.Mp3");
    EXPECT_EQ(s.takeCalls(), (QStringList{"open Sino.Mp3", "play"}));
    EXPECT_TRUE(s.stopControlsShown());
    // A name holding both texts is what its last extension says.
    s.click("eco.wav.mp3");
    EXPECT_EQ(s.takeCalls(), (QStringList{"open eco.wav.mp3", "play"}));
    s.click("velho.mp3.wav");
    EXPECT_EQ(s.takeCalls(), (QStringList{"wave velho.mp3.wav", "stop"}));
    EXPECT_FALSE(s.stopControlsShown());
    EXPECT_EQ(s.window->chosenSound(), "velho.mp3.wav");
}

TEST(SoundWindow, StopButtonStopsOnlyADeckThatPlaysOrIsAboutTo) {
    Session s({"musica.mp3"});
    s.click("musica.mp3");
    s.takeCalls();
    // Still loading: position 0, yet it would start playing after the stop.
    s.stop();
    EXPECT_EQ(s.takeCalls(), QStringList{"stop"});
    // Stopped at 0 already: nothing to do. File and controls stay.
    s.stop();
    EXPECT_TRUE(s.takeCalls().isEmpty());
    EXPECT_TRUE(s.speaker.open);
    EXPECT_TRUE(s.stopControlsShown());
    // Played to its end: the position is past 0, and stopping rewinds it.
    s.speaker.position = 61000;
    s.stop();
    EXPECT_EQ(s.takeCalls(), QStringList{"stop"});

    // Closing the window stops nothing.
    s.click("musica.mp3");
    s.speaker.position = 300;
    s.takeCalls();
    QTest::mouseClick(s.widget("btSndFim"), Qt::LeftButton, {}, {5, 5});
    EXPECT_FALSE(s.window->isVisible());
    EXPECT_TRUE(s.takeCalls().isEmpty());
    EXPECT_TRUE(s.speaker.playing);
}

TEST(SoundWindow, AnMp3ThatCannotBeOpenedIsReportedWithTheStopControlsUp) {
    Session s({"quebrado.mp3", "vento.wav"});
    s.speaker.unopenable = s.ws.path("Vale/quebrado.mp3");
    s.click("quebrado.mp3");
    EXPECT_EQ(test::reportedErrors(), QStringList{"arquivo de som ilegível"});
    EXPECT_EQ(s.takeCalls(), QStringList{"open quebrado.mp3"});
    EXPECT_TRUE(s.stopControlsShown());
    EXPECT_EQ(s.window->chosenSound(), "quebrado.mp3");
    // Nothing is open, so stop and a WAV leave the deck alone.
    s.stop();
    s.click("vento.wav");
    EXPECT_EQ(s.takeCalls(), QStringList{"wave vento.wav"});
}

TEST(SoundWindow, TheListFollowsAnotherAdventureAsItOpens) {
    Session s({"vento.wav"});
    s.click("vento.wav");
    EXPECT_EQ(s.window->chosenSound(), "vento.wav");
    s.ws.addAdventure("Mar");
    s.ws.write("Mar/mar.wav", {});
    s.form->OpenAdventure("Mar");
    // The open window lists Mar's sounds at once; Vale's sound is no longer chosen.
    EXPECT_EQ(s.listed(), QStringList{"mar.wav"});
    EXPECT_TRUE(s.window->chosenSound().isEmpty());
    s.takeCalls();
    s.click("mar.wav");
    EXPECT_EQ(s.speaker.lastPath, s.ws.path("Mar/mar.wav"));
}

TEST(SoundWindow, ReadyShowsTransfersAndFocusRaisesTheWindow) {
    Session s({"vento.wav"});
    s.form->connection().setState(ConnectionState::Ready);
    s.form->btSndClick();
    EXPECT_TRUE(s.shown("bnSndUp") && s.shown("bnSndDw"));
    EXPECT_EQ(s.window->status()->x(), 135);
    EXPECT_GE(s.window->status()->x(), s.widget("bnSndDw")->geometry().right());

    QWidget* page = s.window->parentWidget();
    s.form->btScpClick();
    EXPECT_GT(page->children().indexOf(s.form->findChild<QWidget*>("JanScp")), page->children().indexOf(s.window));
    s.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.form.get()));
    s.window->fileList()->setFocus();
    EXPECT_EQ(page->children().last(), s.window);
}

// The machine's own output, where CI has no sound card: every call returns,
// and a file that is no sound is reported rather than played.
TEST(SoundOutput, RunsWithoutASoundCard) {
    TestWorkspace ws(false);
    ws.write("ruido.wav", "RIFF\0\0\0\0WAVE");
    ws.write("falso.mp3", "not a sound at all");
    QStringList reports;
    {
        auto output = makeSoundOutput([&](const QString& text) { reports << text; });
        EXPECT_FALSE(output->deckOpen());
        EXPECT_EQ(output->deckPosition(), 0);
        output->playWave(ws.path("ruido.wav"));
        output->playWave(ws.path("sumiu.wav"));
        output->openDeck(ws.path("falso.mp3"));
        output->playDeck();
        QTest::qWait(300);
        output->stopDeck();
        EXPECT_FALSE(output->deckPlaying());
        output->openDeck(ws.path("sumiu.mp3"));
        output->playDeck();
        QTest::qWait(300);
    }
    // At most one report per file opened.
    EXPECT_LE(reports.size(), 2);
}
