#include "ui/ActiveLabel.h"

#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPixmap>

namespace qf::ui {

ActiveLabel::ActiveLabel(const QString& objectName, QWidget* parent) : QLabel(parent) {
    setObjectName(objectName);
    setMouseTracking(true);  // hover texts follow the mouse without a button held
    // Captions may show registered names or server texts: never markup.
    setTextFormat(Qt::PlainText);
}

void ActiveLabel::showPicture(const QString& file) {
    m_picturePath = file;
    setScaledContents(true);
    setPixmap(QPixmap(file));
}

void ActiveLabel::mousePressEvent(QMouseEvent* event) {
    // Taken, so that a press on a caption lying over a picture stays with it.
    event->accept();
}

void ActiveLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (m_inDoubleClick) {
        m_inDoubleClick = false;
        return;
    }
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void ActiveLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    m_inDoubleClick = true;
    event->accept();
}

void ActiveLabel::mouseMoveEvent(QMouseEvent* event) {
    emit hovered();
    QLabel::mouseMoveEvent(event);
}

void ActiveLabel::enterEvent(QEnterEvent* event) {
    emit hovered();
    QLabel::enterEvent(event);
}

void ActiveLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool pressKey = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    const Qt::KeyboardModifiers others = event->modifiers() & ~Qt::KeypadModifier;
    if (!pressKey || others != Qt::NoModifier) {
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    // A held key repeats; the button is pressed once, as a held mouse button.
    if (!event->isAutoRepeat()) {
        emit clicked();
    }
}

void ActiveLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    // Dark dashes on a light line read on the bright faces and on the dark ones.
    QPainter painter(this);
    const QRect frame = rect().adjusted(1, 1, -2, -2);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawRect(frame);
    painter.setPen(QPen(QColor(0x1f, 0x3d, 0x25), 2, Qt::DashLine));
    painter.drawRect(frame);
}

void ActiveLabel::connectNotify(const QMetaMethod& signal) {
    // Tab only: a click acts without taking the focus from where the user
    // was typing or reading.
    if (signal == QMetaMethod::fromSignal(&ActiveLabel::clicked)) {
        setFocusPolicy(Qt::TabFocus);
    }
    QLabel::connectNotify(signal);
}

}  // namespace qf::ui
