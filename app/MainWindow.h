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
    void showHelpText(const QString& text) override;  // Label10
    void showProgress(const QString& text) override;
    void showRawText(const QString& text) override;            // Text19
    void showNoNewMailNotice(const QString& notice) override;  // Text20
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

    // Controls, by their given names (also their objectName()s, by which
    // tests find them).
    QLabel* Label10 = nullptr;                           // help bar
    ActiveLabel *Label5 = nullptr, *Image3 = nullptr;    // New
    ActiveLabel *Label6 = nullptr, *Image2 = nullptr;    // Receive
    ActiveLabel *Label8 = nullptr, *Image10 = nullptr;   // Send (send history)
    ActiveLabel *Label15 = nullptr, *Image11 = nullptr;  // Keep (keep box)
    ActiveLabel *Label16 = nullptr, *Image4 = nullptr;   // Address
    ActiveLabel *Label17 = nullptr, *Image15 = nullptr;  // Divide
    ActiveLabel *Label18 = nullptr, *Image13 = nullptr;  // Attach
    ActiveLabel *Label19 = nullptr, *Image12 = nullptr;  // Other
    ActiveLabel *Label22 = nullptr, *Label23 = nullptr;  // home page, minimise
    ActiveLabel* Label24 = nullptr;                      // search
    ActiveLabel *Label3 = nullptr, *Label4 = nullptr, *Label9 = nullptr, *Label11 = nullptr,
                *Label12 = nullptr, *Label13 = nullptr;  // box captions
    ActiveLabel *Image1 = nullptr, *Image14 = nullptr;   // title, panel
    ActiveLabel *Image17 = nullptr, *Image18 = nullptr;  // scrolling pictures
    QLabel* Label21 = nullptr;                           // version
    QLineEdit *Text1 = nullptr, *Text2 = nullptr, *Text3 = nullptr, *Text4 = nullptr,
              *Text5 = nullptr, *Text6 = nullptr, *Text7 = nullptr, *Text8 = nullptr,
              *Text9 = nullptr, *Text10 = nullptr, *Text11 = nullptr,
              *Text12 = nullptr;  // counters
    QLineEdit *Text13 = nullptr, *Text14 = nullptr, *Text15 = nullptr, *Text16 = nullptr,
              *Text17 = nullptr;       // registered senders
    QLineEdit* Text18 = nullptr;       // clock
    QPlainTextEdit* Text19 = nullptr;  // raw text of the mail being received
    QLineEdit* Text20 = nullptr;       // no-new-mail notice
    QTimer Timer1;                     // Image17 climbs, a stop a tick
    QTimer Timer2;                     // Image18 falls, a stop a tick
    QTimer Timer3;                     // clock

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
