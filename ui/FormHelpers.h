// Small pieces the windows share: twips placement and the typing limit.
#pragma once

#include <QRect>
#include <QValidator>
#include <QWidget>

#include "base/Twips.h"

namespace qf::ui {

// A rectangle given in twips, in pixels.
inline QRect pixelRect(const base::TwipsRect& rect) {
    return {base::twipsToPixels(rect.left), base::twipsToPixels(rect.top),
            base::twipsToPixels(rect.width), base::twipsToPixels(rect.height)};
}

// Places a control at a rectangle given in twips.
inline void placeInTwips(QWidget* widget, const base::TwipsRect& rect) {
    widget->setGeometry(pixelRect(rect));
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
