#include "addressbook/SortingWindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/Twips.h"
#include "settings/AccountFiles.h"
#include "settings/ProfileFile.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/WindowEnvironment.h"

namespace qf::addressbook {
namespace {

using base::TwipsRect;
using base::twipsToPixels;
using ui::placeInTwips;

// The opening read takes up to 1255 characters a key, more than the
// main window's 255: a long value typed here is shown whole.
constexpr std::size_t kReadBufferChars = 1256;

// Layout in twips: column headings, five rows, the register button, then
// the guidance below.
constexpr TwipsRect kWindow{0, 0, 9000, 5880};
constexpr int kAddressLeft = 480;
constexpr int kAddressWidth = 4080;
constexpr int kNameLeft = 4680;
constexpr int kNameWidth = 2880;
constexpr int kPasteLeft = 7680;
constexpr int kPasteWidth = 720;
constexpr int kFirstRowTop = 480;
constexpr int kRowStep = 420;
constexpr int kRowHeight = 330;
constexpr TwipsRect kRegisterButton{7680, 2640, 1200, 420};
constexpr TwipsRect kGuidanceTop{120, 3180, 8760, 1140};
constexpr TwipsRect kGuidanceBottom{120, 4380, 8760, 1380};

int rowTop(int row) {
    return kFirstRowTop + row * kRowStep;
}

// A value is one line of the INI file: line breaks (a pasted address often
// ends in one) are dropped rather than left to make the whole write refused.
QString oneLine(QString text) {
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

}  // namespace

SortingWindow::SortingWindow(ui::WindowEnvironment& env) : SortingWindow(env.folder()) {
    m_env = &env;
}

SortingWindow::SortingWindow(settings::ProgramFolder folder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_folder(std::move(folder)) {
    setObjectName(QStringLiteral("BunbetuForm"));
    setWindowTitle(QStringLiteral("メール分別"));
    // Opening anew reads the file again and enables "登録" again.
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipsToPixels(kWindow.width), twipsToPixels(kWindow.height));
    buildControls();
    buildGuidance();
    const auto file = m_folder.sortingFile();
    for (int n = 1; n <= kBoxCount; ++n) {
        std::string value = settings::getProfileString(
            file, settings::kExeIniSection, settings::exeIniKey(n), "", kReadBufferChars);
        m_boxes[static_cast<std::size_t>(n - 1)]->setText(QString::fromStdString(value));
    }
}

void SortingWindow::buildControls() {
    auto* addressHeading = ui::plainLabel(QStringLiteral("MailAddress"), this);
    placeInTwips(addressHeading, {kAddressLeft, 120, kAddressWidth, 300});
    auto* nameHeading = ui::plainLabel(QStringLiteral("氏名（名称）"), this);
    placeInTwips(nameHeading, {kNameLeft, 120, kNameWidth, 300});
    for (int row = 0; row < 5; ++row) {
        auto* number = ui::plainLabel(QString::number(row + 1), this);
        placeInTwips(number, {120, rowTop(row), 300, kRowHeight});
        // Row k holds TextN with N = 2k - 1 (address) and 2k (caption).
        auto* address = new QLineEdit(this);
        address->setObjectName(QStringLiteral("Text%1").arg(2 * row + 1));
        placeInTwips(address, {kAddressLeft, rowTop(row), kAddressWidth, kRowHeight});
        auto* caption = new QLineEdit(this);
        caption->setObjectName(QStringLiteral("Text%1").arg(2 * row + 2));
        placeInTwips(caption, {kNameLeft, rowTop(row), kNameWidth, kRowHeight});
        const auto first = 2 * static_cast<std::size_t>(row);
        m_boxes[first] = address;
        m_boxes[first + 1] = caption;

        auto* paste = new QPushButton(QStringLiteral("貼付"), this);
        paste->setObjectName(QStringLiteral("Command%1").arg(row + 3));
        placeInTwips(paste, {kPasteLeft, rowTop(row), kPasteWidth, kRowHeight});
        connect(paste, &QPushButton::clicked, this,
                [address] { address->setText(oneLine(QGuiApplication::clipboard()->text())); });
    }
    m_register = new QPushButton(QStringLiteral("登録"), this);
    m_register->setObjectName(QStringLiteral("Command1"));
    placeInTwips(m_register, kRegisterButton);
    connect(m_register, &QPushButton::clicked, this, &SortingWindow::registerAll);
}

void SortingWindow::buildGuidance() {
    auto* top = ui::plainLabel(QString(), this);
    top->setObjectName(QStringLiteral("Label1"));
    top->setWordWrap(true);
    top->setText(
        QStringLiteral("●メールアドレスと、氏名（名称を入力し、登録ボタンを押して下さい。"
                       "ここで登録した順番通りに、メイン画面にも表示されます。\n"
                       "●必ずメールアドレスと氏名（名称）の両方を入力して下さい。"));
    placeInTwips(top, kGuidanceTop);
    auto* bottom = ui::plainLabel(QString(), this);
    bottom->setObjectName(QStringLiteral("Label2"));
    bottom->setWordWrap(true);
    // A bare address matches the sender under any name, so the line on how
    // to register says that rather than asking for the brackets.
    bottom->setText(ui::words(ui::Say::kSortingAddressIsEnough, {}, QString()) +
                    QStringLiteral("\n●メールアドレスが曖昧（あいまい）な場合は、\n"
                                   "Quillfernで一度受信し、アドレスを確認して下さい。"));
    placeInTwips(bottom, kGuidanceBottom);
}

Status SortingWindow::writeAll() {
    std::vector<settings::ProfileEntry> entries;
    for (QLineEdit* box : m_boxes) {
        if (const QString value = oneLine(box->text()); value != box->text()) {
            box->setText(value);
        }
    }
    for (int n = 1; n <= kBoxCount; ++n) {
        entries.emplace_back(settings::exeIniKey(n),
                             m_boxes[static_cast<std::size_t>(n - 1)]->text().toStdString());
    }
    Status written =
        settings::writeProfileStrings(m_folder.sortingFile(), settings::kExeIniSection, entries);
    // The main window's captions and the next receive follow at once.
    if (written && m_env != nullptr) {
        m_env->mainWindow().reloadRegistrations();
    }
    return written;
}

void SortingWindow::registerAll() {
    m_register->setEnabled(false);
    if (Status written = writeAll(); !written) {
        m_register->setEnabled(true);  // the values are still here: try again
        ui::tell(this, ui::Say::kSortingNotWritten, {}, written);
    }
}

void SortingWindow::closeEvent(QCloseEvent* event) {
    // Every close by the user saves the ten boxes, whether or not "登録" was
    // pressed; the program's end saves nothing. A failed save keeps the
    // window and its values unless the user lets go.
    m_register->setEnabled(false);
    if (m_env != nullptr && m_env->shuttingDown()) {
        QWidget::closeEvent(event);
        return;
    }
    if (Status written = writeAll(); !written) {
        if (!ui::tell(this, ui::Say::kSortingNotWrittenClose, {}, written)) {
            m_register->setEnabled(true);
            event->ignore();
            return;
        }
    }
    QWidget::closeEvent(event);
}

}  // namespace qf::addressbook
