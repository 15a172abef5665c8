#include "radio/message_presenter.h"

#include <QMessageBox>

namespace vantrel::radio {

void QtMessagePresenter::inform(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
}

}  // namespace vantrel::radio
