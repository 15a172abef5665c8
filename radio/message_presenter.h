// The message boxes the radio layer shows, behind an interface so tests can record them
// instead of blocking on a modal box. GUI thread only.
#pragma once

#include <QString>

class QWidget;

namespace vantrel::radio {

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // A plain box (no icon) with an OK button, modal to the whole program, brought to the front.
    // Returns when the operator has dismissed it.
    virtual void inform(QWidget* parent, const QString& caption, const QString& text) = 0;
};

class QtMessagePresenter : public MessagePresenter {
public:
    void inform(QWidget* parent, const QString& caption, const QString& text) override;
};

}  // namespace vantrel::radio
