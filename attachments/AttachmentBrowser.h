// The attachment browser "添付ファイル他の確認": drive, folder and file lists
// that start at the attachment folder; a picture file chosen in the file list is
// shown in the picture frame, any other file goes to the embedded web view
// (HTML is shown, other files are offered for saving). A button shows and
// hides an explanation; the program's name scrolls over the picture frame
// until the first file is chosen.
//
// The web view costs about 100 MB and three helper processes, so it is made
// only when the first file that is not a picture is chosen.
#pragma once

#include <QString>
#include <QWidget>

#include "attachments/AttachBrowsing.h"

class QComboBox;
class QFileSystemModel;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QModelIndex;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace qf::ui {
class WindowEnvironment;
}

namespace qf::attachments {

class LocalFileView;

class AttachmentBrowser : public QWidget {
    Q_OBJECT

  public:
    // The lists start at `startFolder`; the program's window starts at the
    // attachment folder.
    explicit AttachmentBrowser(const QString& startFolder, QWidget* parent = nullptr);
    explicit AttachmentBrowser(ui::WindowEnvironment& env);

    // Handlers, callable from tests as the controls would call them.
    void chooseDrive(const QString& rootPath);  // m_driveList changed
    void chooseFolder(const QString& path);     // m_folderTree changed
    void chooseFile(int row);                   // m_fileList clicked
    void pressExplanation();                    // m_explanationButton
    void moveName();                            // m_nameTimer

    // The folder m_fileList lists, as the lists give it.
    const QString& fileFolder() const { return m_fileFolder; }
    // The file last shown in m_picture, as the lists show its path; empty before
    // the first picture.
    const QString& shownPicturePath() const { return m_shownPicturePath; }
    // The web view (a QWebEngineView), or nullptr while no file has needed it.
    QWidget* browser() const { return m_browser; }
    int nameTopTwips() const { return m_nameTopTwips; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildControls();
    void fillDrives();
    void showFolderInTree(const QString& path);
    void folderSelected(const QModelIndex& current);
    void listFiles(const QString& folder);
    bool showPicture(const QByteArray& path, const QString& shownPath);
    LocalFileView* ensureBrowser();

    ExplanationToggle m_explanation;
    int m_nameTopTwips = kNameOpeningTop;
    QString m_fileFolder;
    QString m_shownPicturePath;
    // The folder marked in m_folderTree, kept in view while the model reads until
    // the user scrolls, clicks or types in the tree.
    QString m_treeFolder;
    bool m_followMarked = true;
    bool m_movingTree = false;
    QTimer* m_keepInView = nullptr;

    QComboBox* m_driveList = nullptr;
    QTreeView* m_folderTree = nullptr;
    QFileSystemModel* m_folders = nullptr;
    QListWidget* m_fileList = nullptr;
    QLineEdit* m_fileCount = nullptr;
    QLabel* m_picture = nullptr;
    QFrame* m_browserFrame = nullptr;
    QWidget* m_browser = nullptr;
    LocalFileView* m_view = nullptr;
    QLineEdit* m_browsedPath = nullptr;
    QPlainTextEdit* m_explanationText = nullptr;
    QPushButton* m_explanationButton = nullptr;
    QLabel* m_scrollingName = nullptr;
    QTimer* m_nameTimer = nullptr;
};

}  // namespace qf::attachments
