#pragma once
#include "widgets/ToolWindow.h"
#include "net/ItemTransfer.h"

#include <functional>
#include <memory>

class QListWidget;

namespace orv {

class Adventure;
class Connection;
class PictureBox;
class SoundOutput;
struct DragState;

// JanSnd, "Efeitos sonoros:": the adventure's WAV and MP3 files in ArqSnd; a
// click plays one, WAV files as a one-shot sound, MP3 files on the deck that
// btSndStp stops.
class SoundWindow : public ToolWindow {
public:
    SoundWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag,
                std::function<void()> hideFullWidthViews);
    ~SoundWindow() override;

    // "Sons": clear Msg6, hide the full-width views, come to the front, re-read
    // the list, paint the transfer buttons, show; when the connection is ready
    // also show "Upload" and "Down".
    void open();

    // Tests listen through an output of their own. Without one, the machine's
    // output is made at the first sound played.
    void setSoundOutput(std::unique_ptr<SoundOutput> output);

    QListWidget* fileList() const { return soundList_; }
    // The file name last clicked, which the transfer buttons move; empty
    // until one is, and again once another adventure is opened.
    const QString& chosenSound() const { return chosen_; }
    QLabel* status() const { return statusLine_; }
    PictureBox* uploadButton() const { return uploadButton_; }
    PictureBox* downButton() const { return downloadButton_; }

    // Event handlers.
    void ArqSndClick();
    void btSndStpClick();
    void bnSndUpClick();
    void bnSndDwClick();
    void PlaySoundFile(const QString& name);

private:
    SoundOutput& output();
    void stopDeckIfPlaying();
    void fillList();
    void showTransferButtons();

    Adventure& adventure_;
    Connection& connection_;
    std::function<void()> hideFullWidthViews_;
    std::unique_ptr<SoundOutput> output_;
    QString chosen_;

    QListWidget* soundList_;      // ArqSnd
    QLabel* chosenSoundLabel_;    // lbNoSnd, after "Som:"
    QLabel* deckLabel_;           // lbSndStp, "Deck mp3:", shown with the stop button
    PictureBox* stopButton_;      // btSndStp: stops the MP3 deck
    PictureBox* uploadButton_;    // bnSndUp
    PictureBox* downloadButton_;  // bnSndDw
    QLabel* statusLine_;          // Msg6
};

}  // namespace orv
