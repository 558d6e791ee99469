// A label that reports clicks and the mouse passing over it: the building
// block of picture buttons, clickable captions and help texts.
//
// A click is a left-button release over the label; the second release of a
// double click is not a second click. The mouse passing over the label
// (entering it or moving on it) emits hovered().
//
// A label can show a picture from a file; picturePath() tells which one is
// showing, also when the file could not be read (the label is then blank).
//
// A label whose click does something (anything connected to clicked()) is a
// button for the keyboard too: Tab reaches it (a click does not move the
// focus onto it), a dotted frame shows the focus, and Space, Return or Enter emit clicked() as a
// click does, so the press picture and wait of a picture button are the same for both. A window
// that wants a clickable label out of the Tab order sets Qt::NoFocus after connecting it (a face
// lying under its own caption).
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
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void connectNotify(const QMetaMethod& signal) override;

  private:
    QString m_picturePath;
    bool m_inDoubleClick = false;
};

}  // namespace qf::ui
