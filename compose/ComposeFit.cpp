// The compose window on a screen too short for it: the screen fit
// (ui/WindowPlacement.h) cuts the window's height, and the body gives up
// that height so that the status line, the help box and the draft button
// stay in the window.
#include <QResizeEvent>
#include <QTextEdit>

#include "compose/ComposeLayout.h"
#include "compose/ComposeWindow.h"

namespace qf::compose {
namespace {

// Each control's place at the design height, noted the first time the
// window is fitted (every control exists by then: it is fitted as it shows).
constexpr char kDesignPlace[] = "qfDesignPlace";

QRect designPlace(QWidget* control) {
    QVariant place = control->property(kDesignPlace);
    if (!place.isValid()) {
        control->setProperty(kDesignPlace, control->geometry());
        return control->geometry();
    }
    return place.toRect();
}

}  // namespace

void ComposeWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitControlsToHeight();
}

void ComposeWindow::fitControlsToHeight() {
    if (m_body == nullptr) {
        return;  // not built yet
    }
    const int shrink = base::twipsToPixels(
        writelayout::bodyShrinkFor(m_heightTwips, base::pixelsToTwips(height())));
    const int bodyTop = base::twipsToPixels(writelayout::kBody.top);
    for (QWidget* parent : {static_cast<QWidget*>(this), m_content}) {
        for (QWidget* control : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control == m_content) {
                continue;
            }
            QRect place = designPlace(control);
            if (control == m_body || (place.top() < bodyTop && place.bottom() > bodyTop)) {
                place.setHeight(place.height() - shrink);  // the body, the address list
            } else if (place.top() >= bodyTop) {
                place.translate(0, -shrink);
            } else {
                continue;  // above the body: as laid out
            }
            control->setGeometry(place);
        }
    }
}

}  // namespace qf::compose
