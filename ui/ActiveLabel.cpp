#include "ui/ActiveLabel.h"

#include <QMouseEvent>
#include <QPixmap>

namespace qf::ui {

ActiveLabel::ActiveLabel(const QString& objectName, QWidget* parent) : QLabel(parent) {
    setObjectName(objectName);
    setMouseTracking(true);  // hover texts follow the mouse without a button held
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

}  // namespace qf::ui
