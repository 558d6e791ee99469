// The main window: a panel of picture buttons, the box table with the
// registered senders and the total and new-mail counters of the six
// receiving boxes, a help bar, a clock and two scrolling pictures.
//
// What the program holds for the whole run lives in the application's held
// state; other windows ask the main window for what they need through its
// intents (ui::MainWindowIntents) and never write its controls.
//
// Boxes are numbered as everywhere in the program: 1-5 the registrations'
// boxes, 6 "その他", 10 the keep box, 11 the send history.
#pragma once

#include <QLabel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "settings/AccountFiles.h"
#include "settings/ServerSettings.h"
#include "store/BoxCatalogue.h"
#include "ui/WindowEnvironment.h"

class QLineEdit;
class QPlainTextEdit;

namespace qf::ui {
class ActiveLabel;
}

namespace qf::app {

using ui::ActiveLabel;
class Application;

using store::kKeepBox;
using store::kReceivingBoxes;
using store::kSendHistoryBox;

// What the buttons do once their press animation is over. The application
// fills these in; tests replace single entries.
struct MainWindowActions {
    std::function<void()> compose;              // New
    std::function<void()> receive;              // Receive
    std::function<void()> addressBook;          // Address
    std::function<void()> sortingRegistration;  // Divide
    std::function<void()> attachments;          // Attach
    std::function<void()> settings;             // Other
    std::function<void(int box)> openBox;       // box captions, Send, Keep
    std::function<void()> homePage;             // HP
    std::function<void()> search;               // 検索, Ctrl+F
    std::function<void()> stopReceive = [] {};  // Esc: stop a receive under way
    // False when a job under way must end first: it was asked to stop, and
    // the window is closed again when it has ended.
    std::function<bool()> mayCloseNow = [] { return true; };
};

class MainWindow : public QWidget, public ui::MainWindowIntents {
    Q_OBJECT

  public:
    explicit MainWindow(Application& app);
    ~MainWindow() override;

    // The start-up sequence: registrations, box files and their counts,
    // server settings, the transport library; opens the server settings
    // window when no POP3 server is set. Problems with a box file are shown
    // to the user and leave that box's total empty.
    void load();

    MainWindowActions& actions() { return m_actions; }

    // The folder the file dialogs start in: the working directory at start.
    const QString& dialogFolder() const { return m_dialogFolder; }

    // What other windows may ask (ui::MainWindowIntents).
    QWidget& window() override { return *this; }
    void showHelpText(const QString& text) override;  // m_helpBar
    void showProgress(const QString& text) override;
    void showRawText(const QString& text) override;            // m_rawText
    void showNoNewMailNotice(const QString& notice) override;  // m_noNewMailNotice
    void endNoNewMailNotice() override;
    void countNewMail(int box) override;
    void addNewToTotal(int box) override;
    void showBoxCount(int box, int count) override;
    void reloadRegistrations() override;
    QString registeredAddress(int box) const override;
    QString boxCaption(int box) const override;
    QString clockText() const override;

  signals:
    // The window is being closed: the program ends.
    void closing();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The controls of receiving box 1-6 (box 6 has no address: nullptr) and
    // the counts they show: the total (none when the box file could not be
    // read) and the new mail not yet added to it (shown empty at 0).
    struct BoxRow {
        ActiveLabel* caption = nullptr;
        QLineEdit* address = nullptr;
        QLineEdit* total = nullptr;
        QLineEdit* fresh = nullptr;
        std::optional<int> totalCount;
        int newCount = 0;
    };

    // Controls. Each keeps its given name as objectName(), by which tests
    // find it (docs/GLOSSARY.md). Every picture button is a caption lying on
    // its picture.
    QLabel* m_helpBar = nullptr;
    ActiveLabel *m_newButton = nullptr, *m_newPicture = nullptr;
    ActiveLabel *m_receiveButton = nullptr, *m_receivePicture = nullptr;
    ActiveLabel *m_sentButton = nullptr, *m_sentPicture = nullptr;  // the send history
    ActiveLabel *m_keepButton = nullptr, *m_keepPicture = nullptr;  // the keep box
    ActiveLabel *m_addressButton = nullptr, *m_addressPicture = nullptr;
    ActiveLabel *m_divideButton = nullptr, *m_dividePicture = nullptr;      // sorting
    ActiveLabel *m_attachButton = nullptr, *m_attachPicture = nullptr;      // attachments
    ActiveLabel *m_settingsButton = nullptr, *m_settingsPicture = nullptr;  // "Other"
    ActiveLabel *m_homePageButton = nullptr, *m_minimiseButton = nullptr;
    ActiveLabel* m_searchButton = nullptr;
    // The receiving boxes' controls, reached through BoxRow.
    ActiveLabel *m_box1Caption = nullptr, *m_box2Caption = nullptr, *m_box3Caption = nullptr,
                *m_box4Caption = nullptr, *m_box5Caption = nullptr, *m_otherBoxCaption = nullptr;
    QLineEdit *m_box1Total = nullptr, *m_box1New = nullptr, *m_box2New = nullptr,
              *m_box2Total = nullptr, *m_box3New = nullptr, *m_box3Total = nullptr,
              *m_box4New = nullptr, *m_box4Total = nullptr, *m_box5New = nullptr,
              *m_box5Total = nullptr, *m_otherBoxNew = nullptr, *m_otherBoxTotal = nullptr;
    QLineEdit *m_box1Address = nullptr, *m_box2Address = nullptr, *m_box3Address = nullptr,
              *m_box4Address = nullptr, *m_box5Address = nullptr;
    ActiveLabel *m_banner = nullptr, *m_boxPanel = nullptr;
    ActiveLabel *m_risingPicture = nullptr, *m_fallingPicture = nullptr;
    QLabel* m_version = nullptr;
    QLineEdit* m_clock = nullptr;
    QPlainTextEdit* m_rawText = nullptr;  // of the mail being received
    QLineEdit* m_noNewMailNotice = nullptr;
    QTimer m_risingTimer;   // a stop a tick
    QTimer m_fallingTimer;  // a stop a tick
    QTimer m_clockTimer;

    void createControls();
    void createButtons();
    void createBoxTable();
    void createStatusArea();
    void connectHelpTexts();
    void connectButtons();
    void setKeyboardOrder();
    void showRegisteredAddresses();
    void showBoxCaptions();
    const settings::SortingRegistration& registration(int box) const;
    void showBoxCounts();
    void showClock();
    static void slideOneStep(ActiveLabel& picture, const std::array<int, 13>& tops,
                             std::size_t& step);
    QString picture(const QString& name) const;
    const BoxRow& row(int box) const;
    BoxRow& row(int box);
    // Shows the counts held for receiving box 1-6 in its two counters.
    void showCounts(int box);

    Application& m_app;
    MainWindowActions m_actions;
    std::array<BoxRow, kReceivingBoxes> m_rows{};
    QString m_dialogFolder;
    std::size_t m_risingStep = 0;
    std::size_t m_fallingStep = 0;
};

}  // namespace qf::app
