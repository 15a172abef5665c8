// The help page "VantrelChat.htm" in a viewer of the program's own: one window, brought to the
// front when help is asked for again, closed with Escape or Ctrl+W. Nothing is written to disk
// to show it. GUI thread only.
#pragma once

#include <QDir>
#include <QTextBrowser>
#include <QUrl>

namespace vantrel::app {

inline constexpr const char* kHelpFileName = "VantrelChat.htm";

// The page to show: the operator's own in `dir`, else the installed page, else the one built
// into the program.
QUrl helpPageSource(const QDir& dir);

class HelpViewer : public QTextBrowser {
    Q_OBJECT
public:
    // A window of its own above `parent`, deleted when closed.
    HelpViewer(QWidget* parent, const QUrl& page);

protected:
    void keyPressEvent(QKeyEvent* event) override;  // Escape and Ctrl+W close it
};

}  // namespace vantrel::app
