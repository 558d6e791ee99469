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
#include "base/Twips.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "text/Utf8.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::addressbook {
namespace {

using ui::placeInTwips;
using ui::TwipsRect;
using ui::twipsToPixels;

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
    setObjectName(QStringLiteral("AddressBookWindow"));
    setWindowTitle(QStringLiteral("アドレス帳"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    setFixedSize(twipsToPixels(kWindow.width), twipsToPixels(kWindow.height));
    buildControls();
    buildHelpTexts();
    // Opening: the count as it stands, an empty status line, then the list.
    Text3->setText(QString::number(List1->count()));
    Label7->clear();
    loadList();
}

void AddressBookWindow::buildControls() {
    auto addLabel = [this](const QString& caption, const TwipsRect& box) {
        auto* label = new QLabel(caption, this);
        placeInTwips(label, {120, box.top, 1620, box.height});
    };
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setValidator(new ui::TypingLimit(kNameTypingLimit, Text2));
    placeInTwips(Text2, kNameBox);
    addLabel(QStringLiteral("名前（名称）"), kNameBox);

    Text4 = new QLineEdit(this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setValidator(new ui::TypingLimit(kAddressTypingLimit, Text4));
    placeInTwips(Text4, kAddressBox);
    addLabel(QStringLiteral("メールアドレス"), kAddressBox);
    Command1 = new QPushButton(QStringLiteral("貼付"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    placeInTwips(Command1, kPasteButton);
    connect(Command1, &QPushButton::clicked, this, &AddressBookWindow::pasteAddress);

    Text50 = new QLineEdit(this);
    Text50->setObjectName(QStringLiteral("Text50"));
    placeInTwips(Text50, kInsertNameBox);
    addLabel(QStringLiteral("名詞"), kInsertNameBox);
    Command38 = new QPushButton(QStringLiteral("名刺挿入"), this);
    Command38->setObjectName(QStringLiteral("Command38"));
    placeInTwips(Command38, kInsertButton);
    connect(Command38, &QPushButton::clicked, this, &AddressBookWindow::insertName);

    // The two commands are labels, framed so they read as buttons.
    const QString commandStyle =
        QStringLiteral("border: 2px outset #7a8fb8; background: #dfe6f3; font-weight: bold;");
    Label5 = new ui::ActiveLabel(QStringLiteral("Label5"), this);
    Label5->setText(QStringLiteral("登録"));
    Label5->setAlignment(Qt::AlignCenter);
    Label5->setStyleSheet(commandStyle);
    placeInTwips(Label5, kRegisterLabel);
    connect(Label5, &ui::ActiveLabel::clicked, this, &AddressBookWindow::registerEntry);
    Label6 = new ui::ActiveLabel(QStringLiteral("Label6"), this);
    Label6->setText(QStringLiteral("削除"));
    Label6->setAlignment(Qt::AlignCenter);
    Label6->setStyleSheet(commandStyle);
    placeInTwips(Label6, kDeleteLabel);
    connect(Label6, &ui::ActiveLabel::clicked, this, &AddressBookWindow::deleteSelected);

    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    // The rows are laid out by CP932 bytes (the address padded to its field).
    // In a monospace CJK face a full-width character is two columns, as it
    // is two bytes, so the names line up as the file lays them out.
    List1->setFont(rowFont());
    List1->viewport()->installEventFilter(this);
    placeInTwips(List1, kList);

    auto* countLabel = new QLabel(QStringLiteral("登録件数"), this);
    placeInTwips(countLabel, kCountLabel);
    Text3 = new QLineEdit(this);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setReadOnly(true);
    placeInTwips(Text3, kCountBox);
    Label7 = new QLabel(this);
    Label7->setObjectName(QStringLiteral("Label7"));
    placeInTwips(Label7, kStatusLine);
    Text5 = new QPlainTextEdit(this);
    Text5->setObjectName(QStringLiteral("Text5"));
    Text5->setReadOnly(true);
    Text5->hide();
    placeInTwips(Text5, kHelpBox);
}

void AddressBookWindow::setHelp(QWidget* control, const QString& text) {
    control->setProperty("helpText", text);
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

void AddressBookWindow::buildHelpTexts() {
    setHelp(Command1,
            QStringLiteral("クリップボードの内容を貼り付けます。他からメールアドレスをコピーし、"
                           "貼り付けられますので登録作業が楽になります。"));
    setHelp(Command38,
            QStringLiteral("メールアドレスに名前を添えて登録できます。例えばメールアドレスに"
                           "「hanako@example.jp」、名詞に「山田花子」と入れて名刺挿入を押すと、"
                           "「山田花子<hanako@example.jp>」となり、受け取った人には差出人として"
                           "「山田花子」と表示されます。\r\n\r\n"
                           "必要なければ挿入する必要はありません。"));
    setHelp(Label5, QStringLiteral("メールアドレスを登録します。これにより新規作成でのメール"
                                   "アドレスが一発挿入できるようになります。"));
    setHelp(Label6, QStringLiteral("不要になったメールアドレスの削除を行います。"));
}

std::string AddressBookWindow::dataFolder() const {
    return m_folder.dataFolder().string();
}

bool AddressBookWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        if (QVariant help = watched->property("helpText"); help.isValid()) {
            Text5->setPlainText(help.toString());
            Text5->show();
        }
    } else if (event->type() == QEvent::MouseButtonPress && watched == List1->viewport()) {
        // The list selects the row under the press first, then the handler reads it.
        List1->viewport()->removeEventFilter(this);
        QCoreApplication::sendEvent(List1->viewport(), event);
        List1->viewport()->installEventFilter(this);
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
        Text5->hide();
    }
    QWidget::mouseMoveEvent(event);
}

void AddressBookWindow::loadList() {
    List1->clear();
    m_recordNumbers.clear();
    Result<std::vector<AddressEntry>> entries = readAddressBook(dataFolder());
    if (!entries) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {}, fromUtf8(entries.status().message()));
    } else {
        for (const AddressEntry& entry : entries.value()) {
            List1->addItem(fromUtf8(addressBookRow(entry)));
            m_recordNumbers.push_back(entry.recordNumber);
        }
    }
    Text3->setText(QString::number(List1->count()));
}

void AddressBookWindow::showMailAddress(const QString& address) {
    Text4->setText(address);
}

void AddressBookWindow::registerEntry() {
    AddressBookFile book(dataFolder());
    Result<int> written =
        book.registerEntry(Text2->text().toStdString(), Text4->text().toStdString());
    if (!written) {
        // Nothing is cleared, so what was typed can be registered again.
        ui::tell(this, ui::Say::kAddressNotRegistered, {}, fromUtf8(written.status().message()));
        return;
    }
    Label7->setText(QStringLiteral("　登録が完了しました。"));
    loadList();
    Text2->clear();
    Text4->clear();
    Text50->clear();
}

void AddressBookWindow::rowPressed() {
    const int row = List1->currentRow();
    if (row < 0 || List1->selectedItems().isEmpty()) {
        ui::tell(this, ui::Say::kNoEntrySelected);
        List1->setFocus();
        return;
    }
    Result<std::optional<AddressEntry>> entry =
        AddressBookFile(dataFolder()).read(m_recordNumbers[static_cast<std::size_t>(row)]);
    if (!entry || !entry.value()) {
        if (entry) {
            ui::tell(this, ui::Say::kNoEntrySelected);
        } else {
            ui::tell(this, ui::Say::kAddressBookNotRead, {}, fromUtf8(entry.status().message()));
        }
        return;
    }
    Text2->setText(fieldStart(entry.value()->name, kNameCharacters));
    Text4->setText(fieldStart(entry.value()->address, kAddressTypingLimit));
    // The name is padded to its full width: its beginning is what shows.
    Text2->setCursorPosition(0);
    Text4->setCursorPosition(0);
    Label7->setText(QStringLiteral("　選択しました。"));
}

void AddressBookWindow::pasteAddress() {
    Text4->setText(QGuiApplication::clipboard()->text());
}

void AddressBookWindow::insertName() {
    if (Text4->text().isEmpty()) {
        ui::tell(this, ui::Say::kNoAddressTyped);
        return;
    }
    if (Text50->text().isEmpty()) {
        ui::tell(this, ui::Say::kNoCardTyped);
        return;
    }
    const QString address = fromUtf8(std::string(text::stripSpaces(Text4->text().toStdString())));
    const QString named = Text50->text() + QStringLiteral("<") + address + QStringLiteral(">");
    // Registering would cut the address to its field (dropping the ">").
    if (text::toCp932(named.toStdString()).size() > kAddressFieldBytes) {
        ui::tell(this, ui::Say::kCardTooLong, {QString::number(kAddressFieldBytes)});
        return;
    }
    Text4->setText(named);
}

void AddressBookWindow::deleteSelected() {
    Label7->setText(QStringLiteral(" "));
    const bool yes = ui::tell(this, ui::Say::kAddressDeleteQuestion);
    AddressBookFile book(dataFolder());
    const int row = List1->currentRow();
    if (yes && row >= 0 && !List1->selectedItems().isEmpty()) {
        // A delete that fails or is refused (a torn book, a leftover
        // temporary file) leaves the entry as it was.
        if (Status deleted = book.deleteEntry(m_recordNumbers[static_cast<std::size_t>(row)]);
            !deleted) {
            ui::tell(this, ui::Say::kAddressNotDeleted, {}, fromUtf8(deleted.message()));
        } else {
            Label7->setText(QStringLiteral("削除が完了しました"));
        }
        loadList();
        return;
    }
    // Whatever the answer, the file is rewritten without the marked records.
    if (Status compacted = book.compact(); !compacted) {
        ui::tell(this, ui::Say::kAddressNotDeleted, {}, fromUtf8(compacted.message()));
    }
    loadList();
}

}  // namespace qf::addressbook
