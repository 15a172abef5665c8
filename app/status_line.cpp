#include "app/status_line.h"

#include <QLabel>

#include <cmath>

#include "app/control_ids.h"

namespace vantrel::app {
namespace {

QLabel* field(QWidget* parent, int id, const char* name, const QString& tip) {
    auto* label = new QLabel(parent);
    label->setProperty("controlId", id);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setToolTip(tip);
    label->setContentsMargins(6, 0, 6, 0);
    return label;
}

bool lowerSideband(const std::string& mode) { return mode.find("LSB") != std::string::npos; }

}  // namespace

QString tuningText(int tuningHz, const radio::DialReading& dial) {
    QString text = QStringLiteral("Tuning %1 Hz").arg(tuningHz);
    if (dial.frequencyHz > 0) {
        const double rf = dial.frequencyHz + (lowerSideband(dial.mode) ? -tuningHz : tuningHz);
        text += QStringLiteral(", RF ") + QString::fromStdString(radio::formatDial({rf, {}}));
    }
    return text;
}

StatusLine::StatusLine(QWidget* parent)
    : QStatusBar(parent),
      recording_(field(this, control::kRecordingState, "RecordingState", QStringLiteral("A recording played into the receiver"))),
      input_(field(this, control::kInputLevel, "InputLevel",
                   QStringLiteral("Peak level of the sound card's input in the last block (0 dBFS is full scale)"))),
      tuning_(field(this, control::kTuningReadout, "TuningReadout",
                    QStringLiteral("Tuning frequency: the bottom of the waterfall, and with Hamlib the signal's frequency on the air"))),
      dial_(field(this, control::kRigDial, "RigDial", QStringLiteral("Dial frequency and mode of the radio, read through Hamlib"))) {
    setObjectName(QStringLiteral("StatusLine"));
    setSizeGripEnabled(false);
    addWidget(recording_, 1);
    addPermanentWidget(input_);
    addPermanentWidget(tuning_);
    addPermanentWidget(dial_);
    input_->setAutoFillBackground(true);
    // The warning's width is kept from the start, so it appearing moves nothing beside it.
    input_->setMinimumWidth(input_->fontMetrics().horizontalAdvance(kOverloadText) + 14);
    input_->setAlignment(Qt::AlignCenter);
    clearInputLevel();
    dial_->hide();
}

void StatusLine::note(const QString& text) { showMessage(text, kNoteMs); }

void StatusLine::setRecordingState(const QString& text) { recording_->setText(text); }

void StatusLine::showInputLevel(const audio::InputLevel& level) {
    overloadHold_ = level.overloaded() ? kOverloadHoldBlocks : std::max(overloadHold_ - 1, 0);
    const bool warn = overloadHold_ > 0;
    QPalette palette = input_->palette();
    palette.setColor(QPalette::Window, warn ? QColor(200, 0, 0) : this->palette().color(QPalette::Window));
    palette.setColor(QPalette::WindowText, warn ? QColor(Qt::white) : this->palette().color(QPalette::WindowText));
    input_->setPalette(palette);
    input_->setText(warn ? kOverloadText : QStringLiteral("Input %1 dBFS").arg(static_cast<int>(std::lround(level.peakDbfs))));
}

void StatusLine::clearInputLevel() {
    overloadHold_ = 0;
    input_->setPalette(palette());
    input_->setText(QStringLiteral("Input off"));
}

void StatusLine::showTuning(int tuningHz, const radio::DialReading& dial) { tuning_->setText(tuningText(tuningHz, dial)); }

void StatusLine::showDial(const QString& text) {
    dial_->setText(text);
    dial_->setVisible(!text.isEmpty());
}

}  // namespace vantrel::app
