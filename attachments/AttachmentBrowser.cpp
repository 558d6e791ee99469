#include "attachments/AttachmentBrowser.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QFrame>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "attachments/FileReach.h"
#include "attachments/LocalFileView.h"
#include "base/Twips.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::attachments {
namespace {

using ui::placeInTwips;
using ui::TwipsRect;
using ui::twipsToPixels;

// Layout in twips: the three lists and the count on the left; on the right
// the picture frame (its top is where the scrolling name stops), the path,
// and the web view's place with the explanation lying over it.
constexpr TwipsRect kWindow{0, 0, 12600, 8640};
constexpr TwipsRect kDriveList{120, 120, 3720, 330};
constexpr TwipsRect kFolderList{120, 540, 3720, 3240};
constexpr TwipsRect kFileList{120, 3900, 3720, 3600};
constexpr TwipsRect kCountLabel{120, 7620, 1200, 330};
constexpr TwipsRect kCountBox{1320, 7620, 900, 330};
constexpr TwipsRect kExplainButton{2760, 7620, 1080, 400};
constexpr TwipsRect kPictureFrame{3960, kPictureTop, 8520, 2160};
constexpr TwipsRect kPathBox{3960, 2400, 8520, 330};
constexpr TwipsRect kBrowserFrame{3960, 2820, 8520, 5700};
constexpr int kNameLeft = 4200;
constexpr int kNameWidth = 2400;
constexpr int kNameHeight = 360;
// A File1 row's name as the file system holds it.
constexpr int kFileNameRole = Qt::UserRole;

using ui::fromUtf8;

// Each mounted volume once, the root first, as (root path, caption).
QList<QStorageInfo> listedVolumes() {
    QList<QStorageInfo> volumes;
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Files mounted over files (a container's /etc/hosts) are no drives.
        if (!volume.isValid() || !volume.isReady() || roots.contains(volume.rootPath()) ||
            !QFileInfo(volume.rootPath()).isDir()) {
            continue;
        }
        roots << volume.rootPath();
        volumes << volume;
    }
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
        return a.isRoot() != b.isRoot() ? a.isRoot() : a.rootPath() < b.rootPath();
    });
    return volumes;
}

QString driveCaption(const QStorageInfo& volume) {
    const QString name = volume.displayName();
    return name.isEmpty() || name == volume.rootPath()
               ? volume.rootPath()
               : QStringLiteral("%1  [%2]").arg(volume.rootPath(), name);
}

}  // namespace

AttachmentBrowser::AttachmentBrowser(ui::WindowEnvironment& env)
    : AttachmentBrowser(QString::fromStdString(env.folder().attachmentFolder().string())) {
    env.centreOnMainWindow(*this);
}

AttachmentBrowser::AttachmentBrowser(const QString& startFolder, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("AttachmentBrowser"));
    setWindowTitle(QStringLiteral("添付ファイル他の確認"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(kWindow.width), twipsToPixels(kWindow.height));
    buildControls();

    // Opening: the timer, the explanation hidden and then shown by one press,
    // the lists at the start folder (where received attachments land) and
    // its drive.
    Timer1->start();
    Text3->hide();
    pressExplanation();
    const QString drive = QStorageInfo(startFolder).rootPath();
    fillDrives();
    const int driveRow = Drive1->findData(drive);
    if (driveRow >= 0) {
        Drive1->setCurrentIndex(driveRow);
    }
    m_folders->setRootPath(drive);
    Dir1->setRootIndex(m_folders->index(drive));
    showFolderInTree(startFolder);
    listFiles(startFolder);
}

