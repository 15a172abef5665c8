#include "audio/device_selection.h"

#include <QAudioDevice>
#include <QComboBox>
#include <QFontMetrics>
#include <QMediaDevices>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include "audio/audio_engine.h"
#include "audio/engine_ports.h"

namespace vantrel::audio {

namespace {

// Dialog units: a quarter of the average character width across, an eighth of the line
// height down, as the dialog's font measures them.
QRect dialogUnits(const QFontMetrics& fm, int x, int y, int w, int h) {
    const int cx = fm.averageCharWidth();
    const int cy = fm.height();
    return {x * cx / 4, y * cy / 8, w * cx / 4, h * cy / 8};
}

QStringList descriptions(const QList<QAudioDevice>& devices) {
    QStringList names;
    names.reserve(devices.size());
    for (const QAudioDevice& d : devices) names << d.description();
    return names;
}

}  // namespace

QStringList systemInputNames() { return descriptions(QMediaDevices::audioInputs()); }
QStringList systemOutputNames() { return descriptions(QMediaDevices::audioOutputs()); }

DeviceDialog::DeviceDialog(Kind kind, const QStringList& deviceNames, int currentDevice, QWidget* parent)
    : QDialog(parent) {
    const bool input = kind == Kind::Input;
    setWindowTitle(input ? kInputDialogTitle : kOutputDialogTitle);
    setObjectName(input ? QStringLiteral("inputDeviceDialog") : QStringLiteral("outputDeviceDialog"));
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(224, 255, 255));
    setPalette(pal);
    setAutoFillBackground(true);

    const QFontMetrics fm(font());
    list_ = new QComboBox(this);
    list_->setObjectName(input ? QStringLiteral("inputDeviceList") : QStringLiteral("outputDeviceList"));
    list_->setProperty("controlId", input ? kInputListId : kOutputListId);
    list_->addItems(deviceNames);
    list_->setCurrentIndex(currentDevice >= 0 && currentDevice < deviceNames.size() ? currentDevice : -1);
    const QRect listRect = dialogUnits(fm, 1, 2, 216, 14);
    list_->setGeometry(listRect.x(), listRect.y(), listRect.width(), std::max(listRect.height(), list_->sizeHint().height()));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(input ? QStringLiteral("inputOkButton") : QStringLiteral("outputOkButton"));
    ok->setProperty("controlId", input ? kInputOkId : kOutputOkId);
    ok->setGeometry(dialogUnits(fm, 70, 26, 70, 23));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &DeviceDialog::okPressed);

    const QRect frame = dialogUnits(fm, 100, 100, 217, 60);
    setFixedSize(frame.size());
    if (parent) move(parent->mapToGlobal(frame.topLeft()));
}

int DeviceDialog::selectedDevice() const { return list_->currentIndex(); }

DeviceSelector::DeviceSelector(AudioEngine& engine, MessageBoxes& messages, NameSource inputNames, NameSource outputNames)
    : engine_(engine), messages_(messages), inputNames_(std::move(inputNames)), outputNames_(std::move(outputNames)) {}

void DeviceSelector::selectInputDevice(QWidget* parent) {
    // Capture stays closed while the operator chooses.
    engine_.closeCapture();
    const QStringList names = inputNames_();
    const int previous = engine_.inputDevice();
    DeviceDialog dialog(DeviceDialog::Kind::Input, names, previous, parent);
    QObject::connect(&dialog, &DeviceDialog::okPressed, &dialog, [this, &dialog] {
        engine_.setInputDevice(dialog.selectedDevice());
        // While transmitting only the number is kept: RECV opens the new device.
        if (engine_.transmitting() || engine_.openCapture()) dialog.accept();
    });
    if (names.isEmpty()) messages_.showMessage(MessageIcon::Warning, kWarningCaption, kNoInputsText);
    if (hook_) hook_(dialog);
    if (dialog.exec() == QDialog::Accepted) return;
    // Left without a working choice: back to the device in use before, as if never opened.
    engine_.setInputDevice(previous);
    if (!engine_.transmitting()) engine_.openCapture();
}

void DeviceSelector::selectOutputDevice(QWidget* parent) {
    // Playback closes at once. A transmission in progress ends here as with RECV: a radio left
    // keyed with no audio would put a bare carrier on the air.
    if (engine_.transmitting())
        engine_.receive();
    else
        engine_.closePlayback();
    const QStringList names = outputNames_();
    DeviceDialog dialog(DeviceDialog::Kind::Output, names, engine_.outputDevice(), parent);
    QObject::connect(&dialog, &DeviceDialog::okPressed, &dialog, [this, &dialog] {
        engine_.setOutputDevice(dialog.selectedDevice());
        dialog.accept();
    });
    if (names.isEmpty()) messages_.showMessage(MessageIcon::Warning, kWarningCaption, kNoOutputsText);
    if (hook_) hook_(dialog);
    dialog.exec();
}

void DeviceSelector::openAudioControlPanel() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
    // The input devices page, where the receiver's level is set.
    if (!program.isEmpty() && QProcess::startDetached(program, {QStringLiteral("--tab=4")})) return;
    messages_.showMessage(MessageIcon::Warning, kControlPanelCaption, kNoControlPanelText);
}

}  // namespace vantrel::audio
