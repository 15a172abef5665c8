#include "radio/ptt_settings_dialog.h"

#include "radio/message_presenter.h"
#include "radio/ptt_controller.h"
#include "radio/serial_lists.h"
#include "radio/serial_port_discovery.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

#include <unistd.h>

namespace vantrel::radio {

namespace {

const QString kCaption = QStringLiteral("PTT settings");
const QString kCaptionGap = QString(38, QLatin1Char(' '));
const QString kFailureText = QStringLiteral("Failure to start communications!");
const QString kFailureCaption = QStringLiteral("CAT control panel for ICOM radios");

QString fromLatin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toLatin1(const QString& text) { return text.toLatin1().toStdString(); }

template <std::size_t N>
void addEntries(QComboBox* list, const std::array<std::string_view, N>& entries)
{
    for (std::string_view entry : entries) {
        list->addItem(QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
    }
}

// Selects the 1-based position, or nothing when it is outside the list.
void selectPosition(QComboBox* list, int position)
{
    list->setCurrentIndex(position >= 1 && position <= list->count() ? position - 1 : -1);
}

// The 1-based position of the text shown in the field, 0 for typed text that is no entry.
int shownPosition(const QComboBox* list)
{
    const int index = list->findText(list->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    return index + 1;
}

template <typename Widget>
Widget* tagged(Widget* widget, int id, const char* name)
{
    widget->setProperty("controlId", id);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Dialog units: a quarter of the average character width across, an eighth of the line height down.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics)
    {
        static const QString alphabet =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX_ = std::max(1, (metrics.horizontalAdvance(alphabet) + 26) / 52);
        baseY_ = std::max(1, metrics.height());
    }
    int x(int du) const { return (du * baseX_ + 2) / 4; }
    int y(int du) const { return (du * baseY_ + 4) / 8; }

private:
    int baseX_ = 1;
    int baseY_ = 1;
};

}  // namespace

QString PttSettingsDialog::stoppedCaption() { return kCaption + kCaptionGap + QStringLiteral("Comms STOPPED"); }

QString PttSettingsDialog::startedCaption() { return kCaption + kCaptionGap + QStringLiteral("Comms STARTED"); }

QString PttSettingsDialog::portProblem(const std::string& devicePath)
{
    if (::access(devicePath.c_str(), F_OK) != 0) return QStringLiteral("No such device");
    if (::access(devicePath.c_str(), R_OK | W_OK) != 0)
        return QStringLiteral("Permission denied (is your user in the dialout group?)");
    return QStringLiteral("The device is in use or is not a serial port");
}

PttSettingsDialog::PttSettingsDialog(PttController& controller, MessagePresenter& messages,
                                     QWidget* parent, PttDialogOptions options)
    : QDialog(parent), controller_(controller), messages_(messages), options_(std::move(options))
{
    setWindowTitle(kCaption);
    setModal(true);
    createControls();

    PortSettings& settings = controller_.settings();
    const bool ptt = settings.pttMethod == "PTT";
    // Any method but "PTT" shows as "Use CAT"; make it so, or APPLY would start a port that
    // keys nothing while the dialog said CAT.
    if (!ptt) settings.pttMethod = "CAT";
    setCommandControlsEnabled(false);
    setLineListsEnabled(!ptt);
    useCommandsCheck_->setEnabled(!ptt);
    if (settings.useCommands == 1 && settings.pttMethod == "CAT") {
        useCommandsCheck_->setChecked(true);
        setCommandControlsEnabled(true);
    }
    // Likewise any kind but "HEX" shows as TEXT commands, and is then used as text.
    if (settings.commandKind != "HEX") settings.commandKind = "TXT";
    (settings.commandKind == "HEX" ? hexOption_ : textOption_)->setChecked(true);
    txCommandBox_->setText(fromLatin1(settings.txCommandText));
    rxCommandBox_->setText(fromLatin1(settings.rxCommandText));
    fillLists();
    layoutControls();
    openAtStartCheck_->setChecked(options_.openAtStart);

    // The radio stays keyable while the dialog is open; only APPLY changes the port.
    showPortState();
    (ptt ? usePttOption_ : useCatOption_)->setChecked(true);

    // Connected last so that setting the opening state does not count as the operator's clicks.
    connect(usePttOption_, &QRadioButton::toggled, this, &PttSettingsDialog::onUsePtt);
    connect(useCatOption_, &QRadioButton::toggled, this, &PttSettingsDialog::onUseCat);
    connect(useCommandsCheck_, &QCheckBox::toggled, this, &PttSettingsDialog::onUseCommands);
    connect(hexOption_, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) controller_.settings().commandKind = "HEX";
    });
    connect(textOption_, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) controller_.settings().commandKind = "TXT";
    });
    connect(applyButton_, &QPushButton::clicked, this, &PttSettingsDialog::apply);
}

