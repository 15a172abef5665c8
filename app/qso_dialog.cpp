#include "app/qso_dialog.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vantrel::app {
namespace {

// Only what the log's 8-bit text can carry.
QValidator* eightBitText(QObject* parent) {
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x{20}-\\x{FF}]*")), parent);
}

QDateTimeEdit* utcField(const QDateTime& utc, const char* name, QWidget* parent) {
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setTimeSpec(Qt::UTC);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    edit->setDateTime(utc.toUTC());
    return edit;
}

}  // namespace

QsoDialog::QsoDialog(QWidget* parent, const QsoRecord& prefill, Saver saver)
    : QDialog(parent), prefill_(prefill), saver_(std::move(saver)) {
    setObjectName(QStringLiteral("QsoDialog"));
    setWindowTitle(QStringLiteral("Log this QSO"));
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    layout->addLayout(form_);
    call_ = addLine(QStringLiteral("&Call"), prefill.call, "call");
    name_ = addLine(QStringLiteral("&Name"), prefill.name, "name");
    on_ = utcField(prefill.on, "timeOn", this);
    off_ = utcField(prefill.off, "timeOff", this);
    form_->addRow(QStringLiteral("Time &on (UTC)"), on_);
    form_->addRow(QStringLiteral("Time o&ff (UTC)"), off_);
    frequency_ = addLine(QStringLiteral("&Frequency (MHz)"), prefill.frequencyMHz, "frequency");
    frequency_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,5}(\\.\\d{0,6})?")), this));
    band_ = new QComboBox(this);
    band_->setObjectName(QStringLiteral("band"));
    band_->addItem(QString());
    band_->addItems(adifBandNames());
    band_->setCurrentText(prefill.band);
    form_->addRow(QStringLiteral("&Band"), band_);
    rstSent_ = addLine(QStringLiteral("RST &sent"), prefill.rstSent, "rstSent");
    rstReceived_ = addLine(QStringLiteral("RST &received"), prefill.rstReceived, "rstReceived");
    comment_ = addLine(QStringLiteral("Co&mment"), prefill.comment, "comment");
    connect(frequency_, &QLineEdit::textEdited, this, [this](const QString& text) { frequencyEdited(text); });

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    problem_->hide();
    layout->addWidget(problem_);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok_->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // A contact needs a call sign; OK waits for one.
    const auto callNeeded = [this] { ok_->setEnabled(!call_->text().trimmed().isEmpty()); };
    connect(call_, &QLineEdit::textChanged, this, callNeeded);
    callNeeded();
    call_->setFocus();
}

QLineEdit* QsoDialog::addLine(const QString& label, const QString& text, const char* name) {
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(eightBitText(edit));
    form_->addRow(label, edit);
    return edit;
}

void QsoDialog::frequencyEdited(const QString& text) {
    bool ok = false;
    const double mhz = text.toDouble(&ok);
    const QString band = ok ? bandOfFrequency(mhz) : QString();
    if (!band.isEmpty()) band_->setCurrentText(band);
}

QsoRecord QsoDialog::record() const {
    QsoRecord qso = prefill_;
    qso.call = call_->text().trimmed();
    qso.name = name_->text().trimmed();
    qso.on = on_->dateTime().toUTC();
    qso.off = off_->dateTime().toUTC();
    qso.frequencyMHz = frequency_->text().trimmed();
    if (qso.frequencyMHz.endsWith(QLatin1Char('.'))) qso.frequencyMHz.chop(1);
    qso.band = band_->currentText();
    qso.rstSent = rstSent_->text().trimmed();
    qso.rstReceived = rstReceived_->text().trimmed();
    qso.comment = comment_->text().trimmed();
    return qso;
}

void QsoDialog::accept() {
    if (call_->text().trimmed().isEmpty()) return;
    const QString problem = saver_ ? saver_(record()) : QString();
    if (problem.isEmpty()) {
        QDialog::accept();
        return;
    }
    problem_->setText(QStringLiteral("The contact could not be written to the log: %1").arg(problem));
    problem_->show();
}

}  // namespace vantrel::app
