#include "app/macros.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

namespace vantrel::app {

MacroTexts defaultMacros() {
    MacroTexts macros;
    macros[0] = QStringLiteral("CQ CQ CQ de <MYCALL> <MYCALL> pse K");
    macros[1] = QStringLiteral("<CALL> de <MYCALL> ");
    macros[2] = QStringLiteral("<CALL> de <MYCALL> tnx for the QSO, 73 SK");
    return macros;
}

MacroTexts loadMacros(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return defaultMacros();
    // One macro a line; a huge file is not ours: only its beginning is looked at.
    QString text = QString::fromLatin1(file.read(64 * 1024));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    MacroTexts macros;
    for (int i = 0; i < kMacroCount && i < lines.size(); ++i) macros[static_cast<std::size_t>(i)] = lines[i].left(1000);
    return macros;
}

QString saveMacros(const MacroTexts& macros, const QString& path) {
    QByteArray bytes;
    for (const QString& macro : macros) {
        QString line = macro;
        line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        bytes += line.toLatin1() + "\r\n";
    }
    // Written whole or not at all: a failed save leaves the old file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error.isEmpty() ? QStringLiteral("Unknown error") : error;
    }
    return {};
}

QString kiloHertzText(double hz) {
    if (!(hz > 0)) return {};
    QString text = QString::number(hz / 1000.0, 'f', 3);
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text;
}

MacroText expandMacro(const QString& macro, const MacroFields& fields) {
    static const QRegularExpression field(QStringLiteral("<([A-Za-z]+)>"));
    MacroText result;
    qsizetype from = 0;
    for (auto it = field.globalMatch(macro); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        result.text += macro.mid(from, m.capturedStart() - from);
        from = m.capturedEnd();
        const QString name = m.captured(1).toUpper();
        if (name == QLatin1String("MYCALL")) {
            result.text += fields.myCall;
        } else if (name == QLatin1String("CALL")) {
            if (fields.call.isEmpty() && result.complete) {
                result.complete = false;
                result.callAt = static_cast<int>(result.text.size());
            }
            result.text += fields.call;
        } else if (name == QLatin1String("NAME")) {
            result.text += fields.name;
        } else if (name == QLatin1String("UTC")) {
            result.text += fields.utc.toUTC().toString(QStringLiteral("HHmm"));
        } else if (name == QLatin1String("FREQ")) {
            result.text += kiloHertzText(fields.frequencyHz);
        } else {
            result.text += m.captured(0);
        }
    }
    result.text += macro.mid(from);
    return result;
}

}  // namespace vantrel::app
