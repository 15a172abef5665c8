#include "app/other_station.h"

namespace vantrel::app {
namespace {

constexpr int kLongestCall = 16;

bool callCharacter(QChar c) {
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('/');
}

}  // namespace

bool looksLikeCall(const QString& word) {
    if (word.size() < 3 || word.size() > kLongestCall) return false;
    bool digit = false;
    bool letter = false;
    for (QChar c : word) {
        if (!callCharacter(c)) return false;
        digit = digit || c.isDigit();
        letter = letter || c.isLetter();
    }
    return digit && letter;
}

QString callOpeningLine(const QString& line) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0) return {};
    const QString word = line.left(colon).trimmed();
    return looksLikeCall(word) ? word : QString();
}

QString wordAt(const QString& text, int position) {
    if (position < 0 || position > text.size()) return {};
    qsizetype begin = position;
    qsizetype end = position;
    while (begin > 0 && callCharacter(text[begin - 1])) --begin;
    while (end < text.size() && callCharacter(text[end])) ++end;
    return text.mid(begin, end - begin).left(kLongestCall);
}

void OtherStation::heardLine(const QString& line, const QDateTime& utc) {
    const QString caller = callOpeningLine(line);
    if (!caller.isEmpty() && caller != call_) adopt(caller);
    if (!call_.isEmpty() && !contactStart_.isValid()) contactStart_ = utc;
}

void OtherStation::sendingLine(const QDateTime& utc) {
    if (!call_.isEmpty() && !contactStart_.isValid()) contactStart_ = utc;
}

void OtherStation::heardIdleText(std::span<const std::uint8_t> characters) {
    // The idle text repeats the call with blanks between: a word counts once it came twice.
    for (std::uint8_t code : characters) {
        const QChar c(code);
        if (callCharacter(c)) {
            if (idleWord_.size() <= kLongestCall) idleWord_ += c;
            continue;
        }
        if (idleWord_.isEmpty()) continue;
        if (idleWord_ == lastIdleWord_ && idleWord_ != idleAdopted_ && looksLikeCall(idleWord_)) {
            idleAdopted_ = idleWord_;
            adopt(idleWord_);
        }
        lastIdleWord_ = idleWord_;
        idleWord_.clear();
    }
}

void OtherStation::setCall(const QString& call) {
    const QString trimmed = call.trimmed();
    if (trimmed != call_) adopt(trimmed);
}

void OtherStation::adopt(const QString& call) {
    if (call == call_) return;
    call_ = call;
    name_.clear();
    contactStart_ = QDateTime();
    emit callChanged(call_);
}

}  // namespace vantrel::app
