#include "app/small_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "modem/tx_modulator.h"

namespace vantrel::app {

int dluX(int units) { return (units * 6 + 2) / 4; }
int dluY(int units) { return (units * 13 + 4) / 8; }

QDialogButtonBox* okCancelButtons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

InputBox::InputBox(QWidget* parent, const QString& prompt, const QString& title, const QString& defaultText)
    : QDialog(parent), field_(new QLineEdit(this)) {
    setWindowTitle(title.left(60));
    setObjectName(QStringLiteral("InputBox"));
    auto* layout = new QVBoxLayout(this);
    QString shownPrompt = prompt.left(256);
    shownPrompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto* label = new QLabel(shownPrompt, this);
    label->setObjectName(QStringLiteral("prompt"));
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    field_->setObjectName(QStringLiteral("field"));
    field_->setText(defaultText);
    field_->selectAll();
    layout->addWidget(field_);
    layout->addWidget(okCancelButtons(this));
    field_->setFocus();
}

QString InputBox::text() const { return field_->text(); }

QString promptForText(QWidget* parent, const QString& prompt, const QString& title, const QString& defaultText) {
    InputBox box(parent, prompt, title, defaultText);
    return box.exec() == QDialog::Accepted ? box.text() : QString();
}

double numericValue(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t')) ++i;
    const qsizetype start = i;
    if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) ++i;
    qsizetype digits = 0;
    auto digitRun = [&] {
        while (i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9') ++i, ++digits;
    };
    digitRun();
    if (i < bytes.size() && bytes[i] == '.') ++i, digitRun();
    if (digits == 0) return 0;
    qsizetype end = i;
    if (i < bytes.size() && (bytes[i] == 'e' || bytes[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < bytes.size() && (bytes[j] == '+' || bytes[j] == '-')) ++j;
        const qsizetype expDigits = j;
        while (j < bytes.size() && bytes[j] >= '0' && bytes[j] <= '9') ++j;
        if (j > expDigits) end = j;
    }
    bool ok = false;
    double value = QByteArray(bytes.constData() + start, end - start).toDouble(&ok);
    if (!ok || std::isnan(value)) return 0;
    constexpr double kLimit = 1e9;
    return value > kLimit ? kLimit : (value < -kLimit ? -kLimit : value);
}

QString shownNumber(int value) { return QString::fromStdString(modem::formatShownNumber(value)); }

RangedEntry rangedEntry(double value, int low, int high) {
    RangedEntry entry;
    entry.value = static_cast<int>(std::clamp(value, double(low), double(high)));
    if (value < low || value > high) entry.message = QStringLiteral("Must be between %1 and %2").arg(low).arg(high);
    return entry;
}

RangedEntry roundedEntry(const QString& text, int low, int high) {
    return rangedEntry(std::nearbyint(numericValue(text)), low, high);
}

RangedEntry squelchLevelFromText(const QString& text) { return rangedEntry(std::floor(numericValue(text)), 1, 80); }

CaptureTopEntry captureTopFromText(const QString& text) {
    CaptureTopEntry entry;
    entry.value = static_cast<int>(std::nearbyint(numericValue(text)));
    if (entry.value > 122) {
        entry.value = 122;
        entry.message = QStringLiteral("Must be less than 122");
    } else if (entry.value < kMinCaptureTop) {
        // Below 7 the tone search has (almost) no bins left and the receiver goes deaf.
        entry.value = kMinCaptureTop;
        entry.message = QStringLiteral("Must be at least 7");
    }
    return entry;
}

std::optional<QString> callsignProblem(const QString& text) {
    if (text.contains(QLatin1Char('"')))
        return QStringLiteral("A call sign cannot contain a double quote (\"): "
                              "the settings file could not keep it. The call sign is unchanged.");
    for (QChar c : text) {
        if (c.unicode() > 0xFF || c.unicode() < 32)
            return QStringLiteral("A call sign can only hold plain 8-bit characters. The call sign is unchanged.");
    }
    return std::nullopt;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Orlix"));
    setWindowIcon(QIcon(QStringLiteral(":/icon2.png")));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setFixedSize(dluX(200), dluY(100));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(159, 220, 220));
    setPalette(pal);

    auto* title = new QLabel(QStringLiteral("Vantrel Sentence Mode (Orlix)"), this);
    title->setObjectName(QStringLiteral("AboutTitle"));
    title->setProperty("controlId", 10001);
    title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont titleFont(QStringLiteral("Arial"), 14, QFont::Normal);
    titleFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    title->setFont(titleFont);
    title->setGeometry(dluX(1), dluY(5), dluX(200), dluY(15));

    auto* credits = new QLabel(this);
    credits->setObjectName(QStringLiteral("AboutCredits"));
    credits->setProperty("controlId", 10002);
    credits->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    credits->setText(QStringLiteral("Keyboard-to-keyboard chat on 18 tones\n"
                                    "for the amateur radio operator\n"
                                    "Built with Qt %1 and GCC %2")
                         .arg(QLatin1String(QT_VERSION_STR), QString::fromLatin1(__VERSION__).section(' ', 0, 0)));
    credits->setGeometry(dluX(1), dluY(28), dluX(200), dluY(60));
}

}  // namespace vantrel::app
