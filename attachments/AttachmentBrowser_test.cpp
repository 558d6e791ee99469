// The attachment browser on the offscreen platform, with the real web view
// (software rendering) for the files that are not pictures.
#include "attachments/AttachmentBrowser.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkDatagram>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <cstdio>
#include <fstream>

#include "attachments/WebEngineStart.h"
#include "ui/ScriptedMessageBoxes.h"
#include "ui/TestControls.h"

using qf::attachments::AttachmentBrowser;

namespace {

constexpr int kWebTimeoutMs = 30000;

// Helper processes of the web engine started by this process.
int webEngineHelpers() {
    const QString parent = QString::number(::getpid());
    int helpers = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (comm) state ppid ..."
        const QString line = QString::fromLatin1(stat.readAll());
        const qsizetype close = line.lastIndexOf(QLatin1Char(')'));
        const QStringList after = line.mid(close + 2).split(QLatin1Char(' '));
        if (line.contains(QLatin1String("(QtWebEngineProc")) && after.value(1) == parent) {
            ++helpers;
        }
    }
    return helpers;
}

// Why the web view cannot be made on this machine; empty when it can.
QString webEngineMissing() {
    const QString helper = qEnvironmentVariableIsSet("QTWEBENGINEPROCESS_PATH")
                               ? qEnvironmentVariable("QTWEBENGINEPROCESS_PATH")
                               : QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) +
                                     QStringLiteral("/QtWebEngineProcess");
    return QFileInfo(helper).isExecutable()
               ? QString()
               : QStringLiteral("no web view here: Qt WebEngine's helper %1 is missing")
                     .arg(helper);
}

#define SKIP_WITHOUT_WEB_ENGINE()                                 \
    if (const QString why = webEngineMissing(); !why.isEmpty()) { \
        QSKIP(qPrintable(why));                                   \
    }

}  // namespace

class AttachmentBrowserTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    // First, while no test has started the web engine in this process.
    void pictureIsShownWithoutStartingTheWebEngine();
    void savedMailShowsItsHeaderAndText();
    void explanationShowsAtOpeningAndEachPressToggles();
    void firstFileClickHidesTheScrollingNameForGood();
    void folderGivenWithItsSeparatorGivesNoDoubledOne();
    void htmlFileIsShownInTheWebView();
    void otherFileIsOfferedForSavingAndWrittenOnlyWhereAsked();
    void namesThatAreNotUtf8AreListedAndOpen();
    void hostilePageReachesNothingAndSavesNothing();

  private:
    AttachmentBrowser* openAt(const QString& folder);
    void write(const QString& name, const QByteArray& bytes);
    void click(const QString& name);
    bool waitForLoad();
    QWebEngineView* web() const { return qobject_cast<QWebEngineView*>(m_form->browser()); }
    template <typename T>
    T* control(const char* name) {
        return qf::ui::testing::control<T>(*m_form, name);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    // A web view that cannot be loaded is told in a box, never left waiting.
    std::unique_ptr<qf::ui::ScriptedMessageBoxes> m_boxes;
    QPointer<AttachmentBrowser> m_form;
};

void AttachmentBrowserTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_boxes = std::make_unique<qf::ui::ScriptedMessageBoxes>();
    QVERIFY(m_dir->isValid());
}

void AttachmentBrowserTest::cleanup() {
    delete m_form.data();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
    m_boxes.reset();
}

AttachmentBrowser* AttachmentBrowserTest::openAt(const QString& folder) {
    m_form = new AttachmentBrowser(folder);
    m_form->show();
    if (!QTest::qWaitForWindowExposed(m_form)) {
        qWarning("window not exposed");
    }
    return m_form;
}

