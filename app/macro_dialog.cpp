#include "app/macro_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/small_dialogs.h"

namespace vantrel::app {

MacroDialog::MacroDialog(QWidget* parent, const MacroTexts& macros) : QDialog(parent) {
    setObjectName(QStringLiteral("MacroDialog"));
    setWindowTitle(QStringLiteral("Edit macros"));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral(
        "Ctrl+1 .. Ctrl+8 send a macro as if typed and Return pressed; with Shift they only put it "
        "into the transmit entry.\nFields: <MYCALL> our call sign, <CALL> the other station's, "
        "<NAME> its operator's name, <UTC> the time (HHMM), <FREQ> the radio's dial in kHz."), this);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    // The air carries 8-bit characters only.
    const QRegularExpression eightBit(QStringLiteral("[\\x{20}-\\x{FF}]*"));
    for (int i = 0; i < kMacroCount; ++i) {
        auto* edit = new QLineEdit(macros[static_cast<std::size_t>(i)], this);
        edit->setObjectName(QStringLiteral("macro%1").arg(i + 1));
        edit->setValidator(new QRegularExpressionValidator(eightBit, edit));
        edit->setMinimumWidth(420);
        form->addRow(QStringLiteral("&%1").arg(i + 1), edit);
        fields_[static_cast<std::size_t>(i)] = edit;
    }
    layout->addLayout(form);
    layout->addWidget(okCancelButtons(this));
}

MacroTexts MacroDialog::macros() const {
    MacroTexts texts;
    for (int i = 0; i < kMacroCount; ++i) texts[static_cast<std::size_t>(i)] = fields_[static_cast<std::size_t>(i)]->text();
    return texts;
}

}  // namespace vantrel::app
