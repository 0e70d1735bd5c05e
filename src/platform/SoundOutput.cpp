#include "SoundOutput.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QMetaObject>
#include <QObject>
#include <QUrl>

namespace orv {

namespace {

// One media player with its own output: one file, played once from the start.
//
// Every play gets a new one. A player that has played before does not start
// reliably again: after the end of the file, after a stop or while it still
// plays, the rewind and play sometimes leave it silent, and after a file it
// could not read every later call waits a second and more on the broken
// pipeline. A new player always starts from the beginning, at once. Dropping
// the old one cuts its sound off; that is quick in every state, also while a
// damaged file is still being loaded.
struct Track {
    Track() { player.setAudioOutput(&speaker); }

    QAudioOutput speaker;
    QMediaPlayer player;
};

// The WAV voice and the deck. Both load and play on their own; nothing here
// waits for them, so a machine without an audio device only stays silent.
// QSoundEffect is not used for the voice: changing its source while a damaged
// file is still loading blocks for good.
class MediaSoundOutput : public SoundOutput {
public:
    explicit MediaSoundOutput(std::function<void(const QString&)> reportError)
        : reportError_(std::move(reportError)) {}

    ~MediaSoundOutput() override {
        voice_.reset();
        deck_.reset();
    }

    void playWave(const QString& path) override {
        // The sound still playing is cut off; a file that cannot be played
        // only sets its own player's error, which nobody is told about.
        voice_.reset();
        voice_ = std::make_unique<Track>();
        voice_->player.setSource(QUrl::fromLocalFile(path));
        voice_->player.play();
    }

    void openDeck(const QString& path) override {
        deckPath_ = path;
        reported_ = false;
        playing_ = false;
        played_ = false;
        open_ = true;
        loadDeck();
    }

    bool deckOpen() const override { return open_; }

    void playDeck() override {
        if (!open_)
            return;
        // The file stays open, but a deck that has played is loaded anew so
        // that it starts from the beginning.
        if (played_)
            loadDeck();
        played_ = true;
        playing_ = true;
        deck_->player.play();
    }

    qint64 deckPosition() const override { return open_ && deck_ ? deck_->player.position() : 0; }
    bool deckPlaying() const override { return playing_; }

    void stopDeck() override {
        playing_ = false;
        if (deck_)
            deck_->player.stop();
    }

private:
    void loadDeck() {
        deck_.reset();
        deck_ = std::make_unique<Track>();
        QMediaPlayer* player = &deck_->player;
        player->setObjectName(QStringLiteral("Deck"));
        QObject::connect(player, &QMediaPlayer::errorOccurred, player,
                         [this, player](QMediaPlayer::Error error, const QString& text) {
                             if (error == QMediaPlayer::NoError)
                                 return;
                             playing_ = false;
                             open_ = false;
                             // One report per file: a broken file would
                             // otherwise be reported once for the open and
                             // again for the play.
                             if (reported_)
                                 return;
                             reported_ = true;
                             const QString shown = text.isEmpty() ? player->errorString() : text;
                             // The report may open a message box; it runs once
                             // the media system's own call has returned, also
                             // when the deck has been given another file since.
                             QMetaObject::invokeMethod(
                                 &reports_, [report = reportError_, shown] { if (report) report(shown); },
                                 Qt::QueuedConnection);
                         });
        QObject::connect(player, &QMediaPlayer::mediaStatusChanged, player, [this](QMediaPlayer::MediaStatus s) {
            if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia)
                playing_ = false;
        });
        player->setSource(QUrl::fromLocalFile(deckPath_));
    }

    std::function<void(const QString&)> reportError_;
    QObject reports_;
    std::unique_ptr<Track> voice_;
    std::unique_ptr<Track> deck_;
    QString deckPath_;
    bool open_ = false;
    bool playing_ = false;
    bool played_ = false;
    bool reported_ = false;
};

}  // namespace

std::unique_ptr<SoundOutput> makeSoundOutput(std::function<void(const QString&)> reportError) {
    return std::make_unique<MediaSoundOutput>(std::move(reportError));
}

}  // namespace orv
