// Tools -> "Signal browser": a window of its own, beside the main window, listing every station
// the browser's receivers hear across the passband (tuning frequency, call sign, S/N, when last
// heard in UTC, recent text) above a waterfall of the whole passband with each station marked.
// A double click or Return on a row, or a click on a station's mark, asks for the main
// receiver to be tuned to that station. GUI thread only.
#pragma once

#include <QWidget>

#include <functional>
#include <utility>

class QCheckBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantrel::display {
class BandView;
}

namespace vantrel::app {

class BandWatch;

class SignalBrowser : public QWidget {
    Q_OBJECT
public:
    // The main receiver's search range in Hz, read whenever the marks are drawn.
    using RangeSource = std::function<std::pair<double, double>()>;

    // `watch` must outlive the window; `parent` is the main window (the browser is a window of
    // its own all the same).
    SignalBrowser(BandWatch& watch, RangeSource range, bool alwaysRun, QWidget* parent);

    QTreeWidget* list() const { return list_; }
    display::BandView* bandView() const { return view_; }
    // Shows the list and the marks as the receivers last left them.
    void refresh();

signals:
    void tuneRequested(int tuningFrequency);
    void alwaysRunChanged(bool alwaysRun);
    // The window was shown or closed (its size and place are worth keeping then).
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void tuneToStation(int id);

    BandWatch& watch_;
    RangeSource range_;
    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QCheckBox* alwaysRun_ = nullptr;
    display::BandView* view_ = nullptr;
};

// "HH:MM:SS" in UTC of a time in seconds since the epoch.
QString utcClock(double seconds);
// The last `length` characters of a station's text on one line: line breaks as " ¶ ", runs of
// blanks as one.
QString oneLine(std::string_view text, int length);

}  // namespace vantrel::app
