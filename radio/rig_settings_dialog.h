// The "Rig control (Hamlib)" dialog: Hamlib on or off, the radio model (every model Hamlib
// knows, with a search field), its port or rigctld address, the serial speed, and whether SEND
// and RECV key the transmitter through Hamlib. APPLY opens the radio and shows whether it is
// connected; OK keeps the choices; Cancel or Escape brings back the ones in force before.
// Modal, owned by the main window, rebuilt at every opening. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include "radio/hamlib_rig.h"
#include "radio/rig_control.h"
#include "radio/rig_keyer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace vantrel::radio {

namespace control {
inline constexpr int kRigEnabledCheck = 1550;
inline constexpr int kRigModelSearch = 1551;
inline constexpr int kRigModelList = 1552;
inline constexpr int kRigPortList = 1553;
inline constexpr int kRigSpeedList = 1554;
inline constexpr int kRigKeyThroughCheck = 1555;
inline constexpr int kRigApplyButton = 1556;
inline constexpr int kRigStatusLine = 1557;
}  // namespace control

class RigSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // `models` is what the model list offers (hamlibModels() in the program).
    RigSettingsDialog(RigKeyer& keyer, const std::vector<HamlibModel>& models, QWidget* parent = nullptr);

    // The choices the controls show now.
    RigSettings shownSettings() const;
    // Shows only the models whose text holds `text` (case-insensitive), keeping the selection
    // where it is still shown.
    void filterModels(const QString& text);
    static QString linkText(RigKeyer::Link link, const QString& error);

public slots:
    void apply();
    void accept() override;
    void reject() override;

private:
    void createControls();
    void fillModels(int selectedModel);
    void showLink();

    RigKeyer& keyer_;
    const std::vector<HamlibModel>& models_;
    const RigSettings before_;
    const RigKeyer::Link linkBefore_;
    bool applied_ = false;

    QCheckBox* enabledCheck_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    QComboBox* modelList_ = nullptr;
    QComboBox* portList_ = nullptr;
    QComboBox* speedList_ = nullptr;
    QCheckBox* keyThroughCheck_ = nullptr;
    QLabel* statusLine_ = nullptr;
};

// Builds and runs the dialog modally; returns when it closes.
int showRigSettings(RigKeyer& keyer, QWidget* parent);

}  // namespace vantrel::radio
