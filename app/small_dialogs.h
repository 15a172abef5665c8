// The small modal dialogs of the menus: the input box and its value rules (call sign, squelch
// trigger level, capture range) and the About box. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QDialogButtonBox;
class QLineEdit;

namespace vantrel::app {

// Dialog units of the classic dialog font (6 x 13 base units) in pixels.
int dluX(int units);
int dluY(int units);

// "OK" (the default) and "Cancel", accepting or rejecting `dialog`.
QDialogButtonBox* okCancelButtons(QDialog* dialog);

// The input box: title, a prompt of one or more lines (CR LF separated), a field pre-filled
// with `defaultText`, "OK" and "Cancel". Returns the field on OK, empty text otherwise.
QString promptForText(QWidget* parent, const QString& prompt, const QString& title, const QString& defaultText);

class InputBox : public QDialog {
    Q_OBJECT
public:
    InputBox(QWidget* parent, const QString& prompt, const QString& title, const QString& defaultText);
    QString text() const;
    QLineEdit* field() const { return field_; }

private:
    QLineEdit* field_;
};

// The value as the dialogs read typed text: leading blanks skipped, the longest decimal
// beginning taken (sign, digits, fraction, exponent), 0 when there is none. Held within
// +-1e9 so later arithmetic on the level or the marker row cannot overflow.
double numericValue(const QString& text);

// A number as prompts show it: one leading space when not negative (15 -> " 15").
QString shownNumber(int value);

// A value from a prompt that states its range: held within it, with "Must be between LOW and
// HIGH" for the message box when it was outside.
struct RangedEntry {
    int value = 0;
    std::optional<QString> message;
};
RangedEntry rangedEntry(double value, int low, int high);
// The typed value rounded to the nearest whole number (halves to even), then held in range.
RangedEntry roundedEntry(const QString& text, int low, int high);

// "Squelch trigger level": rounded down, held within 1..80.
RangedEntry squelchLevelFromText(const QString& text);

struct CaptureTopEntry {
    int value = 122;
    std::optional<QString> message;  // "Must be less than 122" / "Must be at least 7"
};
// "Bandwidth capture range": rounded half to even, held within 7..122; a value outside gives
// the message for the "Marker limit" box.
CaptureTopEntry captureTopFromText(const QString& text);

inline constexpr int kMinCaptureTop = 7;

// Why a typed call sign cannot be kept, or nothing when it can: the settings file cannot
// carry a double quote, and the air carries 8-bit characters only.
std::optional<QString> callsignProblem(const QString& text);

inline const QString kSquelchPrompt = QStringLiteral(
    "Set squelch trigger level as\r\nproportion of total S/N range.\r\nDefault value = 15\r\nRange 1 - 80");
inline const QString kTuningPrompt = QStringLiteral(
    "Set the tuning frequency in Hz:\r\nthe bottom of the waterfall and\r\nthe transmitter's reference.\r\nRange 0 - 2500");
inline const QString kTransmitLevelPrompt = QStringLiteral(
    "Set the transmit level in dB\r\nbelow the full level.\r\nDefault value = 0\r\nRange -30 - 0");
inline const QString kCapturePrompt = QStringLiteral(
    "Set bandwidth capture range.\r\nThis sets the position of the\r\nupper yellow marker line on\r\n"
    "the waterfall display.\r\nDefault value = 122\r\nRange 7 - 122");

// The About box: title "About Orlix", fixed size, on top, no buttons; closed by its close box.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent);
};

}  // namespace vantrel::app
