#include "app/help_page.h"

#include <QFile>
#include <QKeyEvent>

#include "app/install_paths.h"

namespace vantrel::app {

QUrl helpPageSource(const QDir& dir) {
    const QString local = dir.filePath(QLatin1String(kHelpFileName));
    if (QFile::exists(local)) return QUrl::fromLocalFile(local);
    if (const QString installed = installedHelpPage(); !installed.isEmpty()) return QUrl::fromLocalFile(installed);
    return QUrl(QStringLiteral("qrc:/VantrelChat.htm"));
}

HelpViewer::HelpViewer(QWidget* parent, const QUrl& page) : QTextBrowser(parent) {
    setWindowFlags(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("HelpBrowser"));
    setWindowTitle(QStringLiteral("Vantrel Chat help"));
    // Links to the web go to the desktop's browser; the page's own anchors stay here.
    setOpenExternalLinks(true);
    setSource(page);
    resize(720, 640);
}

void HelpViewer::keyPressEvent(QKeyEvent* event) {
    const bool ctrlW = event->key() == Qt::Key_W && (event->modifiers() & Qt::ControlModifier);
    if (event->key() == Qt::Key_Escape || ctrlW || event->matches(QKeySequence::Close)) {
        close();
        return;
    }
    QTextBrowser::keyPressEvent(event);
}

}  // namespace vantrel::app
