#include "SoundOutput.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QMetaObject>
#include <QUrl>

namespace orv {

namespace {

// Two media players: one for the WAV voice, one for the deck. Both load and
// play on their own; nothing here waits for them, so a machine without an
// audio device only stays silent. QSoundEffect is not used for the voice:
// changing its source while a damaged file is still loading blocks for good.
class MediaSoundOutput : public SoundOutput {
public:
    explicit MediaSoundOutput(std::function<void(const QString&)> reportError)
        : reportError_(std::move(reportError)) {
        voice_.setAudioOutput(&voiceSpeaker_);
        deck_.setObjectName(QStringLiteral("Deck"));
        deck_.setAudioOutput(&speaker_);
        QObject::connect(&deck_, &QMediaPlayer::errorOccurred, &deck_,
                         [this](QMediaPlayer::Error error, const QString& text) {
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
                             const QString shown = text.isEmpty() ? deck_.errorString() : text;
                             // The report may open a message box; it runs once
                             // the media system's own call has returned.
                             QMetaObject::invokeMethod(
                                 &deck_, [report = reportError_, shown] { if (report) report(shown); },
                                 Qt::QueuedConnection);
                         });
        QObject::connect(&deck_, &QMediaPlayer::mediaStatusChanged, &deck_, [this](QMediaPlayer::MediaStatus s) {
            if (s == QMediaPlayer::EndOfMedia || s == QMediaPlayer::InvalidMedia)
                playing_ = false;
        });
    }

    ~MediaSoundOutput() override {
        voice_.stop();
        deck_.stop();
    }

    void playWave(const QString& path) override {
        // A new source cuts off the sound still playing; one that cannot be
        // played only sets the voice's error, which nobody is told about.
        voice_.setSource(QUrl::fromLocalFile(path));
        voice_.play();
    }

    void openDeck(const QString& path) override {
        deck_.stop();
        reported_ = false;
        playing_ = false;
        open_ = true;
        deck_.setSource(QUrl::fromLocalFile(path));
    }

    bool deckOpen() const override { return open_; }

    void playDeck() override {
        if (!open_)
            return;
        deck_.setPosition(0);
        playing_ = true;
        deck_.play();
    }

    qint64 deckPosition() const override { return open_ ? deck_.position() : 0; }
    bool deckPlaying() const override { return playing_; }

    void stopDeck() override {
        playing_ = false;
        deck_.stop();
    }

private:
    std::function<void(const QString&)> reportError_;
    QAudioOutput voiceSpeaker_;
    QMediaPlayer voice_;
    QAudioOutput speaker_;
    QMediaPlayer deck_;
    bool open_ = false;
    bool playing_ = false;
    bool reported_ = false;
};

}  // namespace

std::unique_ptr<SoundOutput> makeSoundOutput(std::function<void(const QString&)> reportError) {
    return std::make_unique<MediaSoundOutput>(std::move(reportError));
}

}  // namespace orv
