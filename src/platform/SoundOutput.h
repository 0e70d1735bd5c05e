#pragma once
#include <QString>
#include <functional>
#include <memory>

namespace orv {

// What the sound library plays through: a one-shot WAV voice and the MP3
// deck. An interface, so that tests can listen in without a sound card.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Starts the WAV file and returns at once; a new call cuts off the sound
    // still playing. A file that cannot be played stays silent.
    virtual void playWave(const QString& path) = 0;

    // The deck holds at most one MP3 file. Opening closes the file held before.
    virtual void openDeck(const QString& path) = 0;
    virtual bool deckOpen() const = 0;
    // Plays the open file from the start.
    virtual void playDeck() = 0;
    // Play position in milliseconds, 0 at the start of the file.
    virtual qint64 deckPosition() const = 0;
    // True from a play until a stop or the end of the file, also while the
    // file is still being loaded and the position has not moved yet.
    virtual bool deckPlaying() const = 0;
    // Stops playback; the file stays open.
    virtual void stopDeck() = 0;
};

// The machine's sound output. The media system reports failures on its own
// time, after the call that caused them; they reach `reportError` with the
// media system's text. With no audio device the calls still return and
// nothing is heard.
std::unique_ptr<SoundOutput> makeSoundOutput(std::function<void(const QString&)> reportError);

}  // namespace orv
