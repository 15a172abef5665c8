// "Edit macros...": the eight macros in one modal dialog, with the fields they may hold.
// GUI thread only.
#pragma once

#include <QDialog>

#include <array>

#include "app/macros.h"

class QLineEdit;

namespace vantrel::app {

class MacroDialog : public QDialog {
    Q_OBJECT
public:
    MacroDialog(QWidget* parent, const MacroTexts& macros);
    MacroTexts macros() const;
    QLineEdit* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

private:
    std::array<QLineEdit*, kMacroCount> fields_{};
};

}  // namespace vantrel::app
