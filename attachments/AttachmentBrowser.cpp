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
#include "attachments/ModulePlace.h"
#include "base/Twips.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::attachments {
namespace {

using base::TwipsRect;
using base::twipsToPixels;
using ui::placeInTwips;

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
// A file list row's name as the file system holds it.
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
    setObjectName(QStringLiteral("AttachForm"));
    setWindowTitle(QStringLiteral("添付ファイル他の確認"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(kWindow.width), twipsToPixels(kWindow.height));
    buildControls();

    // Opening: the timer, the explanation hidden and then shown by one press,
    // the lists at the start folder (where received attachments land) and
    // its drive.
    m_nameTimer->start();
    m_explanationText->hide();
    pressExplanation();
    const QString drive = QStorageInfo(startFolder).rootPath();
    fillDrives();
    const int driveRow = m_driveList->findData(drive);
    if (driveRow >= 0) {
        m_driveList->setCurrentIndex(driveRow);
    }
    m_folders->setRootPath(drive);
    m_folderTree->setRootIndex(m_folders->index(drive));
    showFolderInTree(startFolder);
    listFiles(startFolder);
}

void AttachmentBrowser::buildControls() {
    m_driveList = new QComboBox(this);
    m_driveList->setObjectName(QStringLiteral("Drive1"));
    placeInTwips(m_driveList, kDriveList);
    connect(m_driveList, &QComboBox::activated, this,
            [this](int row) { chooseDrive(m_driveList->itemData(row).toString()); });

    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_folderTree = new QTreeView(this);
    m_folderTree->setObjectName(QStringLiteral("Dir1"));
    m_folderTree->setModel(m_folders);
    m_folderTree->setHeaderHidden(true);
    for (int column = 1; column < m_folders->columnCount(); ++column) {
        m_folderTree->hideColumn(column);
    }
    placeInTwips(m_folderTree, kFolderList);
    connect(m_folderTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
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
            m_folderTree->scrollTo(marked, QAbstractItemView::PositionAtCenter);
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
    m_folderTree->viewport()->installEventFilter(this);
    m_folderTree->installEventFilter(this);

    m_fileList = new QListWidget(this);
    m_fileList->setObjectName(QStringLiteral("File1"));
    placeInTwips(m_fileList, kFileList);
    connect(m_fileList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { chooseFile(m_fileList->row(item)); });
    m_fileList->installEventFilter(this);

    auto* countLabel = ui::plainLabel(QStringLiteral("ファイル数"), this);
    placeInTwips(countLabel, kCountLabel);
    m_fileCount = new QLineEdit(this);
    m_fileCount->setObjectName(QStringLiteral("Text1"));
    m_fileCount->setReadOnly(true);
    placeInTwips(m_fileCount, kCountBox);

    m_explanationButton = new QPushButton(QStringLiteral("説明"), this);
    m_explanationButton->setObjectName(QStringLiteral("Command1"));
    placeInTwips(m_explanationButton, kExplainButton);
    connect(m_explanationButton, &QPushButton::clicked, this, &AttachmentBrowser::pressExplanation);

    m_picture = ui::plainLabel(QString(), this);
    m_picture->setObjectName(QStringLiteral("Image1"));
    m_picture->setFrameShape(QFrame::StyledPanel);
    m_picture->setAlignment(Qt::AlignCenter);
    placeInTwips(m_picture, kPictureFrame);

    m_browsedPath = new QLineEdit(this);
    m_browsedPath->setObjectName(QStringLiteral("Text2"));
    m_browsedPath->setReadOnly(true);
    placeInTwips(m_browsedPath, kPathBox);

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

    m_explanationText = new QPlainTextEdit(this);
    m_explanationText->setObjectName(QStringLiteral("Text3"));
    m_explanationText->setReadOnly(true);
    placeInTwips(m_explanationText, kBrowserFrame);

    m_scrollingName = ui::plainLabel(QStringLiteral("Quillfern"), this);
    m_scrollingName->setObjectName(QStringLiteral("Label2"));
    m_scrollingName->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_scrollingName->setStyleSheet(
        QStringLiteral("color: #1f4e9c; font-size: 16pt; font-weight: bold; background: none;"));
    placeInTwips(m_scrollingName, {kNameLeft, m_nameTopTwips, kNameWidth, kNameHeight});
    m_scrollingName->raise();

    m_nameTimer = new QTimer(this);
    m_nameTimer->setObjectName(QStringLiteral("Timer1"));
    m_nameTimer->setInterval(kNameTickMilliseconds);
    connect(m_nameTimer, &QTimer::timeout, this, &AttachmentBrowser::moveName);
}

void AttachmentBrowser::fillDrives() {
    for (const QStorageInfo& volume : listedVolumes()) {
        m_driveList->addItem(driveCaption(volume), volume.rootPath());
    }
}

void AttachmentBrowser::chooseDrive(const QString& rootPath) {
    m_folders->setRootPath(rootPath);
    m_folderTree->setRootIndex(m_folders->index(rootPath));
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
        m_folderTree->expand(above);
    }
    m_folderTree->setCurrentIndex(folder);
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
    m_fileList->clear();
    for (const ListedFile& file : attachments::listFiles(QFile::encodeName(folder).toStdString())) {
        auto* row = new QListWidgetItem(fromUtf8(file.shownName), m_fileList);
        row->setData(kFileNameRole, QByteArray::fromStdString(file.name));
    }
    m_fileCount->setText(QString::number(m_fileList->count()));
}

void AttachmentBrowser::chooseFile(int row) {
    if (row < 0 || row >= m_fileList->count()) {
        return;
    }
    m_scrollingName->hide();  // for good: nothing shows the name again
    m_explanationText->hide();
    m_fileCount->setText(QString::number(m_fileList->count()));
    const QListWidgetItem* chosen = m_fileList->item(row);
    const std::string folder = QFile::encodeName(m_fileFolder).toStdString();
    const QByteArray path = QByteArray::fromStdString(
        chosenFilePath(folder, chosen->data(kFileNameRole).toByteArray().toStdString()));
    const QString shownPath =
        fromUtf8(chosenFilePath(shownFileName(folder), chosen->text().toStdString()));
    // The path line and the picture frame name and show only what was chosen.
    m_browsedPath->setText(shownPath);
    if (showPicture(path)) {
        m_shownPicturePath = shownPath;
        return;
    }
    m_picture->clear();
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
    const QSize room = m_picture->contentsRect().size();
    if (picture.width() > room.width() || picture.height() > room.height()) {
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    m_picture->setPixmap(QPixmap::fromImage(picture));
    return true;
}

// The web view's module: beside the program, else in the library folder
// beside the program's (ModulePlace.h); only a file no one else can change.
LocalFileView* AttachmentBrowser::ensureBrowser() {
    if (m_view != nullptr) {
        return m_view;
    }
    // Qt WebEngine shares an OpenGL context with the program. The module makes
    // that context when it starts; set here, the flag keeps the engine from
    // warning that it was loaded late. Set only now, it costs the programs
    // that never show a page nothing (a context is tens of MB with Mesa).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QLibrary module;
    QStringList failures;  // of each place, for the message when none serves
    const std::string programDir =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    for (const std::string& place : webViewModulePlaces(programDir)) {
        if (const Status trusted = checkCodeFile(place); !trusted.isOk()) {
            if (!trusted.outsideText().empty()) {
                failures << fromUtf8(trusted.outsideText());
            }
            continue;
        }
        module.setFileName(QFile::decodeName(place.c_str()));
        if (module.load()) {
            break;
        }
        failures << module.errorString();
    }
    auto create =
        module.isLoaded()
            ? reinterpret_cast<CreateLocalFileView>(module.resolve(kCreateLocalFileViewSymbol))
            : nullptr;
    if (create == nullptr) {
        if (module.isLoaded()) {
            failures << module.errorString();  // the module lacks its entry point
        }
        ui::tell(this, ui::Say::kWebViewMissing, {}, failures.join(QLatin1Char('\n')));
        return nullptr;
    }
    m_view = create(m_browserFrame);
    m_view->setSaveFailureReporter(
        [this](const QString& message) { ui::tell(this, ui::Say::kFileNotSaved, {}, message); });
    m_browser = &m_view->widget();
    m_browserFrame->layout()->addWidget(m_browser);
    m_explanationText->raise();
    return m_view;
}

void AttachmentBrowser::pressExplanation() {
    if (m_explanation.press()) {
        m_explanationText->setPlainText(fromUtf8(explanationText()));
        m_explanationText->show();
        m_explanationText->raise();  // above the scrolling name, which passes behind it
    } else {
        m_explanationText->hide();
    }
}

// The timer keeps running once the name is hidden, as it always has.
void AttachmentBrowser::moveName() {
    m_nameTopTwips = nextNameTop(m_nameTopTwips);
    placeInTwips(m_scrollingName, {kNameLeft, m_nameTopTwips, kNameWidth, kNameHeight});
}

// Return in the file list chooses the marked file, as a click does.
bool AttachmentBrowser::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_folderTree || watched == m_folderTree->viewport()) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel ||
         event->type() == QEvent::KeyPress)) {
        m_followMarked = false;  // the user moves the tree now
    }
    if (watched == m_fileList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            chooseFile(m_fileList->currentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace qf::attachments