void AttachmentBrowser::buildControls() {
    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    placeInTwips(Drive1, kDriveList);
    connect(Drive1, &QComboBox::activated, this,
            [this](int row) { chooseDrive(Drive1->itemData(row).toString()); });

    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    Dir1 = new QTreeView(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setModel(m_folders);
    Dir1->setHeaderHidden(true);
    for (int column = 1; column < m_folders->columnCount(); ++column) {
        Dir1->hideColumn(column);
    }
    placeInTwips(Dir1, kFolderList);
    connect(Dir1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &AttachmentBrowser::folderSelected);
    // The model reads folders in the background, adds their rows in batches
    // and sorts them afterwards, each time moving the rows under the marked
    // folder's place: until the user takes the tree in hand, the marked
    // folder is brought back into view after each of these.
    m_keepInView = new QTimer(this);
    m_keepInView->setSingleShot(true);
    m_keepInView->setInterval(0);
    connect(m_keepInView, &QTimer::timeout, this, [this] {
        const QModelIndex marked = m_folders->index(m_treeFolder);
        if (marked.isValid()) {
            Dir1->scrollTo(marked, QAbstractItemView::PositionAtCenter);
        }
    });
    const auto follow = [this] {
        if (m_followMarked) {
            m_keepInView->start();
        }
    };
    connect(m_folders, &QFileSystemModel::rowsInserted, this, follow);
    connect(m_folders, &QFileSystemModel::layoutChanged, this, follow);
    connect(m_folders, &QFileSystemModel::directoryLoaded, this, follow);
    Dir1->viewport()->installEventFilter(this);
    Dir1->installEventFilter(this);

    File1 = new QListWidget(this);
    File1->setObjectName(QStringLiteral("File1"));
    placeInTwips(File1, kFileList);
    connect(File1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { chooseFile(File1->row(item)); });
    File1->installEventFilter(this);

    auto* countLabel = new QLabel(QStringLiteral("ファイル数"), this);
    placeInTwips(countLabel, kCountLabel);
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    placeInTwips(Text1, kCountBox);

    Command1 = new QPushButton(QStringLiteral("説明"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    placeInTwips(Command1, kExplainButton);
    connect(Command1, &QPushButton::clicked, this, &AttachmentBrowser::pressExplanation);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFrameShape(QFrame::StyledPanel);
    Image1->setAlignment(Qt::AlignCenter);
    placeInTwips(Image1, kPictureFrame);

    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setReadOnly(true);
    placeInTwips(Text2, kPathBox);

    m_browserFrame = new QFrame(this);
    m_browserFrame->setObjectName(QStringLiteral("WebBrowser1Frame"));
    m_browserFrame->setFrameShape(QFrame::StyledPanel);
    placeInTwips(m_browserFrame, kBrowserFrame);
    auto* browserLayout = new QVBoxLayout(m_browserFrame);
    browserLayout->setContentsMargins(1, 1, 1, 1);

    m_mailText = new QPlainTextEdit(this);
    m_mailText->setObjectName(QStringLiteral("MailText"));
    m_mailText->setReadOnly(true);
    m_mailText->hide();
    placeInTwips(m_mailText, kBrowserFrame);

    Text3 = new QPlainTextEdit(this);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setReadOnly(true);
    placeInTwips(Text3, kBrowserFrame);

    Label2 = new QLabel(QStringLiteral("Quillfern"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label2->setStyleSheet(
        QStringLiteral("color: #1f4e9c; font-size: 16pt; font-weight: bold; background: none;"));
    placeInTwips(Label2, {kNameLeft, m_nameTopTwips, kNameWidth, kNameHeight});
    Label2->raise();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kNameTickMilliseconds);
    connect(Timer1, &QTimer::timeout, this, &AttachmentBrowser::moveName);
}

void AttachmentBrowser::fillDrives() {
    for (const QStorageInfo& volume : listedVolumes()) {
        Drive1->addItem(driveCaption(volume), volume.rootPath());
    }
}

void AttachmentBrowser::chooseDrive(const QString& rootPath) {
    m_folders->setRootPath(rootPath);
    Dir1->setRootIndex(m_folders->index(rootPath));
    showFolderInTree(rootPath);
    listFiles(rootPath);
}

void AttachmentBrowser::chooseFolder(const QString& path) {
    showFolderInTree(path);
    listFiles(path);
}

// Marks the folder in the tree, opening the folders above it, without
// taking the mark for a choice of the user's.
void AttachmentBrowser::showFolderInTree(const QString& path) {
    m_movingTree = true;
    m_treeFolder = path;
    m_followMarked = true;
    const QModelIndex folder = m_folders->index(path);
    for (QModelIndex above = folder.parent(); above.isValid(); above = above.parent()) {
        Dir1->expand(above);
    }
    Dir1->setCurrentIndex(folder);
    m_keepInView->start();
    m_movingTree = false;
}

void AttachmentBrowser::folderSelected(const QModelIndex& current) {
    if (!m_movingTree && current.isValid()) {
        m_treeFolder = m_folders->filePath(current);
        listFiles(m_treeFolder);
    }
}

// Each row keeps the file's name as the file system holds it, so that a name
// that is not UTF-8 is opened by its own bytes.
void AttachmentBrowser::listFiles(const QString& folder) {
    m_fileFolder = folder;
    File1->clear();
    for (const ListedFile& file : attachments::listFiles(QFile::encodeName(folder).toStdString())) {
        auto* row = new QListWidgetItem(fromUtf8(file.shownName), File1);
        row->setData(kFileNameRole, QByteArray::fromStdString(file.name));
    }
    Text1->setText(QString::number(File1->count()));
}

void AttachmentBrowser::chooseFile(int row) {
    if (row < 0 || row >= File1->count()) {
        return;
    }
    Label2->hide();  // for good: nothing shows the name again
    Text3->hide();
    Text1->setText(QString::number(File1->count()));
    const QListWidgetItem* chosen = File1->item(row);
    const std::string folder = QFile::encodeName(m_fileFolder).toStdString();
    const QByteArray path = QByteArray::fromStdString(
        chosenFilePath(folder, chosen->data(kFileNameRole).toByteArray().toStdString()));
    const QString shownPath =
        fromUtf8(chosenFilePath(shownFileName(folder), chosen->text().toStdString()));
    // The path line and the picture frame name and show only what was chosen.
    Text2->setText(shownPath);
    if (showPicture(path)) {
        m_shownPicturePath = shownPath;
        return;
    }
    Image1->clear();
    m_shownPicturePath.clear();
    if (isMailFile(chosen->text().toStdString()) && showMail(path)) {
        return;
    }
    // Not a picture (or not one that can be read): the web view shows it or
    // offers it for saving.
    m_mailText->hide();
    if (LocalFileView* view = ensureBrowser()) {
        view->showLocalFile(path, chosen->text());
    }
}

// A saved mail shows as text in the web view's place: the engine would take
// it for a web archive and show an empty page. False when it cannot be read.
bool AttachmentBrowser::showMail(const QByteArray& path) {
    QFile file;
    if (!file.open(openRegularFile(path.toStdString()), QIODevice::ReadOnly,
                   QFileDevice::AutoCloseHandle)) {
        return false;
    }
    const QByteArray raw = file.read(static_cast<qint64>(kMailFileReadBytes));
    m_mailText->setPlainText(fromUtf8(mailFileText(raw.toStdString())));
    m_mailText->show();
    m_mailText->raise();
    return true;
}

// A picture larger than the frame is scaled down to fit, keeping its shape.
// Only a regular file is read: a pipe or a device named like a picture would
// hold the window.
bool AttachmentBrowser::showPicture(const QByteArray& path) {
    QFile file;
    if (!file.open(openRegularFile(path.toStdString()), QIODevice::ReadOnly,
                   QFileDevice::AutoCloseHandle)) {
        return false;
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull()) {
        return false;
    }
    const QSize room = Image1->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height()) {
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    Image1->setPixmap(QPixmap::fromImage(picture));
    return true;
}

// The web view's module: beside the program, in the installed library
// folder (<prefix>/lib/quillfern), else where the build left it.
LocalFileView* AttachmentBrowser::ensureBrowser() {
    if (m_view != nullptr) {
        return m_view;
    }
    // Qt WebEngine shares an OpenGL context with the program. The module makes
    // that context when it starts; set here, the flag keeps the engine from
    // warning that it was loaded late. Set only now, it costs the programs
    // that never show a page nothing (a context is tens of MB with Mesa).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const QString programDir = QCoreApplication::applicationDirPath();
    QLibrary module;
    for (const QString& candidate :
         {programDir + QStringLiteral("/libqf_webview.so"),
          programDir + QStringLiteral("/../lib/quillfern/libqf_webview.so"),
          QStringLiteral(QF_WEBVIEW_MODULE)}) {
        module.setFileName(candidate);
        if (module.load()) {
            break;
        }
    }
    auto create = reinterpret_cast<CreateLocalFileView>(module.resolve(kCreateLocalFileViewSymbol));
    if (create == nullptr) {
        ui::tell(this, ui::Say::kWebViewMissing, {}, module.errorString());
        return nullptr;
    }
    m_view = create(m_browserFrame);
    m_view->setSaveFailureReporter([this](const QString& message) {
        ui::tell(this, ui::Say::kAttachmentNotSaved, {}, message);
    });
    WebBrowser1 = &m_view->widget();
    m_browserFrame->layout()->addWidget(WebBrowser1);
    Text3->raise();
    return m_view;
}

void AttachmentBrowser::pressExplanation() {
    if (m_explanation.press()) {
        Text3->setPlainText(fromUtf8(explanationText()));
        Text3->show();
        Text3->raise();  // above the scrolling name, which passes behind it
    } else {
        Text3->hide();
    }
}

// The timer keeps running once the name is hidden, as it always has.
void AttachmentBrowser::moveName() {
    m_nameTopTwips = nextNameTop(m_nameTopTwips);
    placeInTwips(Label2, {kNameLeft, m_nameTopTwips, kNameWidth, kNameHeight});
}

// Return in the file list chooses the marked file, as a click does.
bool AttachmentBrowser::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Dir1 || watched == Dir1->viewport()) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel ||
         event->type() == QEvent::KeyPress)) {
        m_followMarked = false;  // the user moves the tree now
    }
    if (watched == File1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            chooseFile(File1->currentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace qf::attachments
