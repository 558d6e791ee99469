#include "addressbook/AddressBookWindow.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "addressbook/AddressBookFile.h"
#include "addressbook/AddressLookup.h"
#include "base/NotDurable.h"
#include "base/Twips.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "text/Utf8.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::addressbook {
namespace {

using base::TwipsRect;
using base::twipsToPixels;
using ui::placeInTwips;

constexpr int kNameTypingLimit = 30;
constexpr int kAddressTypingLimit = 60;

// Layout in twips: the three fields with their buttons, the two commands on
// the right, the list, then count, status line and help box.
constexpr TwipsRect kWindow{0, 0, 8400, 6720};
constexpr TwipsRect kNameBox{1800, 120, 3000, 330};
constexpr TwipsRect kAddressBox{1800, 540, 4200, 330};
constexpr TwipsRect kPasteButton{6120, 540, 720, 330};
constexpr TwipsRect kInsertNameBox{1800, 960, 3000, 330};
constexpr TwipsRect kInsertButton{4920, 960, 1080, 330};
constexpr TwipsRect kRegisterLabel{7080, 120, 1200, 420};
constexpr TwipsRect kDeleteLabel{7080, 660, 1200, 420};
constexpr TwipsRect kList{120, 1440, 8160, 3600};
constexpr TwipsRect kCountLabel{120, 5160, 1080, 330};
constexpr TwipsRect kCountBox{1200, 5160, 900, 330};
constexpr TwipsRect kStatusLine{2280, 5160, 6000, 330};
constexpr TwipsRect kHelpBox{120, 5580, 8160, 1020};

using ui::fromUtf8;

// The first characters of a field, stripped of ASCII spaces (an ideographic
// padding stays, as it was stored).
QString fieldStart(const std::string& field, std::size_t characters) {
    return fromUtf8(
        std::string(text::stripSpaces(text::utf8PrefixOfCharacters(field, characters))));
}

QFont rowFont() {
    const QString family = QStringLiteral("Noto Sans Mono CJK JP");
    if (!QFontDatabase::families().contains(family)) {
        return QFontDatabase::systemFont(QFontDatabase::FixedFont);
    }
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

}  // namespace

AddressBookWindow::AddressBookWindow(ui::WindowEnvironment& env)
    : AddressBookWindow(env.folder()) {}

AddressBookWindow::AddressBookWindow(settings::ProgramFolder folder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_folder(std::move(folder)) {
    setObjectName(QStringLiteral("FriendForm"));
    setWindowTitle(QStringLiteral("アドレス帳"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    setFixedSize(twipsToPixels(kWindow.width), twipsToPixels(kWindow.height));
    buildControls();
    buildHelpTexts();
    // Opening: the count as it stands, an empty status line, then the list.
    m_count->setText(QString::number(m_entries->count()));
    m_status->clear();
    loadList();
}

void AddressBookWindow::buildControls() {
    auto addLabel = [this](const QString& caption, const TwipsRect& box) {
        auto* label = ui::plainLabel(caption, this);
        placeInTwips(label, {120, box.top, 1620, box.height});
    };
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("Text2"));
    m_name->setValidator(new ui::TypingLimit(kNameTypingLimit, m_name));
    placeInTwips(m_name, kNameBox);
    addLabel(QStringLiteral("名前（名称）"), kNameBox);

    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("Text4"));
    m_address->setValidator(new ui::TypingLimit(kAddressTypingLimit, m_address));
    placeInTwips(m_address, kAddressBox);
    addLabel(QStringLiteral("メールアドレス"), kAddressBox);
    m_pasteAddress = new QPushButton(QStringLiteral("貼付"), this);
    m_pasteAddress->setObjectName(QStringLiteral("Command1"));
    placeInTwips(m_pasteAddress, kPasteButton);
    connect(m_pasteAddress, &QPushButton::clicked, this, &AddressBookWindow::pasteAddress);

    m_cardName = new QLineEdit(this);
    m_cardName->setObjectName(QStringLiteral("Text50"));
    placeInTwips(m_cardName, kInsertNameBox);
    addLabel(QStringLiteral("名詞"), kInsertNameBox);
    m_insertCardName = new QPushButton(QStringLiteral("名刺挿入"), this);
    m_insertCardName->setObjectName(QStringLiteral("Command38"));
    placeInTwips(m_insertCardName, kInsertButton);
    connect(m_insertCardName, &QPushButton::clicked, this, &AddressBookWindow::insertName);

    // The two commands are labels, framed so they read as buttons.
    const QString commandStyle =
        QStringLiteral("border: 2px outset #7a8fb8; background: #dfe6f3; font-weight: bold;");
    m_register = new ui::ActiveLabel(QStringLiteral("Label5"), this);
    m_register->setText(QStringLiteral("登録"));
    m_register->setAlignment(Qt::AlignCenter);
    m_register->setStyleSheet(commandStyle);
    placeInTwips(m_register, kRegisterLabel);
    connect(m_register, &ui::ActiveLabel::clicked, this, &AddressBookWindow::registerEntry);
    m_delete = new ui::ActiveLabel(QStringLiteral("Label6"), this);
    m_delete->setText(QStringLiteral("削除"));
    m_delete->setAlignment(Qt::AlignCenter);
    m_delete->setStyleSheet(commandStyle);
    placeInTwips(m_delete, kDeleteLabel);
    connect(m_delete, &ui::ActiveLabel::clicked, this, &AddressBookWindow::deleteSelected);

    m_entries = new QListWidget(this);
    m_entries->setObjectName(QStringLiteral("List1"));
    // The rows are laid out by CP932 bytes (the address padded to its field).
    // In a monospace CJK face a full-width character is two columns, as it
    // is two bytes, so the names line up as the file lays them out.
    m_entries->setFont(rowFont());
    m_entries->viewport()->installEventFilter(this);
    placeInTwips(m_entries, kList);

    auto* countLabel = ui::plainLabel(QStringLiteral("登録件数"), this);
    placeInTwips(countLabel, kCountLabel);
    m_count = new QLineEdit(this);
    m_count->setObjectName(QStringLiteral("Text3"));
    m_count->setReadOnly(true);
    placeInTwips(m_count, kCountBox);
    m_status = ui::plainLabel(QString(), this);
    m_status->setObjectName(QStringLiteral("Label7"));
    placeInTwips(m_status, kStatusLine);
    m_helpBox = new QPlainTextEdit(this);
    m_helpBox->setObjectName(QStringLiteral("Text5"));
    m_helpBox->setReadOnly(true);
    m_helpBox->hide();
    placeInTwips(m_helpBox, kHelpBox);
}

void AddressBookWindow::setHelp(QWidget* control, const QString& text) {
    control->setProperty("helpText", text);
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

void AddressBookWindow::buildHelpTexts() {
    setHelp(m_pasteAddress, ui::words(ui::Say::kAddressPasteHelp, {}, QString()));
    setHelp(m_insertCardName, ui::words(ui::Say::kAddressCardHelp, {}, QString()));
    setHelp(m_register, ui::words(ui::Say::kAddressRegisterHelp, {}, QString()));
    setHelp(m_delete, ui::words(ui::Say::kAddressDeleteHelp, {}, QString()));
}

std::string AddressBookWindow::dataFolder() const {
    return m_folder.dataFolder().string();
}

bool AddressBookWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        if (QVariant help = watched->property("helpText"); help.isValid()) {
            m_helpBox->setPlainText(help.toString());
            m_helpBox->show();
        }
    } else if (event->type() == QEvent::MouseButtonPress && watched == m_entries->viewport()) {
        // The list selects the row under the press first, then the handler reads it.
        m_entries->viewport()->removeEventFilter(this);
        QCoreApplication::sendEvent(m_entries->viewport(), event);
        m_entries->viewport()->installEventFilter(this);
        rowPressed();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AddressBookWindow::mouseMoveEvent(QMouseEvent* event) {
    // Over the bare window the help box goes away. A button passes the mouse
    // moves over it on to the window: those leave the help box showing.
    const QWidget* under = childAt(event->position().toPoint());
    if (under == nullptr || !under->property("helpText").isValid()) {
        m_helpBox->hide();
    }
    QWidget::mouseMoveEvent(event);
}

void AddressBookWindow::loadList() {
    m_entries->clear();
    m_recordNumbers.clear();
    Result<std::vector<AddressEntry>> entries = readAddressBook(dataFolder());
    if (!entries) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {}, entries.status());
    } else {
        for (const AddressEntry& entry : entries.value()) {
            m_entries->addItem(fromUtf8(addressBookRow(entry)));
            m_recordNumbers.push_back(entry.recordNumber);
        }
    }
    m_count->setText(QString::number(m_entries->count()));
}

void AddressBookWindow::showMailAddress(const QString& address) {
    m_address->setText(address);
}

void AddressBookWindow::registerEntry() {
    AddressBookFile book(dataFolder());
    Result<int> written =
        book.registerEntry(m_name->text().toStdString(), m_address->text().toStdString());
    if (!written && !base::isNotDurable(written.status())) {
        // Nothing is cleared, so what was typed can be registered again.
        ui::tell(this, ui::Say::kAddressNotRegistered, {}, written.status());
        return;
    }
    if (!written) {
        // In the book, maybe not yet on disk: a second 登録 would add it twice.
        ui::tell(this, ui::Say::kAddressRegisteredNotDurable, {}, written.status());
    }
    m_status->setText(ui::words(ui::Say::kAddressRegistered, {}, QString()));
    loadList();
    m_name->clear();
    m_address->clear();
    m_cardName->clear();
}

void AddressBookWindow::rowPressed() {
    const int row = m_entries->currentRow();
    if (row < 0 || m_entries->selectedItems().isEmpty()) {
        ui::tell(this, ui::Say::kNoEntrySelected);
        m_entries->setFocus();
        return;
    }
    Result<std::optional<AddressEntry>> entry =
        AddressBookFile(dataFolder()).read(m_recordNumbers[static_cast<std::size_t>(row)]);
    if (!entry || !entry.value()) {
        if (entry) {
            ui::tell(this, ui::Say::kNoEntrySelected);
        } else {
            ui::tell(this, ui::Say::kAddressBookNotRead, {}, entry.status());
        }
        return;
    }
    m_name->setText(fieldStart(entry.value()->name, kNameCharacters));
    m_address->setText(fieldStart(entry.value()->address, kAddressTypingLimit));
    // The name is padded to its full width: its beginning is what shows.
    m_name->setCursorPosition(0);
    m_address->setCursorPosition(0);
    m_status->setText(ui::words(ui::Say::kAddressSelected, {}, QString()));
}

void AddressBookWindow::pasteAddress() {
    m_address->setText(QGuiApplication::clipboard()->text());
}

void AddressBookWindow::insertName() {
    if (m_address->text().isEmpty()) {
        ui::tell(this, ui::Say::kNoAddressTyped);
        return;
    }
    if (m_cardName->text().isEmpty()) {
        ui::tell(this, ui::Say::kNoCardTyped);
        return;
    }
    const QString address =
        fromUtf8(std::string(text::stripSpaces(m_address->text().toStdString())));
    const QString named = m_cardName->text() + QStringLiteral("<") + address + QStringLiteral(">");
    // Registering would cut the address to its field (dropping the ">").
    if (text::toCp932(named.toStdString()).size() > kAddressFieldBytes) {
        ui::tell(this, ui::Say::kCardTooLong, {QString::number(kAddressFieldBytes)});
        return;
    }
    m_address->setText(named);
}

void AddressBookWindow::deleteSelected() {
    m_status->setText(QStringLiteral(" "));
    const bool yes = ui::tell(this, ui::Say::kAddressDeleteQuestion);
    AddressBookFile book(dataFolder());
    const int row = m_entries->currentRow();
    if (yes && row >= 0 && !m_entries->selectedItems().isEmpty()) {
        // A delete that fails or is refused (a torn book, a leftover
        // temporary file) leaves the entry as it was.
        if (Status deleted = book.deleteEntry(m_recordNumbers[static_cast<std::size_t>(row)]);
            !deleted) {
            const bool done = base::isNotDurable(deleted);
            ui::tell(this, done ? ui::Say::kAddressDeletedNotDurable : ui::Say::kAddressNotDeleted,
                     {}, deleted);
        } else {
            m_status->setText(ui::words(ui::Say::kAddressDeleted, {}, QString()));
        }
        loadList();
        return;
    }
    // Whatever the answer, the file is rewritten without the marked records.
    if (Status compacted = book.compact(); !compacted) {
        ui::tell(this, ui::Say::kAddressNotDeleted, {}, compacted);
    }
    loadList();
}

}  // namespace qf::addressbook
