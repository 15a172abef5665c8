#include "radio/rig_settings_dialog.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "radio/serial_lists.h"
#include "radio/serial_port_discovery.h"

namespace vantrel::radio {
namespace {

const QString kDefaultSpeed = QStringLiteral("Model's default");
constexpr std::array<int, 8> kSerialSpeeds{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

template <typename Widget>
Widget* tagged(Widget* widget, int id, const char* name) {
    widget->setProperty("controlId", id);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

RigSettingsDialog::RigSettingsDialog(RigKeyer& keyer, const std::vector<HamlibModel>& models, QWidget* parent)
    : QDialog(parent), keyer_(keyer), models_(models), before_(keyer.settings()), linkBefore_(keyer.link()) {
    setWindowTitle(QStringLiteral("Rig control (Hamlib)"));
    createControls();
    connect(&keyer_, &RigKeyer::linkChanged, this, &RigSettingsDialog::showLink);
    showLink();
}

void RigSettingsDialog::createControls() {
    enabledCheck_ = tagged(new QCheckBox(QStringLiteral("Use Hamlib rig control"), this), control::kRigEnabledCheck,
                           "RigEnabledCheck");
    enabledCheck_->setChecked(before_.enabled != 0);

    searchField_ = tagged(new QLineEdit(this), control::kRigModelSearch, "RigModelSearch");
    searchField_->setPlaceholderText(QStringLiteral("Type to search: maker, model or number"));
    searchField_->setClearButtonEnabled(true);
    modelList_ = tagged(new QComboBox(this), control::kRigModelList, "RigModelList");
    modelList_->setMaxVisibleItems(20);
    modelList_->setMinimumContentsLength(32);
    fillModels(before_.model);
    connect(searchField_, &QLineEdit::textChanged, this, &RigSettingsDialog::filterModels);

    portList_ = tagged(new QComboBox(this), control::kRigPortList, "RigPortList");
    portList_->setEditable(true);
    portList_->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& name : fixedPortNames()) portList_->addItem(QString::fromStdString(name));
    for (const PresentSerialPort& port : presentSerialPorts()) {
        portList_->addItem(port.path);
        portList_->setItemData(portList_->count() - 1, port.description, Qt::ToolTipRole);
    }
    portList_->addItem(QStringLiteral("localhost:4532"));
    portList_->setItemData(portList_->count() - 1, QStringLiteral("rigctld on this computer (model 2)"), Qt::ToolTipRole);
    portList_->setCurrentText(QString::fromStdString(before_.port));
    portList_->setToolTip(QStringLiteral("Serial device of the radio, or host:port of rigctld for model 2"));

    speedList_ = tagged(new QComboBox(this), control::kRigSpeedList, "RigSpeedList");
    speedList_->setEditable(true);
    speedList_->setInsertPolicy(QComboBox::NoInsert);
    speedList_->addItem(kDefaultSpeed);
    for (int speed : kSerialSpeeds) speedList_->addItem(QString::number(speed));
    speedList_->setCurrentText(before_.serialSpeed > 0 ? QString::number(before_.serialSpeed) : kDefaultSpeed);

    keyThroughCheck_ = tagged(new QCheckBox(QStringLiteral("Key the transmitter through Hamlib"), this),
                              control::kRigKeyThroughCheck, "RigKeyThroughCheck");
    keyThroughCheck_->setChecked(before_.keyThrough != 0);

    auto* applyButton = tagged(new QPushButton(QStringLiteral("APPLY"), this), control::kRigApplyButton, "RigApplyButton");
    applyButton->setAutoDefault(false);
    connect(applyButton, &QPushButton::clicked, this, &RigSettingsDialog::apply);
    statusLine_ = tagged(new QLabel(this), control::kRigStatusLine, "RigStatusLine");
    statusLine_->setTextFormat(Qt::PlainText);
    statusLine_->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QString(), enabledCheck_);
    form->addRow(QStringLiteral("Search:"), searchField_);
    form->addRow(QStringLiteral("Radio model:"), modelList_);
    form->addRow(QStringLiteral("Port:"), portList_);
    form->addRow(QStringLiteral("Serial speed:"), speedList_);
    form->addRow(QString(), keyThroughCheck_);
    auto* applyRow = new QHBoxLayout;
    applyRow->addWidget(applyButton);
    applyRow->addWidget(statusLine_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &RigSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RigSettingsDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addLayout(applyRow);
    column->addWidget(buttons);
}

void RigSettingsDialog::fillModels(int selectedModel) {
    modelList_->clear();
    for (const HamlibModel& model : models_) {
        modelList_->addItem(QString::fromStdString(model.shown), model.number);
        if (model.number == selectedModel) modelList_->setCurrentIndex(modelList_->count() - 1);
    }
}

void RigSettingsDialog::filterModels(const QString& text) {
    const QVariant selected = modelList_->currentData();
    modelList_->clear();
    for (const HamlibModel& model : models_) {
        const QString shown = QString::fromStdString(model.shown);
        if (text.isEmpty() || shown.contains(text, Qt::CaseInsensitive)) modelList_->addItem(shown, model.number);
    }
    const int kept = selected.isValid() ? modelList_->findData(selected) : -1;
    modelList_->setCurrentIndex(kept >= 0 ? kept : (modelList_->count() > 0 ? 0 : -1));
}

RigSettings RigSettingsDialog::shownSettings() const {
    RigSettings s;
    s.enabled = enabledCheck_->isChecked() ? 1 : 0;
    const QVariant model = modelList_->currentData();
    s.model = model.isValid() ? model.toInt() : before_.model;
    s.port = portList_->currentText().trimmed().toStdString();
    bool number = false;
    const int speed = speedList_->currentText().trimmed().toInt(&number);
    s.serialSpeed = number && speed > 0 ? speed : 0;
    s.keyThrough = keyThroughCheck_->isChecked() ? 1 : 0;
    return s;
}

QString RigSettingsDialog::linkText(RigKeyer::Link link, const QString& error) {
    switch (link) {
    case RigKeyer::Link::Off: return QStringLiteral("Hamlib rig control is off");
    case RigKeyer::Link::Connecting: return QStringLiteral("Connecting...");
    case RigKeyer::Link::Connected: return QStringLiteral("Connected");
    case RigKeyer::Link::Failed: return QStringLiteral("Not connected: %1").arg(error);
    }
    return {};
}

void RigSettingsDialog::showLink() { statusLine_->setText(linkText(keyer_.link(), keyer_.linkError())); }

void RigSettingsDialog::apply() {
    applied_ = true;
    keyer_.apply(shownSettings(), false);
    showLink();
}

void RigSettingsDialog::accept() {
    const RigSettings shown = shownSettings();
    if (shown != keyer_.settings()) keyer_.apply(shown, true);
    QDialog::accept();
}

void RigSettingsDialog::reject() {
    if (applied_ && keyer_.settings() != before_) keyer_.apply(before_, true);
    QDialog::reject();
}

int showRigSettings(RigKeyer& keyer, QWidget* parent) {
    RigSettingsDialog dialog(keyer, hamlibModels(), parent);
    return dialog.exec();
}

}  // namespace vantrel::radio
