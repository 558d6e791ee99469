// Small pieces the windows share: twips placement, the typing limit, counters.
#pragma once

#include <QLineEdit>
#include <QRect>
#include <QValidator>
#include <QWidget>

#include "base/Twips.h"

namespace qf::ui {

// A rectangle given in twips, in pixels.
inline QRect pixelRect(const TwipsRect& rect) {
    return {twipsToPixels(rect.left), twipsToPixels(rect.top), twipsToPixels(rect.width),
            twipsToPixels(rect.height)};
}

// Places a control at a rectangle given in twips.
inline void placeInTwips(QWidget* widget, const TwipsRect& rect) {
    widget->setGeometry(pixelRect(rect));
}

// A counter's text as a number: its leading ASCII digits (at most nine), 0
// when there are none.
inline int counterValue(const QLineEdit& counter) {
    const QString text = counter.text().trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && digits < 9 && text.at(digits).isDigit() &&
           text.at(digits).unicode() < 0x80) {
        ++digits;
    }
    return text.left(digits).toInt();
}

// A text box limit on what the user types, not on what the program puts in
// the box: a pasted or composed address is never cut behind the user's back.
class TypingLimit final : public QValidator {
  public:
    TypingLimit(int limitCharacters, QObject* parent)
        : QValidator(parent), m_limit(limitCharacters) {}

    State validate(QString& input, int& /*position*/) const override {
        return input.size() <= m_limit ? Acceptable : Invalid;
    }

  private:
    int m_limit;
};

}  // namespace qf::ui
