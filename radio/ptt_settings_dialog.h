// The "PTT settings" dialog: keying method, serial port and line format, the radio's CI-V
// address from a table of ICOM models, and the operator's own transmit and receive commands.
// The port stays as it is until "APPLY", which builds the commands and starts the port again;
// the line beside APPLY says whether the port is open, or why not. Cancel leaves it as it was.
// Modal, owned by the main window, rebuilt at every opening. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <string>
#include <string_view>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantrel::radio {

class MessagePresenter;
class PttController;

// Control identifiers, carried as the widgets' "controlId" property.
namespace control {
inline constexpr int kPortList = 1526;
inline constexpr int kBaudRateList = 1527;
inline constexpr int kDataBitsList = 1528;
inline constexpr int kParityList = 1529;
inline constexpr int kStopBitsList = 1530;
inline constexpr int kRadioAddressList = 1531;
inline constexpr int kTxCommandBox = 1532;
inline constexpr int kRxCommandBox = 1533;
inline constexpr int kApplyButton = 1534;
inline constexpr int kUseCommandsCheck = 1535;
inline constexpr int kUseCatOption = 1536;
inline constexpr int kUsePttOption = 1537;
inline constexpr int kHexCommandsOption = 1538;
inline constexpr int kTextCommandsOption = 1539;
inline constexpr int kOpenAtStartCheck = 941;  // ours: "Open the port at start"
inline constexpr int kPortStatusLine = 942;    // ours: the line beside APPLY
}  // namespace control

// The radio models; each entry's first two characters are the CI-V address in hexadecimal.
inline constexpr std::array<std::string_view, 10> kRadioAddressEntries{
    "66,ICOM 746PRO",    "56,ICOM 746",   "5C,ICOM 756PRO", "64,ICOM 756PRO II",
    "6E,ICOM 756PRO III", "76,ICOM 7200", "6A,ICOM 7800",   "70,ICOM 7000",
    "7A,ICOM 7600",      "74,ICOM 770"};

// What the dialog needs beyond the controller: the program's own "open at start" choice, and
// what must happen before APPLY closes an open port (the station returns to receive first, so
// its sound never goes out with the radio unkeyed).
struct PttDialogOptions {
    bool openAtStart = false;
    std::function<void()> beforePortCloses;
};

class PttSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Shows the controller's settings; the port is left as it is.
    PttSettingsDialog(PttController& controller, MessagePresenter& messages,
                      QWidget* parent = nullptr, PttDialogOptions options = {});

    static QString stoppedCaption();
    static QString startedCaption();
    // Why the device at `devicePath` did not open, for the line beside APPLY.
    static QString portProblem(const std::string& devicePath);

    bool openAtStart() const;

    // How long "Comms STARTED" stays in the caption before the dialog closes, in milliseconds.
    static constexpr int kStartedPauseMs = 500;

public slots:
    void reject() override;  // Cancel, Escape or the close box: the port stays as it was

private:
    void createControls();
    void layoutControls();
    void fillLists();
    void setCommandControlsEnabled(bool enabled);
    void setLineListsEnabled(bool enabled);
    void onUsePtt(bool checked);
    void onUseCat(bool checked);
    void onUseCommands(bool checked);
    void apply();
    void showPortState();

    PttController& controller_;
    MessagePresenter& messages_;
    PttDialogOptions options_;
    bool startedClosing_ = false;

    QComboBox* portList_ = nullptr;
    QComboBox* baudList_ = nullptr;
    QComboBox* dataBitsList_ = nullptr;
    QComboBox* parityList_ = nullptr;
    QComboBox* stopBitsList_ = nullptr;
    QComboBox* addressList_ = nullptr;
    QLineEdit* txCommandBox_ = nullptr;
    QLineEdit* rxCommandBox_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QCheckBox* useCommandsCheck_ = nullptr;
    QRadioButton* useCatOption_ = nullptr;
    QRadioButton* usePttOption_ = nullptr;
    QRadioButton* hexOption_ = nullptr;
    QRadioButton* textOption_ = nullptr;
    QCheckBox* openAtStartCheck_ = nullptr;
    QLabel* statusLine_ = nullptr;
};

struct PttDialogOutcome {
    int result = 0;           // QDialog::Accepted when the port was started
    bool openAtStart = false; // the check box as the dialog closed
};

// Builds and runs the dialog modally; returns when it closes.
PttDialogOutcome showPttSettings(PttController& controller, MessagePresenter& messages, QWidget* parent,
                                 PttDialogOptions options = {});

}  // namespace vantrel::radio
