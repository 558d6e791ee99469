// The address book window "アドレス帳": lists the entries of the address-book
// file, registers a name and address, turns an address into name<address>,
// and deletes the selected entry (after a Yes) with the file's compaction.
//
// Every operation opens the file for itself; the window keeps only its
// controls and the record number behind each row.
#pragma once

#include <QWidget>
#include <vector>

#include "settings/ProgramFolder.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace qf::ui {
class ActiveLabel;
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::addressbook {

class AddressBookWindow : public QWidget {
    Q_OBJECT

  public:
    explicit AddressBookWindow(settings::ProgramFolder folder, QWidget* parent = nullptr);
    explicit AddressBookWindow(ui::WindowEnvironment& env);

    const std::vector<int>& recordNumbers() const { return m_recordNumbers; }

    // The viewer's register-sender command: the mail-address field gets the
    // sender as the viewer shows it.
    void showMailAddress(const QString& address);

    // Handlers, callable from tests as the clicks would call them.
    void registerEntry();
    void deleteSelected();
    void insertName();
    void pasteAddress();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void buildControls();
    void buildHelpTexts();
    void setHelp(QWidget* control, const QString& text);
    void loadList();
    void rowPressed();
    std::string dataFolder() const;

    settings::ProgramFolder m_folder;
    std::vector<int> m_recordNumbers;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_cardName = nullptr;
    QPushButton* m_pasteAddress = nullptr;
    QPushButton* m_insertCardName = nullptr;
    ui::ActiveLabel* m_register = nullptr;
    ui::ActiveLabel* m_delete = nullptr;
    QListWidget* m_entries = nullptr;
    QLineEdit* m_count = nullptr;
    QLabel* m_status = nullptr;
    QPlainTextEdit* m_helpBox = nullptr;
};

}  // namespace qf::addressbook
