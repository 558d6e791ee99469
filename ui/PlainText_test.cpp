#include "ui/PlainText.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "ui/MessageBoxes.h"

namespace qf::ui {
namespace {

// A sender's name as a hostile mail gives it: a live link and a local picture
// if taken for markup.
const QString kMarkup = QStringLiteral(
    "<a href='http://127.0.0.1:9/msgbox'>CLICK</a><img src='/tmp/local.png'> [*] & 送信者");

}  // namespace

class PlainTextTest : public QObject {
    Q_OBJECT

  private slots:
    // The box the program really shows (not the scripted test answerer):
    // its text label holds the markup as characters.
    void messageBoxesShowMarkupAsText() {
        QString labelText;
        Qt::TextFormat format = Qt::AutoText;
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            seen = label != nullptr;
            if (seen) {
                labelText = label->text();
                format = label->textFormat();
            }
            box->reject();
        });
        warn(nullptr, kMarkup, QStringLiteral("送信エラー"));
        QVERIFY(seen);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(labelText, kMarkup);

        for (MessageKind kind : {MessageKind::kQuestion, MessageKind::kRetry}) {
            const auto box = messageBox(nullptr, {kind, QStringLiteral("確認"), kMarkup},
                                        QMessageBox::Ok, QMessageBox::Ok);
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->text(), kMarkup);
        }
    }

    void labelsTooltipsAndTitlesShowTheTextItself() {
        QWidget window;
        QLabel* label = plainLabel(QString(), &window);
        label->setText(kMarkup);  // a later text is plain too
        QCOMPARE(label->textFormat(), Qt::PlainText);

        // A tooltip is markup either way: what it renders must be the text.
        QTextDocument shown;
        shown.setHtml(plainToolTip(kMarkup + QStringLiteral("\n  two")));
        QCOMPARE(shown.toPlainText().replace(QChar::Nbsp, u' '),
                 kMarkup + QStringLiteral("\n  two"));
        QVERIFY(plainToolTip(QString()).isEmpty());  // no empty tip box

        window.winId();  // the title the window system gets
        window.setWindowTitle(literalWindowTitle(kMarkup));
        QCOMPARE(window.windowHandle()->title(), kMarkup);
    }
};

}  // namespace qf::ui

QTEST_MAIN(qf::ui::PlainTextTest)
#include "PlainText_test.moc"
