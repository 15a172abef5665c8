// The eight macros: canned sentences with fields, kept in "Macros.txt" in the working folder
// (one macro a line, CR LF, 8-bit text), and their expansion at the moment one is sent.
// GUI thread only.
#pragma once

#include <QDateTime>
#include <QString>

#include <array>

namespace vantrel::app {

inline constexpr int kMacroCount = 8;
inline constexpr const char* kMacrosFileName = "Macros.txt";

using MacroTexts = std::array<QString, kMacroCount>;

// 1 "CQ CQ CQ de <MYCALL> <MYCALL> pse K", 2 "<CALL> de <MYCALL> ", 3 the closing; the rest empty.
MacroTexts defaultMacros();
// A missing or unreadable file gives the defaults; a shorter one leaves the rest empty.
MacroTexts loadMacros(const QString& path);
// The whole file replaced at once; empty when written, else why not.
QString saveMacros(const MacroTexts& macros, const QString& path);

// What the fields stand for when a macro is sent.
struct MacroFields {
    QString myCall;        // <MYCALL>
    QString call;          // <CALL>, the station being worked
    QString name;          // <NAME>
    QDateTime utc;         // <UTC>, as HHMM
    double frequencyHz = 0;  // <FREQ>, in kHz; 0 when the radio's dial is unknown (empty)
};

struct MacroText {
    QString text;
    // False when <CALL> was asked for and no call is known: the text waits for the operator,
    // with the caret where the first call goes.
    bool complete = true;
    int callAt = -1;
};

// Fields are matched without regard to case; an unknown one stays as typed.
MacroText expandMacro(const QString& macro, const MacroFields& fields);

// "14078.5" for 14 078 500 Hz: kilohertz without trailing zeros.
QString kiloHertzText(double hz);

}  // namespace vantrel::app
