#include "audio/qt_message_boxes.h"

#include <QMessageBox>

namespace vantrel::audio {

void QtMessageBoxes::showMessage(MessageIcon icon, const QString& caption, const QString& text) {
    QMessageBox box(parent_);
    box.setIcon(icon == MessageIcon::Error     ? QMessageBox::Critical
                : icon == MessageIcon::Warning ? QMessageBox::Warning
                                               : QMessageBox::Information);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace vantrel::audio
