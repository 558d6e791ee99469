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
struct MainFormActions {
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

class MainForm : public QWidget, public ui::MainWindowIntents {
    Q_OBJECT

  public:
    explicit MainForm(Application& app);
    ~MainForm() override;

    // The start-up sequence: registrations, box files and their counts,
    // server settings, the transport library; opens the server settings
    // window when no POP3 server is set. Problems with a box file are shown
    // to the user and leave that box's total empty.
    void load();

    MainFormActions& actions() { return m_actions; }

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

    // The counters and registered address of receiving box 1-6 (box 6 has
    // no address: nullptr).
    QLineEdit* totalCounter(int box) const;
    QLineEdit* newCounter(int box) const;
    QLineEdit* addressField(int box) const;

    // Controls, by their given names (also their objectName()s).
    QLabel* Label10;                                                      // help bar
    ActiveLabel *Label5, *Image3;                                         // New
    ActiveLabel *Label6, *Image2;                                         // Receive
    ActiveLabel *Label8, *Image10;                                        // Send (send history)
    ActiveLabel *Label15, *Image11;                                       // Keep (keep box)
    ActiveLabel *Label16, *Image4;                                        // Address
    ActiveLabel *Label17, *Image15;                                       // Divide
    ActiveLabel *Label18, *Image13;                                       // Attach
    ActiveLabel *Label19, *Image12;                                       // Other
    ActiveLabel *Label22, *Label23;                                       // home page, minimise
    ActiveLabel* Label24;                                                 // search
    ActiveLabel *Label3, *Label4, *Label9, *Label11, *Label12, *Label13;  // box captions
    ActiveLabel *Image1, *Image14, *Image17, *Image18;                    // title, panel, scrolling
    QLabel* Label21;                                                      // version
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5, *Text6, *Text7, *Text8, *Text9, *Text10,
        *Text11, *Text12;                                   // counters
    QLineEdit *Text13, *Text14, *Text15, *Text16, *Text17;  // registered senders
    QLineEdit* Text18;                                      // clock
    QPlainTextEdit* Text19;                                 // raw text of the mail being received
    QLineEdit* Text20;                                      // no-new-mail notice
    QTimer Timer1;                                          // Image17 climbs, a stop a tick
    QTimer Timer2;                                          // Image18 falls, a stop a tick
    QTimer Timer3;                                          // clock

  signals:
    // The window is being closed: the program ends.
    void closing();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct BoxRow {
        ActiveLabel* caption;
        QLineEdit* address;
        QLineEdit* total;
        QLineEdit* fresh;
    };

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

    Application& m_app;
    MainFormActions m_actions;
    std::array<BoxRow, kReceivingBoxes> m_rows{};
    QString m_dialogFolder;
    std::size_t m_risingStep = 0;
    std::size_t m_fallingStep = 0;
};

}  // namespace qf::app
