#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

#include "ui/ScreenFit.h"

namespace qf::ui {
namespace {

PixelRect pixelRectOf(const QRect& rect) {
    return {rect.x(), rect.y(), rect.width(), rect.height()};
}

FrameMargins marginsOf(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

// Until the window manager has framed it, a window's own frame is unknown;
// the opener's frame, or another shown window's, is the best guess (one
// window manager frames them all).
FrameMargins expectedMargins(const QWidget& window, const QWidget* opener) {
    if (window.isVisible()) {
        return marginsOf(window);
    }
    if (opener != nullptr && opener->isVisible()) {
        return marginsOf(*opener);
    }
    for (const QWidget* shown : QApplication::topLevelWidgets()) {
        if (shown->isVisible() && shown->isWindow()) {
            return marginsOf(*shown);
        }
    }
    return {};
}

// Where the window's client area is, or will be. A window moved before it
// was first shown has its frame's corner where it was moved to (a moved
// widget places its frame), so its client lies inside the expected frame.
PixelRect clientAsPlaced(const QWidget& window, const FrameMargins& frame) {
    const QRect own = window.geometry();
    if (window.isVisible()) {
        return pixelRectOf(own);
    }
    return {own.x() + frame.left, own.y() + frame.top, own.width(), own.height()};
}

void applySize(QWidget& window, const QSize& size) {
    if (size == window.size()) {
        return;
    }
    if (window.minimumSize() == window.maximumSize()) {
        window.setFixedSize(size);
        return;
    }
    window.setMinimumSize(window.minimumSize().boundedTo(size));
    window.resize(size);
}

}  // namespace

void placeOnScreen(QWidget& window, const QWidget* opener) {
    QScreen* screen = opener != nullptr ? opener->screen() : window.screen();
    if (screen == nullptr) {
        screen = QApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    if (!window.testAttribute(Qt::WA_Resized)) {
        window.adjustSize();  // as showing it would
    }
    const PixelRect area = pixelRectOf(screen->availableGeometry());
    const FrameMargins frame = expectedMargins(window, opener);
    const bool placedByItself = window.isVisible() || window.testAttribute(Qt::WA_Moved);
    if (!placedByItself && (opener == nullptr || opener == &window)) {
        // The window manager places it; it only has to fit.
        const PixelRect fitted =
            fitInside({area.left, area.top, window.width(), window.height()}, frame, area);
        applySize(window, {fitted.width, fitted.height});
        return;
    }
    const PixelRect client = placedByItself
                                 ? fitInside(clientAsPlaced(window, frame), frame, area)
                                 : placeFromOpener(window.width(), window.height(), frame,
                                                   pixelRectOf(opener->frameGeometry()), area);
    applySize(window, {client.width, client.height});
    // move() places the frame's corner.
    window.move(client.left - frame.left, client.top - frame.top);
}

}  // namespace qf::ui