void PttSettingsDialog::createControls()
{
    // Frames first, so the controls drawn over them stay on top.
    auto* portFrame = new QGroupBox(QStringLiteral("Port Settings"), this);
    portFrame->setObjectName(QStringLiteral("portSettingsFrame"));
    auto* commandFrame = new QGroupBox(QStringLiteral("Enter commands for TX and RX)"), this);
    commandFrame->setObjectName(QStringLiteral("commandsFrame"));

    auto makeList = [this](int id, const char* name) {
        auto* list = tagged(new QComboBox(this), id, name);
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        return list;
    };
    portList_ = makeList(control::kPortList, "portList");
    baudList_ = makeList(control::kBaudRateList, "baudRateList");
    dataBitsList_ = makeList(control::kDataBitsList, "dataBitsList");
    parityList_ = makeList(control::kParityList, "parityList");
    stopBitsList_ = makeList(control::kStopBitsList, "stopBitsList");
    addressList_ = makeList(control::kRadioAddressList, "radioAddressList");

    useCatOption_ = tagged(new QRadioButton(QStringLiteral("Use CAT"), this), control::kUseCatOption, "useCatOption");
    usePttOption_ = tagged(new QRadioButton(QStringLiteral("Use PTT"), this), control::kUsePttOption, "usePttOption");
    applyButton_ = tagged(new QPushButton(QStringLiteral("APPLY"), this), control::kApplyButton, "applyButton");
    applyButton_->setAutoDefault(false);
    txCommandBox_ = tagged(new QLineEdit(this), control::kTxCommandBox, "txCommandBox");
    rxCommandBox_ = tagged(new QLineEdit(this), control::kRxCommandBox, "rxCommandBox");
    useCommandsCheck_ = tagged(new QCheckBox(QStringLiteral("Use TX and RX commands?(nn = address)"), this),
                               control::kUseCommandsCheck, "useCommandsCheck");
    hexOption_ = tagged(new QRadioButton(QStringLiteral("HEX commands (ICOM radios)"), this),
                        control::kHexCommandsOption, "hexCommandsOption");
    textOption_ = tagged(new QRadioButton(QStringLiteral("TEXT commands (non-ICOM radios)"), this),
                         control::kTextCommandsOption, "textCommandsOption");
    openAtStartCheck_ = tagged(new QCheckBox(QStringLiteral("Open the port at start"), this),
                               control::kOpenAtStartCheck, "openAtStartCheck");
    statusLine_ = tagged(new QLabel(this), control::kPortStatusLine, "portStatusLine");
    statusLine_->setTextFormat(Qt::PlainText);
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Two independent pairs of options on one dialog.
    auto* methodGroup = new QButtonGroup(this);
    methodGroup->addButton(useCatOption_);
    methodGroup->addButton(usePttOption_);
    auto* kindGroup = new QButtonGroup(this);
    kindGroup->addButton(hexOption_);
    kindGroup->addButton(textOption_);
}