void AttachmentBrowserTest::write(const QString& name, const QByteArray& bytes) {
    QFile file(m_dir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void AttachmentBrowserTest::click(const QString& name) {
    auto* files = control<QListWidget>("File1");
    const QList<QListWidgetItem*> found = files->findItems(name, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    const QRect place = files->visualItemRect(found.constFirst());
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, place.center());
}

bool AttachmentBrowserTest::waitForLoad() {
    QSignalSpy loaded(web(), &QWebEngineView::loadFinished);
    if (!loaded.wait(kWebTimeoutMs)) {
        return false;
    }
    return loaded.constFirst().constFirst().toBool();
}

// A picture opens no web view, so no helper process starts. A picture larger
// than the frame is scaled down to fit, its shape kept.
void AttachmentBrowserTest::pictureIsShownWithoutStartingTheWebEngine() {
    QImage wide(2000, 1000, QImage::Format_RGB32);
    wide.fill(Qt::darkCyan);
    QVERIFY(wide.save(m_dir->filePath(QStringLiteral("wide.png"))));
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(Qt::red);
    QVERIFY(small.save(m_dir->filePath(QStringLiteral("small.gif.bmp")), "BMP"));
    openAt(m_dir->path());
    QCOMPARE(control<QLineEdit>("Text1")->text(), QStringLiteral("2"));

    click(QStringLiteral("wide.png"));
    auto* frame = control<QLabel>("Image1");
    const QSize shown = frame->pixmap().size();
    QVERIFY(shown.width() <= frame->contentsRect().width());
    QVERIFY(shown.height() <= frame->contentsRect().height());
    QVERIFY(qAbs(shown.width() - 2 * shown.height()) <= 2);
    click(QStringLiteral("small.gif.bmp"));
    QCOMPARE(frame->pixmap().size(), QSize(40, 30));

    QVERIFY(m_form->browser() == nullptr);
    QCOMPARE(control<QLineEdit>("Text2")->text(), m_dir->filePath(QStringLiteral("small.gif.bmp")));
    QCOMPARE(webEngineHelpers(), 0);
}

// A saved mail shows as the mail it is, decoded as received mail is, without
// the web view; the picture frame and the path line let go of the picture.
void AttachmentBrowserTest::savedMailShowsItsHeaderAndText() {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QVERIFY(picture.save(m_dir->filePath(QStringLiteral("a.bmp")), "BMP"));
    QFile sample(QString::fromUtf8(qgetenv("QF_SOURCE_DIR")) +
                 QStringLiteral("/tests/data/mail/iso2022jp-nec-extensions.eml"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    write(QStringLiteral("転送.EML"), sample.readAll());
    openAt(m_dir->path());
    click(QStringLiteral("a.bmp"));
    QVERIFY(!control<QLabel>("Image1")->pixmap().isNull());

    click(QStringLiteral("転送.EML"));
    QVERIFY(control<QLabel>("Image1")->pixmap().isNull());
    QVERIFY(m_form->shownPicturePath().isEmpty());
    QCOMPARE(control<QLineEdit>("Text2")->text(), m_dir->filePath(QStringLiteral("転送.EML")));
    auto* mail = control<QPlainTextEdit>("MailText");
    QVERIFY(mail->isVisible());
    const QString text = mail->toPlainText();
    QVERIFY2(text.startsWith(QStringLiteral("From: 髙橋 <takahashi@example.jp>\n"
                                            "To: user@example.jp\n"
                                            "Subject: ①㈱髙﨑の件\n"
                                            "Date: Tue, 8 Dec 2026 13:05:00 +0900\n\n")),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("以上")));
    QVERIFY(!text.contains(QStringLiteral("Message-ID")));
    QVERIFY(m_form->browser() == nullptr);
}

void AttachmentBrowserTest::explanationShowsAtOpeningAndEachPressToggles() {
    openAt(m_dir->path());
    auto* text = control<QPlainTextEdit>("Text3");
    QVERIFY(text->isVisible());
    QVERIFY(text->toPlainText().startsWith(QStringLiteral("■ドライブ（上）")));
    auto* button = control<QPushButton>("Command1");
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!text->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(text->isVisible());
}

void AttachmentBrowserTest::firstFileClickHidesTheScrollingNameForGood() {
    write(QStringLiteral("a.txt"), "text");
    openAt(m_dir->path());
    auto* name = control<QLabel>("Label2");
    QVERIFY(name->isVisible());
    const int before = m_form->nameTopTwips();
    m_form->moveName();
    QCOMPARE(m_form->nameTopTwips(), before - 10);
    QCOMPARE(m_form->findChild<QTimer*>(QStringLiteral("Timer1"))->interval(), 200);

    m_form->chooseFile(0);
    QVERIFY(!name->isVisible());
    QVERIFY(!control<QPlainTextEdit>("Text3")->isVisible());
    m_form->moveName();
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QVERIFY(!name->isVisible());
}

// A folder that ends with its separator, as a root folder does ("/"), is
// joined to the file name without doubling it.
void AttachmentBrowserTest::folderGivenWithItsSeparatorGivesNoDoubledOne() {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QVERIFY(picture.save(m_dir->filePath(QStringLiteral("写真.bmp")), "BMP"));
    openAt(QDir::tempPath());
    m_form->chooseFolder(m_dir->path() + QLatin1Char('/'));
    QCOMPARE(control<QLineEdit>("Text1")->text(), QStringLiteral("1"));
    m_form->chooseFile(0);
    QCOMPARE(m_form->shownPicturePath(), m_dir->path() + QStringLiteral("/写真.bmp"));
    QVERIFY(!control<QLabel>("Image1")->pixmap().isNull());
}

// A "#" in the name is part of the file's address, not a place in the page.
void AttachmentBrowserTest::htmlFileIsShownInTheWebView() {
    SKIP_WITHOUT_WEB_ENGINE();
    write(QStringLiteral("ページ #1.html"),
          "<html><head><meta charset=\"utf-8\"><title>添付のページ</title></head>"
          "<body>本文</body></html>");
    openAt(m_dir->path());
    click(QStringLiteral("ページ #1.html"));
    const QString path = m_dir->filePath(QStringLiteral("ページ #1.html"));
    QCOMPARE(control<QLineEdit>("Text2")->text(), path);
    QVERIFY(web() != nullptr);
    QCOMPARE(web()->url(), QUrl::fromLocalFile(path));
    QVERIFY(waitForLoad());
    QCOMPARE(web()->title(), QStringLiteral("添付のページ"));
    QVERIFY(webEngineHelpers() > 0);
}

// The download request brings the save dialog; cancelled, nothing is written
// anywhere; answered, the copy lands where the user said.
void AttachmentBrowserTest::otherFileIsOfferedForSavingAndWrittenOnlyWhereAsked() {
    SKIP_WITHOUT_WEB_ENGINE();
    static const char kProgram[] = "MZ\x90\x00\x03\x00\x00\x00\x04\x00program";
    const QByteArray program(kProgram, sizeof kProgram - 1);
    write(QStringLiteral("setup.exe"), program);
    openAt(m_dir->path());
    QString answered;
    QString saveAs;
    QTimer answerer;
    answerer.setInterval(50);
    connect(&answerer, &QTimer::timeout, this, [&] {
        auto* dialog = m_form->findChild<QFileDialog*>(QStringLiteral("DownloadDialog"));
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        answered = dialog->selectedFiles().value(0);
        if (saveAs.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name box, as a user does.
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(saveAs);
            static_cast<QDialog*>(dialog)->accept();
        }
    });
    answerer.start();

    click(QStringLiteral("setup.exe"));
    QVERIFY(web() != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!answered.isEmpty(), kWebTimeoutMs);
    QVERIFY(answered.endsWith(QStringLiteral("setup.exe")));
    const QString downloads = web()->page()->profile()->downloadPath();
    QTest::qWait(500);
    QVERIFY(!QFileInfo::exists(QDir(downloads).filePath(QStringLiteral("setup.exe"))));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("setup.exe")});

    answered.clear();
    saveAs = m_dir->filePath(QStringLiteral("保存/copy.exe"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("保存")));
    m_form->chooseFile(0);
    QTRY_VERIFY_WITH_TIMEOUT(!answered.isEmpty(), kWebTimeoutMs);
    QFile copy(saveAs);
    QTRY_VERIFY_WITH_TIMEOUT(copy.size() == program.size(), kWebTimeoutMs);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), program);
}

