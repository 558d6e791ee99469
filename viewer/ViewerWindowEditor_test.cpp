// The editor as the viewer window carries it: menus and toolbar, the layout
// on resize, the settings written on close.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>

#include "app/TestApplication.h"
#include "base/Twips.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"
#include "viewer/EditorCommands.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using viewer::ViewerWindow;

void trigger(QWidget& window, const char* name) {
    auto* action = window.findChild<QAction*>(QString::fromLatin1(name));
    QVERIFY2(action != nullptr, name);
    action->trigger();
}

// The controls that lie in the client area, each of which must be whole and
// on its own.
QList<QWidget*> clientControls(ViewerWindow& viewer) {
    QList<QWidget*> controls = {control<QTreeWidget>(viewer, "MailListView"),
                                control<ui::ActiveLabel>(viewer, "Image2"),
                                control<ui::ActiveLabel>(viewer, "Image1"),
                                control<ui::ActiveLabel>(viewer, "Image3"),
                                control<ui::ActiveLabel>(viewer, "Image4"),
                                control<ui::ActiveLabel>(viewer, "Image5"),
                                control<QLineEdit>(viewer, "Text2"),
                                control<QLabel>(viewer, "Label4"),
                                control<QLabel>(viewer, "Label2"),
                                control<QLineEdit>(viewer, "Text1"),
                                control<QPlainTextEdit>(viewer, "Text4"),
                                control<QLineEdit>(viewer, "Text7"),
                                control<QLineEdit>(viewer, "Text8"),
                                control<QLineEdit>(viewer, "Text9"),
                                control<QTextEdit>(viewer, "rtfEd")};
    return controls;
}

}  // namespace

class ViewerWindowEditorTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    }

    void menusAndToolbarRunTheEditorAndClosingWritesTheSettings() {
        TestApplication started;
        ViewerWindow& viewer = started.app->showForm<ViewerWindow>();
        control<QTextEdit>(viewer, "rtfEd")->setPlainText(QStringLiteral("メニューから印刷"));

        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("menu.pdf"));
        viewer.editor().setUpPrinter = [&](QPrinter& printer, bool) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        trigger(viewer, "mprint");
        QVERIFY(QFile::exists(pdf));

        for (QAction* key : control<QToolBar>(viewer, "tbToolBar")->actions()) {
            if (key->objectName() == QStringLiteral("New")) {
                key->trigger();
            }
        }
        const QString made = started.folder.path(QStringLiteral("新規作成.TXT"));
        QCOMPARE(QString::fromStdString(started.app->held().editorCurrentFile), made);
        QVERIFY(viewer.windowTitle().endsWith(made));

        {
            QSettings old(QStringLiteral("velmoran"), QStringLiteral("velmoran"));
            old.setValue(QStringLiteral("HIST/1"), QStringLiteral("old"));
            old.setValue(QStringLiteral("OKINI/1"), QStringLiteral("old"));
        }
        trigger(viewer, "mend");
        QVERIFY(!viewer.isVisible());
        QSettings written(QStringLiteral("velmoran"), QStringLiteral("velmoran"));
        QCOMPARE(written.childGroups(), QStringList{QStringLiteral("FLAG")});
        QVERIFY(written.contains(QStringLiteral("FLAG/AUTOSAVE")));
        QCOMPARE(written.value(QStringLiteral("FLAG/AUTOSAVE")).toString(), QString());
        QVERIFY(!written.contains(QStringLiteral("EDITOR/CurrentFile")));
    }

    // At its smallest the viewer fits a 1366 x 768 screen at scale 1.5
    // (910 x 512 device-independent pixels, less a title bar), and at every
    // size each control lies whole in the client area, clear of the others.
    void everyControlIsPlacedAtTheSmallestAndALargerSize() {
        TestApplication started;
        ViewerWindow& viewer = started.app->showForm<ViewerWindow>();
        const QSize smallest = viewer.minimumSizeHint().expandedTo(viewer.minimumSize());
        QVERIFY2(smallest.width() <= 910 && smallest.height() <= 480,
                 qPrintable(QStringLiteral("%1x%2").arg(smallest.width()).arg(smallest.height())));
        for (const QSize size : {smallest, QSize(1200, 760)}) {
            viewer.resize(size);
            QCoreApplication::processEvents();
            const QRect client = viewer.centralWidget()->rect();
            const QList<QWidget*> controls = clientControls(viewer);
            for (qsizetype i = 0; i < controls.size(); ++i) {
                const QRect rect = controls[i]->geometry();
                QVERIFY2(client.contains(rect), qPrintable(controls[i]->objectName()));
                for (qsizetype j = i + 1; j < controls.size(); ++j) {
                    // The date field's frame lies over the sender's last 20 twips.
                    const QRect other = controls[j] == control<QLineEdit>(viewer, "Text9")
                                            ? controls[j]->geometry().adjusted(2, 0, 0, 0)
                                            : controls[j]->geometry();
                    QVERIFY2(!rect.intersects(other), qPrintable(controls[i]->objectName() + u' ' +
                                                                 controls[j]->objectName()));
                }
            }
            const QString date = QStringLiteral("Wed, 30 Sep 2026 23:59:59 +0900");
            QVERIFY(control<QLineEdit>(viewer, "Text9")->fontMetrics().horizontalAdvance(date) <
                    control<QLineEdit>(viewer, "Text9")->contentsRect().width());
        }
        // The resize layout's own numbers at the larger size.
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->width(),
                 base::twipsToPixels(18000 * 99 / 100));
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->height(),
                 base::twipsToPixels(11400 / 4));
        // A mouse move over the background lays the window out again.
        control<QTreeWidget>(viewer, "MailListView")->resize(10, 10);
        QTest::mouseMove(viewer.centralWidget(), QPoint(2, viewer.centralWidget()->height() - 2));
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->width(),
                 base::twipsToPixels(18000 * 99 / 100));
    }

  private:
    QTemporaryDir m_settings;
};

}  // namespace qf::viewer

QTEST_MAIN(qf::viewer::ViewerWindowEditorTest)
#include "ViewerWindowEditor_test.moc"
