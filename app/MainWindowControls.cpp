// The main window's controls as they are laid out: the buttons, the table
// of boxes, the status area and the help texts.
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QShortcut>
#include <algorithm>
#include <tuple>

#include "app/Application.h"
#include "app/MainLayout.h"
#include "app/MainWindow.h"
#include "settings/ServerSettingsWindow.h"
#include "store/MailStore.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PictureButton.h"
#include "ui/PlainText.h"

namespace qf::app {
namespace layout = mainlayout;

namespace {

const QString kWindowColour = QStringLiteral("#eef3ea");

void place(QWidget& widget, const TwipsRect& rect) {
    ui::placeInTwips(&widget, rect);
}

// Places a new label of the window: a picture, a caption, or both in one.
ActiveLabel* newLabel(QWidget* parent, const QString& name, const TwipsRect& rect,
                      const QString& text = {}) {
    auto* label = new ActiveLabel(name, parent);
    label->setText(text);
    place(*label, rect);
    return label;
}

QLineEdit* newField(QWidget* parent, const QString& name, const TwipsRect& rect,
                    Qt::Alignment alignment) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setAlignment(alignment);
    field->setFocusPolicy(Qt::NoFocus);
    place(*field, rect);
    return field;
}

// Nine spaces lead the caption of the box that takes unsorted mail.
const QString kOtherBoxCaption = QStringLiteral("         その他");

}  // namespace

void MainWindow::createControls() {
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(
        QStringLiteral(
            "qf--app--MainWindow { background: %1; }"
            "QLineEdit { background: white; border: 1px solid #9fbf9a; border-radius: 3px;"
            "  padding: 0 3px; color: #1f3d25; }"
            "QPlainTextEdit { background: #fbfdf8; border: 1px solid #9fbf9a; border-radius: 3px;"
            "  color: #48604c; }")
            .arg(kWindowColour));

    m_banner = newLabel(this, QStringLiteral("Image1"), layout::kBanner);
    m_banner->showPicture(picture(QStringLiteral("Title.gif")));
    m_homePageButton =
        newLabel(this, QStringLiteral("Label22"), layout::kHomePage, QStringLiteral("  HP"));
    m_minimiseButton =
        newLabel(this, QStringLiteral("Label23"), layout::kMinimise, QStringLiteral("Small"));
    m_searchButton =
        newLabel(this, QStringLiteral("Label24"), layout::kSearch, QStringLiteral("検索"));
    for (ActiveLabel* small : {m_homePageButton, m_minimiseButton, m_searchButton}) {
        small->setAlignment(Qt::AlignCenter);
        small->setCursor(Qt::PointingHandCursor);
        small->setStyleSheet(QStringLiteral(
            "color: white; border: 1px solid #d9c27a; border-radius: 4px; font-weight: bold;"));
    }
    m_version = ui::plainLabel(QStringLiteral("Ver 1.55"), this);
    m_version->setObjectName(QStringLiteral("Label21"));
    m_version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_version->setStyleSheet(QStringLiteral("color: #d9e8d0; font-size: 8pt;"));
    place(*m_version, layout::kVersion);

    m_risingPicture = newLabel(this, QStringLiteral("Image17"), layout::kRisingPicture);
    m_risingPicture->showPicture(picture(QStringLiteral("Rising.gif")));
    m_fallingPicture = newLabel(this, QStringLiteral("Image18"), layout::kFallingPicture);
    m_fallingPicture->showPicture(picture(QStringLiteral("Falling.gif")));

    createButtons();
    createBoxTable();
    createStatusArea();
}