// Shift-JIS names (an archive unpacked from Windows) are listed as CP932,
// bytes that fit no character as U+FFFD; either opens by its own bytes.
void AttachmentBrowserTest::namesThatAreNotUtf8AreListedAndOpen() {
    SKIP_WITHOUT_WEB_ENGINE();
    const std::string folder = QFile::encodeName(m_dir->path()).toStdString();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QVERIFY(picture.save(m_dir->filePath(QStringLiteral("p.bmp")), "BMP"));
    QVERIFY(std::rename((folder + "/p.bmp").c_str(), (folder + "/\x88\xC4\x93\xE0.bmp").c_str()) ==
            0);
    std::ofstream(folder + "/\xFF\xFE.html")
        << "<title>\xE8\xAA\xAD\xE3\x82\x81\xE3\x81\x9F</title>";
    openAt(m_dir->path());
    auto* files = control<QListWidget>("File1");
    QCOMPARE(files->count(), 2);
    QCOMPARE(files->item(0)->text(), QStringLiteral("案内.bmp"));
    QCOMPARE(files->item(1)->text(), QStringLiteral("\uFFFD\uFFFD.html"));

    click(QStringLiteral("案内.bmp"));
    QCOMPARE(m_form->shownPicturePath(), m_dir->filePath(QStringLiteral("案内.bmp")));
    click(QStringLiteral("\uFFFD\uFFFD.html"));
    QCOMPARE(control<QLineEdit>("Text2")->text(),
             m_dir->filePath(QStringLiteral("\uFFFD\uFFFD.html")));
    QVERIFY(waitForLoad());
    QCOMPARE(web()->title(), QStringLiteral("読めた"));
}

