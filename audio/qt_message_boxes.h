// Message boxes as the operator sees them: modal, owned by the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "audio/engine_ports.h"

namespace vantrel::audio {

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void showMessage(MessageIcon icon, const QString& caption, const QString& text) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace vantrel::audio