void MainWindow::createButtons() {
    struct ButtonParts {
        ActiveLabel** caption;
        ActiveLabel** face;
        const char16_t* captionName;
        const char16_t* faceName;
        const char16_t* letter;
        const char16_t* picture;
    };
    const ButtonParts buttons[2][4] = {
        {{&m_newButton, &m_newPicture, u"Label5", u"Image3", u"N", u"Botan1.gif"},
         {&m_receiveButton, &m_receivePicture, u"Label6", u"Image2", u"R", u"Botan2.gif"},
         {&m_sentButton, &m_sentPicture, u"Label8", u"Image10", u"S", u"Botan4.gif"},
         {&m_keepButton, &m_keepPicture, u"Label15", u"Image11", u"K", u"Botan5.gif"}},
        {{&m_addressButton, &m_addressPicture, u"Label16", u"Image4", u"Ad", u"Botan3.gif"},
         {&m_divideButton, &m_dividePicture, u"Label17", u"Image15", u"D", u"Botan6.gif"},
         {&m_attachButton, &m_attachPicture, u"Label18", u"Image13", u"At", u"Botan7.gif"},
         {&m_settingsButton, &m_settingsPicture, u"Label19", u"Image12", u"O", u"Botan8.gif"}},
    };
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 4; ++column) {
            const ButtonParts& parts = buttons[row][column];
            // The face first, so that its caption lies on top of it.
            *parts.face =
                newLabel(this, QString::fromUtf16(parts.faceName), layout::buttonFace(row, column));
            (*parts.face)->showPicture(picture(QString::fromUtf16(parts.picture)));
            *parts.caption =
                newLabel(this, QString::fromUtf16(parts.captionName),
                         layout::buttonCaption(row, column), QString::fromUtf16(parts.letter));
            (*parts.caption)->setAlignment(Qt::AlignCenter);
            (*parts.caption)
                ->setStyleSheet(
                    QStringLiteral("color: white; font-size: 20pt; font-weight: bold;"));
            for (ActiveLabel* part : {*parts.face, *parts.caption}) {
                part->setCursor(Qt::PointingHandCursor);
            }
        }
    }
}

void MainWindow::createBoxTable() {
    m_boxPanel = newLabel(this, QStringLiteral("Image14"), layout::kBoxPanel);
    m_boxPanel->showPicture(picture(QStringLiteral("Panel.gif")));
    const QString headingStyle = QStringLiteral("color: #1f5a29; font-weight: bold;");
    for (const auto& [text, rect] : {std::pair{QStringLiteral("累積"), layout::kTotalHeading},
                                     std::pair{QStringLiteral("新着"), layout::kNewHeading}}) {
        auto* heading = ui::plainLabel(text, this);
        heading->setAlignment(Qt::AlignCenter);
        heading->setStyleSheet(headingStyle);
        place(*heading, rect);
    }

    // Rows of boxes 1-6: caption label, registered address, total, new.
    struct Names {
        ActiveLabel** caption;
        QLineEdit** address;
        QLineEdit** total;
        QLineEdit** fresh;
        const char16_t* captionName;
        const char16_t* addressName;
        const char16_t* totalName;
        const char16_t* freshName;
    };
    const Names names[kReceivingBoxes] = {
        {&m_box1Caption, &m_box1Address, &m_box1Total, &m_box1New, u"Label3", u"Text13", u"Text1",
         u"Text2"},
        {&m_box2Caption, &m_box2Address, &m_box2Total, &m_box2New, u"Label4", u"Text14", u"Text4",
         u"Text3"},
        {&m_box3Caption, &m_box3Address, &m_box3Total, &m_box3New, u"Label9", u"Text15", u"Text6",
         u"Text5"},
        {&m_box4Caption, &m_box4Address, &m_box4Total, &m_box4New, u"Label11", u"Text16", u"Text8",
         u"Text7"},
        {&m_box5Caption, &m_box5Address, &m_box5Total, &m_box5New, u"Label12", u"Text17", u"Text10",
         u"Text9"},
        {&m_otherBoxCaption, nullptr, &m_otherBoxTotal, &m_otherBoxNew, u"Label13", nullptr,
         u"Text12", u"Text11"},
    };
    for (int i = 0; i < kReceivingBoxes; ++i) {
        const Names& n = names[i];
        *n.caption = newLabel(this, QString::fromUtf16(n.captionName), layout::boxCaption(i));
        (*n.caption)->setCursor(Qt::PointingHandCursor);
        (*n.caption)->setStyleSheet(QStringLiteral("color: #1f3d25; font-weight: bold;"));
        QLineEdit* address = nullptr;
        if (n.address != nullptr) {
            address = newField(this, QString::fromUtf16(n.addressName), layout::boxAddress(i),
                               Qt::AlignLeft | Qt::AlignVCenter);
            address->setPlaceholderText(QStringLiteral("（未登録）"));
            address->setStyleSheet(QStringLiteral(
                "background: transparent; border: none; color: #5f7a63; font-size: 7pt;"));
            *n.address = address;
        }
        *n.total = newField(this, QString::fromUtf16(n.totalName), layout::boxTotal(i),
                            Qt::AlignRight | Qt::AlignVCenter);
        *n.fresh = newField(this, QString::fromUtf16(n.freshName), layout::boxNew(i),
                            Qt::AlignRight | Qt::AlignVCenter);
        (*n.fresh)->setStyleSheet(QStringLiteral("color: #b5493d; font-weight: bold;"));
        m_rows[static_cast<std::size_t>(i)] = {*n.caption, address, *n.total, *n.fresh, {}, 0};
    }
    m_otherBoxCaption->setText(kOtherBoxCaption);
}