void PttSettingsDialog::layoutControls()
{
    // The classic arrangement, held by layouts so that no caption or list is cut short in any
    // font: the port frame at the left, the options and APPLY beside it, the commands below.
    const DialogUnits du(fontMetrics());
    auto* portForm = new QFormLayout(findChild<QGroupBox*>(QStringLiteral("portSettingsFrame")));
    portForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    portForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const std::pair<const char*, QComboBox*> rows[] = {{"Port:", portList_},           {"Baud rate:", baudList_},
                                                       {"Data bits:", dataBitsList_},  {"Parity:", parityList_},
                                                       {"Stop bits:", stopBitsList_},  {"Radio address:", addressList_}};
    for (const auto& [caption, list] : rows) {
        list->setMinimumWidth(du.x(75));
        portForm->addRow(QString::fromLatin1(caption), list);
    }
    // The port list keeps the field's width; its opened list shows the device paths whole.
    portList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    applyButton_->setMinimumSize(du.x(50), du.y(30));
    auto* methods = new QVBoxLayout;
    methods->addWidget(useCatOption_);
    methods->addWidget(usePttOption_);
    auto* applyRow = new QHBoxLayout;
    applyRow->addLayout(methods);
    applyRow->addSpacing(du.x(20));
    applyRow->addWidget(applyButton_);
    applyRow->addStretch(1);
    statusLine_->setMinimumWidth(du.x(150));
    auto* options = new QVBoxLayout;
    options->addWidget(openAtStartCheck_);
    options->addSpacing(du.y(8));
    options->addLayout(applyRow);
    options->addWidget(statusLine_);
    options->addStretch(1);

    auto* commandGrid = new QGridLayout(findChild<QGroupBox*>(QStringLiteral("commandsFrame")));
    commandGrid->addWidget(new QLabel(QStringLiteral("TX command:"), this), 0, 0, Qt::AlignRight);
    commandGrid->addWidget(txCommandBox_, 0, 1);
    commandGrid->addWidget(new QLabel(QStringLiteral("RX command:"), this), 1, 0, Qt::AlignRight);
    commandGrid->addWidget(rxCommandBox_, 1, 1);
    commandGrid->setColumnMinimumWidth(1, du.x(115));
    commandGrid->setColumnMinimumWidth(2, du.x(10));
    commandGrid->addWidget(useCommandsCheck_, 0, 3);
    commandGrid->addWidget(hexOption_, 1, 3);
    commandGrid->addWidget(textOption_, 2, 3);

    auto* top = new QHBoxLayout;
    top->addWidget(findChild<QGroupBox*>(QStringLiteral("portSettingsFrame")));
    top->addSpacing(du.x(20));
    top->addLayout(options, 1);
    auto* dialog = new QVBoxLayout(this);
    dialog->addLayout(top);
    dialog->addWidget(findChild<QGroupBox*>(QStringLiteral("commandsFrame")));
    dialog->setSizeConstraint(QLayout::SetFixedSize);
}

void PttSettingsDialog::fillLists()
{
    const PortSettings& settings = controller_.settings();

    for (const std::string& name : fixedPortNames()) portList_->addItem(QString::fromStdString(name));
    int widest = 0;
    for (const PresentSerialPort& port : presentSerialPorts()) {
        portList_->addItem(port.path);
        portList_->setItemData(portList_->count() - 1, port.description, Qt::ToolTipRole);
        widest = std::max(widest, portList_->fontMetrics().horizontalAdvance(port.path) + 30);
    }
    // Device paths are longer than the field; the opened list shows them whole.
    portList_->view()->setMinimumWidth(widest);
    if (settings.portPath.empty()) {
        selectPosition(portList_, settings.portIndex);
    } else {
        const QString path = fromLatin1(settings.portPath);
        portList_->setCurrentIndex(portList_->findText(path, Qt::MatchExactly | Qt::MatchCaseSensitive));
        if (portList_->currentIndex() < 0) portList_->setEditText(path);
    }

    addEntries(baudList_, kBaudRates);
    selectPosition(baudList_, settings.baudIndex);
    addEntries(dataBitsList_, kDataBits);
    selectPosition(dataBitsList_, settings.dataBitsIndex);
    addEntries(parityList_, kParities);
    selectPosition(parityList_, settings.parityIndex);
    addEntries(stopBitsList_, kStopBits);
    selectPosition(stopBitsList_, settings.stopBitsIndex);

    addEntries(addressList_, kRadioAddressEntries);
    addressList_->addItem(fromLatin1(settings.radioAddress));
    selectPosition(addressList_, settings.addressIndex);
    // An address typed earlier stays in the field, so a second APPLY keeps it rather than
    // sending frames to address 00.
    if (addressList_->currentIndex() < 0) addressList_->setEditText(fromLatin1(settings.radioAddress));
}

void PttSettingsDialog::setCommandControlsEnabled(bool enabled)
{
    hexOption_->setEnabled(enabled);
    textOption_->setEnabled(enabled);
    txCommandBox_->setEnabled(enabled);
    rxCommandBox_->setEnabled(enabled);
}

