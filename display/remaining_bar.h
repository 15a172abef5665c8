// The transmit progress bar (control 1429): shrinks from 0.61 of its client width towards
// nothing as the transmit string is taken. Thirteen 2-pixel green lines with a white one in
// the middle; empty while nothing is being sent. Updated at the start of every rendered block.
#pragma once

#include <QFrame>

#include <optional>

class QPainter;

namespace vantrel::display {

inline constexpr int kRemainingBarId = 1429;

// Colours of the lines at y = 0 .. 12, dark green at the edges, white in the middle.
QRgb remainingBarLineColour(int line);

// Clears `client` to `background`, then draws the bar `length` pixels long (none: nothing).
void paintRemainingBar(QPainter& painter, QRect client, const QColor& background,
                       std::optional<int> length);

class RemainingBar : public QFrame {
    Q_OBJECT
public:
    explicit RemainingBar(QWidget* parent = nullptr);

    // txTaken characters of txLength have been taken; txLength 0 means not transmitting.
    void setProgress(int txTaken, int txLength);
    // The drawn length for the current client width, none while not transmitting.
    std::optional<int> barLength() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int txTaken_ = 0;
    int txLength_ = 0;
};

}  // namespace vantrel::display
