// "Log this QSO...": one contact, prefilled from what the station knows, written to the QSO
// log by OK (or Return). A log that cannot be written is said in the dialog, which stays open
// with everything typed. Modal. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "app/qso_log.h"

class QComboBox;
class QFormLayout;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel::app {

class QsoDialog : public QDialog {
    Q_OBJECT
public:
    // Writes the record; empty when done, else why not.
    using Saver = std::function<QString(const QsoRecord&)>;

    QsoDialog(QWidget* parent, const QsoRecord& prefill, Saver saver);
    // The fields as they stand (also after Cancel: the call and name are the operator's notes).
    QsoRecord record() const;

    QLineEdit* callField() const { return call_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* frequencyField() const { return frequency_; }
    QComboBox* bandField() const { return band_; }
    QLabel* problemLine() const { return problem_; }

    void accept() override;

private:
    QLineEdit* addLine(const QString& label, const QString& text, const char* name);
    void frequencyEdited(const QString& text);

    QsoRecord prefill_;
    Saver saver_;
    QLineEdit* call_ = nullptr;
    QLineEdit* name_ = nullptr;
    QDateTimeEdit* on_ = nullptr;
    QDateTimeEdit* off_ = nullptr;
    QLineEdit* frequency_ = nullptr;
    QComboBox* band_ = nullptr;
    QLineEdit* rstSent_ = nullptr;
    QLineEdit* rstReceived_ = nullptr;
    QLineEdit* comment_ = nullptr;
    QLabel* problem_ = nullptr;
    QPushButton* ok_ = nullptr;
    QFormLayout* form_ = nullptr;
};

}  // namespace vantrel::app