void PttSettingsDialog::setLineListsEnabled(bool enabled)
{
    for (QComboBox* list : {baudList_, dataBitsList_, parityList_, stopBitsList_, addressList_}) {
        list->setEnabled(enabled);
    }
}

void PttSettingsDialog::onUsePtt(bool checked)
{
    if (!checked) return;
    controller_.settings().pttMethod = "PTT";
    setLineListsEnabled(false);
    useCommandsCheck_->setEnabled(false);
    setCommandControlsEnabled(false);
}

void PttSettingsDialog::onUseCat(bool checked)
{
    if (!checked) return;
    controller_.settings().pttMethod = "CAT";
    setLineListsEnabled(true);
    useCommandsCheck_->setEnabled(true);
    onUseCommands(useCommandsCheck_->isChecked());
}

void PttSettingsDialog::onUseCommands(bool checked)
{
    controller_.settings().useCommands = checked ? 1 : 0;
    setCommandControlsEnabled(checked);
}

void PttSettingsDialog::apply()
{
    if (startedClosing_) return;
    // APPLY closes an open port, which unkeys the radio: a transmission under way ends first,
    // unkeyed by the commands that keyed it, so its sound never goes out unkeyed.
    if (controller_.isPortOpen() && options_.beforePortCloses) options_.beforePortCloses();
    PortSettings& settings = controller_.settings();

    const int portPosition = shownPosition(portList_);
    if (portPosition >= 1 && portPosition <= kFixedPortCount) {
        settings.portIndex = portPosition;
        settings.portPath.clear();
    } else {
        // A device found on this machine or typed by the operator: kept by its path, since its
        // place in the list changes with the hardware plugged in.
        settings.portIndex = 0;
        settings.portPath = toLatin1(portList_->currentText());
    }
    settings.baudIndex = shownPosition(baudList_);
    settings.dataBitsIndex = shownPosition(dataBitsList_);
    settings.parityIndex = shownPosition(parityList_);
    settings.stopBitsIndex = shownPosition(stopBitsList_);
    settings.addressIndex = shownPosition(addressList_);

    const std::string txCommand = toLatin1(txCommandBox_->text());
    const std::string rxCommand = toLatin1(rxCommandBox_->text());
    settings.radioAddress = toLatin1(addressList_->currentText().left(2));
    controller_.buildCatCommands(settings.radioAddress, txCommand, rxCommand);

    controller_.closePort();
    const bool opened = controller_.openPort(
        toLatin1(portList_->currentText()), toLatin1(baudList_->currentText()),
        toLatin1(dataBitsList_->currentText()), toLatin1(parityList_->currentText()),
        toLatin1(stopBitsList_->currentText()));
    if (!opened) {
        // The reason stays beside APPLY, with the dialog open to put it right.
        showPortState();
        statusLine_->setText(QStringLiteral("Port not open: %1").arg(portProblem(devicePathForPort(toLatin1(portList_->currentText())))));
        messages_.inform(this, kFailureCaption, kFailureText);
        return;
    }
    showPortState();
    startedClosing_ = true;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != statusLine_) child->setEnabled(false);
    }
    QTimer::singleShot(kStartedPauseMs, this, [this] { QDialog::done(QDialog::Accepted); });
}

void PttSettingsDialog::showPortState()
{
    const bool open = controller_.isPortOpen();
    setWindowTitle(open ? startedCaption() : stoppedCaption());
    statusLine_->setText(open ? QStringLiteral("Port open") : QStringLiteral("Port closed: APPLY opens it"));
}

bool PttSettingsDialog::openAtStart() const { return openAtStartCheck_->isChecked(); }

void PttSettingsDialog::reject()
{
    // The port has just been started and the dialog is on its way out: leave it running.
    if (startedClosing_) return;
    QDialog::reject();
}

PttDialogOutcome showPttSettings(PttController& controller, MessagePresenter& messages, QWidget* parent,
                                 PttDialogOptions options)
{
    PttSettingsDialog dialog(controller, messages, parent, std::move(options));
    PttDialogOutcome outcome;
    outcome.result = dialog.exec();
    outcome.openAtStart = dialog.openAtStart();
    return outcome;
}

}  // namespace vantrel::radio
