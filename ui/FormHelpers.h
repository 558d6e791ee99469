// Small pieces the compose, address-book and sorting windows share.
#pragma once

#include <QValidator>
#include <QWidget>

#include "ui/Twips.h"

namespace qf::compose {

// Places a control at a rectangle given in twips.
inline void placeInTwips(QWidget* widget, const app::TwipsRect& rect) {
    widget->setGeometry(app::twipsToPixels(rect.left), app::twipsToPixels(rect.top),
                        app::twipsToPixels(rect.width), app::twipsToPixels(rect.height));
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

}  // namespace qf::compose
