// A label that reports clicks and the mouse passing over it: the building
// block of picture buttons, clickable captions and help texts.
//
// A click is a left-button release over the label; the second release of a
// double click is not a second click. The mouse passing over the label
// (entering it or moving on it) emits hovered().
//
// A label can show a picture from a file; picturePath() tells which one is
// showing, also when the file could not be read (the label is then blank).
#pragma once

#include <QLabel>
#include <QString>

namespace qf::ui {

class ActiveLabel : public QLabel {
    Q_OBJECT

  public:
    // objectName is the control's given name ("Label5", "Image3").
    ActiveLabel(const QString& objectName, QWidget* parent);

    // Shows the picture in `file`, scaled to the label's size.
    void showPicture(const QString& file);
    const QString& picturePath() const { return m_picturePath; }

  signals:
    void clicked();
    void hovered();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

  private:
    QString m_picturePath;
    bool m_inDoubleClick = false;
};

}  // namespace qf::ui