// A mail's page tries every way out it has; the listeners hear nothing, no
// save dialog comes, nothing is written, and the view stays on the page. Of
// the local files only the page's folder is reached.
void AttachmentBrowserTest::hostilePageReachesNothingAndSavesNothing() {
    SKIP_WITHOUT_WEB_ENGINE();
    QTcpServer tcp;
    QVERIFY(tcp.listen(QHostAddress::LocalHost));
    int connections = 0;
    connect(&tcp, &QTcpServer::newConnection, this, [&] {
        ++connections;
        delete tcp.nextPendingConnection();
    });
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
    int datagrams = 0;
    connect(&udp, &QUdpSocket::readyRead, this, [&] {
        while (udp.hasPendingDatagrams()) {
            ++datagrams;
            udp.receiveDatagram();
        }
    });
    QTemporaryDir outside;
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(outside.filePath(QStringLiteral("outside.png"))));
    QVERIFY(picture.save(m_dir->filePath(QStringLiteral("sibling.png"))));
    const QByteArray web = "127.0.0.1:" + QByteArray::number(tcp.serverPort());
    const QByteArray out = QUrl::fromLocalFile(outside.path()).toEncoded();
    QFile page(qEnvironmentVariable("QF_SOURCE_DIR") +
               QStringLiteral("/attachments/testdata/hostile.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    write(QStringLiteral("mail.html"), page.readAll()
                                           .replace("@WEB@", web)
                                           .replace("@UDP@", QByteArray::number(udp.localPort()))
                                           .replace("@OUTSIDE@", out));
    const QStringList before = QDir(m_dir->path()).entryList(QDir::Files);
    openAt(m_dir->path());
    bool dialogCame = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window != m_form) {
                dialogCame = true;
                window->close();
            }
        }
    });
    watcher.start(50);

    click(QStringLiteral("mail.html"));
    QVERIFY(waitForLoad());
    // The form's button covers the page: a user's click posts nothing either.
    QWidget* surface = this->web()->focusProxy();
    QTest::mouseClick(surface, Qt::LeftButton, {}, surface->rect().center());
    QTest::qWait(3000);  // the page's refresh comes after one second

    QCOMPARE(connections, 0);
    QCOMPARE(datagrams, 0);
    QVERIFY(!dialogCame);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), before);
    QCOMPARE(this->web()->url(), QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("mail.html"))));
    QCOMPARE(this->web()->title(), QStringLiteral("hostile"));  // no script ran
    QVariant widths;
    this->web()->page()->runJavaScript(
        QStringLiteral("[document.getElementById('sibling').naturalWidth,"
                       " document.getElementById('outside').naturalWidth].join(' ')"),
        QWebEngineScript::ApplicationWorld, [&](const QVariant& result) { widths = result; });
    QTRY_VERIFY(widths.isValid());
    QCOMPARE(widths.toString(), QStringLiteral("20 0"));
}

int main(int argc, char* argv[]) {
    qf::attachments::prepareWebEngine();
    QApplication application(argc, argv);
    AttachmentBrowserTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AttachmentBrowser_test.moc"