void MainWindow::createStatusArea() {
    m_rawText = new QPlainTextEdit(this);
    m_rawText->setObjectName(QStringLiteral("Text19"));
    m_rawText->setReadOnly(true);
    m_rawText->setFocusPolicy(Qt::NoFocus);
    m_rawText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_rawText->setPlaceholderText(ui::words(ui::Say::kRawTextPlaceholder, {}, QString()));
    place(*m_rawText, layout::kRawText);

    m_noNewMailNotice = newField(this, QStringLiteral("Text20"), layout::kNotice, Qt::AlignCenter);
    m_noNewMailNotice->setStyleSheet(QStringLiteral(
        "background: #fff6d8; border: 1px solid #d9c27a; color: #b5493d; font-weight: bold;"));

    m_helpBar = ui::plainLabel(ui::words(ui::Say::kIdle, {}, QString()), this);
    m_helpBar->setObjectName(QStringLiteral("Label10"));
    m_helpBar->setStyleSheet(QStringLiteral(
        "background: #fbfdf8; border: 1px solid #9fbf9a; border-radius: 3px; padding: 0 6px;"
        "color: #1f3d25;"));
    place(*m_helpBar, layout::kHelpBar);

    m_clock = newField(this, QStringLiteral("Text18"), layout::kClock, Qt::AlignCenter);
}

void MainWindow::connectHelpTexts() {
    const std::pair<ActiveLabel*, QString> texts[] = {
        {m_newButton, QStringLiteral("「New」メールの新規作成を行います。")},
        {m_receiveButton, QStringLiteral("「Receive」新規メールの受信を行います。")},
        {m_sentButton, QStringLiteral("「Send」送信メールの履歴閲覧を行います。")},
        {m_keepButton, QStringLiteral("「Keep」保管箱の閲覧。")},
        {m_addressButton, QStringLiteral("「Address」メールアドレスの登録を行います。")},
        {m_divideButton, QStringLiteral("「Devide」分別用のアドレスを登録。")},
        {m_dividePicture, QStringLiteral("「Divide」新着メール分別の為の登録を実行。")},
        {m_attachButton, QStringLiteral("「Attach to」添付ファイルの確認。")},
        {m_settingsButton, QStringLiteral("「Other」ID,パスワードの設定を行います。")},
        {m_homePageButton, QStringLiteral("「HP」Quillfernのホームページです。")},
        {m_minimiseButton, QStringLiteral("フォーム（メイン画面）の最小化を行います。")},
        {m_searchButton,
         QStringLiteral("「検索」全てのメールボックスからメールを探します。（Ctrl+F）")},
        {m_banner, QString()},
        {m_boxPanel, QString()},
    };
    for (const auto& [control, text] : texts) {
        connect(control, &ActiveLabel::hovered, this, [this, help = text] { showHelpText(help); });
    }
}

}  // namespace qf::app
