#include "audio/qt_message_boxes.h"

#include <QMessageBox>

#include "audio/return_release_guard.h"

namespace vantrel::audio {

void QtMessageBoxes::showMessage(MessageIcon icon, const QString& caption, const QString& text) {
    QMessageBox box(parent_);
    box.setIcon(icon == MessageIcon::Error     ? QMessageBox::Critical
                : icon == MessageIcon::Warning ? QMessageBox::Warning
                                               : QMessageBox::Information);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    const ReturnReleaseGuard guard(&box);
    box.exec();
}

}  // namespace vantrel::audio
