// The line under the window's controls, outside the layout rule's client area: what the program
// has just done (a file saved, a recording playing or ended), the input's peak level and a
// warning when it clips, the tuning frequency with the signal's frequency on the air, and the
// radio's dial read through Hamlib. GUI thread only.
#pragma once

#include <QStatusBar>
#include <QString>

#include "audio/sample_levels.h"
#include "radio/rig_control.h"

class QLabel;

namespace vantrel::app {

inline const QString kOverloadText = QStringLiteral("Input overload: turn the radio's audio down");

// "Tuning 1000 Hz"; with the dial known, also the signal's frequency on the air: the dial plus
// the tuning frequency, minus it on a lower sideband ("Tuning 1000 Hz, RF 14.079.500").
QString tuningText(int tuningHz, const radio::DialReading& dial);

class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent);

    static constexpr int kNoteMs = 8000;
    // Blocks the overload warning stays up, the one that clipped included, so it can be read.
    static constexpr int kOverloadHoldBlocks = 3;

    // A note over the left part for a few seconds ("Saved to ...").
    void note(const QString& text);
    // What a recording played into the receiver is doing; empty shows nothing.
    void setRecordingState(const QString& text);
    // The last captured block's level, or the overload warning.
    void showInputLevel(const audio::InputLevel& level);
    // No input is captured (transmitting, or no sound card).
    void clearInputLevel();
    void showTuning(int tuningHz, const radio::DialReading& dial);
    // The radio's dial ("14.078.500 USB"); empty hides it.
    void showDial(const QString& text);

    QLabel* recordingState() const { return recording_; }
    QLabel* inputLevel() const { return input_; }
    QLabel* tuningReadout() const { return tuning_; }
    QLabel* dial() const { return dial_; }

private:
    QLabel* recording_;
    QLabel* input_;
    QLabel* tuning_;
    QLabel* dial_;
    int overloadHold_ = 0;  // blocks left to show the warning
};

}  // namespace vantrel::app
