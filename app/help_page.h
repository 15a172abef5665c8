// The help page "VantrelChat.htm": opened from the working directory in the desktop's browser.
// GUI thread only.
#pragma once

#include <QDir>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace vantrel::app {

inline constexpr const char* kHelpFileName = "VantrelChat.htm";

// Asks the desktop to show a URL; QDesktopServices::openUrl unless a test gives its own.
using UrlOpener = std::function<bool(const QUrl&)>;

// The page in `dir`; when it is missing there, the installed page; failing that it is first
// written out from the program's resources (or, when `dir` is not writable, to a private temporary copy). When no browser can
// open it, the page is shown in a plain text-browser window of our own, which is returned
// (nullptr when the browser took it).
QWidget* openHelp(QWidget* parent, const QDir& dir, const UrlOpener& opener);

// The file to hand to the browser, writing it out first if needed; empty if that failed too.
QString helpPagePath(const QDir& dir);

}  // namespace vantrel::app
