#include "auth/SignInWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "auth/AccountAccess.h"
#include "auth/SignInJob.h"
#include "ui/MessageBoxes.h"
#include "ui/OkCancelKeys.h"
#include "ui/WindowEnvironment.h"

namespace qf::auth {
namespace {

// Rows of the provider list, in ProviderPreset order.
const auth::ProviderPreset kPresets[] = {auth::ProviderPreset::kGoogle,
                                         auth::ProviderPreset::kMicrosoft,
                                         auth::ProviderPreset::kGeneric};
// Rows of the secret-place list.
const auth::SecretPlace kPlaces[] = {auth::SecretPlace::kKeyring, auth::SecretPlace::kFile,
                                     auth::SecretPlace::kAskEachStart};

QLineEdit* newTextBox(const QString& name, const std::string& value, QWidget* parent) {
    auto* box = new QLineEdit(QString::fromStdString(value), parent);
    box->setObjectName(name);
    box->setMinimumWidth(320);
    return box;
}

template <typename T, std::size_t N>
int rowOf(const T (&rows)[N], T value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (rows[i] == value) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

}  // namespace

SignInWindow::SignInWindow(ui::WindowEnvironment& env) : m_env(env) {
    setObjectName(QStringLiteral("SignInWindow"));
    setWindowTitle(QStringLiteral("ログイン方式"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    m_access = std::make_unique<auth::AccountAccess>(m_env.folder(), m_env.held().server.pop3);
    m_keyringAvailable = auth::sessionKeyring().available();
    createControls();
    layOut();
    showProvider();
    showChosenKind();
    m_env.centreOnMainWindow(*this);
    if (!m_keyringAvailable) {
        StateLabel->setText(ui::words(ui::Say::kSignInNoKeyring, {}, QString()));
    }
}

// The job uses m_access: it ends (cancelled) before m_access goes.
SignInWindow::~SignInWindow() {
    delete m_job;
}

void SignInWindow::createControls() {
    const auth::AuthSettings& stored = m_access->settings();
    PasswordOption = new QRadioButton(QStringLiteral("IDとパスワード(&P)"), this);
    PasswordOption->setObjectName(QStringLiteral("PasswordOption"));
    OAuthOption = new QRadioButton(QStringLiteral("OAuth 2.0（ブラウザでサインイン）(&O)"), this);
    OAuthOption->setObjectName(QStringLiteral("OAuthOption"));
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(PasswordOption);
    kinds->addButton(OAuthOption);
    (m_access->isOAuth() ? OAuthOption : PasswordOption)->setChecked(true);

    ProviderCombo = new QComboBox(this);
    ProviderCombo->setObjectName(QStringLiteral("ProviderCombo"));
    ProviderCombo->addItems({QStringLiteral("Google（Gmail）"),
                             QStringLiteral("Microsoft（Outlook.com、Microsoft 365）"),
                             QStringLiteral("その他（エンドポイントを入力）")});
    ProviderCombo->setCurrentIndex(rowOf(kPresets, stored.provider.preset));
    AuthorizeText = newTextBox(QStringLiteral("AuthorizeText"), stored.provider.authorizeUrl, this);
    TokenText = newTextBox(QStringLiteral("TokenText"), stored.provider.tokenUrl, this);
    ScopeText = newTextBox(QStringLiteral("ScopeText"), stored.provider.scope, this);

    SecretPlaceCombo = new QComboBox(this);
    SecretPlaceCombo->setObjectName(QStringLiteral("SecretPlaceCombo"));
    SecretPlaceCombo->addItems({QStringLiteral("デスクトップのキーリング"),
                                QStringLiteral("ファイル（iniIdPass.ini、本人だけが読める）"),
                                QStringLiteral("保存しない（起動のたびに入力）")});
    auth::SecretPlace place = m_access->secretPlace();
    if (place == auth::SecretPlace::kNotChosen) {
        place = m_keyringAvailable ? auth::SecretPlace::kKeyring : auth::SecretPlace::kFile;
    }
    SecretPlaceCombo->setCurrentIndex(rowOf(kPlaces, place));
    if (!m_keyringAvailable) {
        // No service answers: the keyring row cannot be chosen.
        SecretPlaceCombo->setItemData(0, 0, Qt::UserRole - 1);
    }

    StateLabel = new QLabel(this);
    StateLabel->setObjectName(QStringLiteral("StateLabel"));
    StateLabel->setTextFormat(Qt::PlainText);
    StateLabel->setWordWrap(true);
    SignInCommand = new QPushButton(QStringLiteral("ブラウザでサインイン(&I)"), this);
    SignInCommand->setObjectName(QStringLiteral("SignInCommand"));
    OkCommand = new QPushButton(QStringLiteral("設定"), this);
    OkCommand->setObjectName(QStringLiteral("OkCommand"));
    OkCommand->setDefault(true);
    CancelCommand = new QPushButton(QStringLiteral("中止"), this);
    CancelCommand->setObjectName(QStringLiteral("CancelCommand"));

    connect(ProviderCombo, &QComboBox::currentIndexChanged, this, &SignInWindow::showProvider);
    connect(OAuthOption, &QRadioButton::toggled, this, &SignInWindow::showChosenKind);
    connect(SignInCommand, &QPushButton::clicked, this, &SignInWindow::signIn);
    connect(OkCommand, &QPushButton::clicked, this, &SignInWindow::confirm);
    connect(CancelCommand, &QPushButton::clicked, this, &QWidget::close);
    ui::OkCancelKeys::install(*this, OkCommand, CancelCommand);
}

void SignInWindow::layOut() {
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("ログイン方式"), PasswordOption);
    fields->addRow(QString(), OAuthOption);
    fields->addRow(QStringLiteral("プロバイダー(&V)"), ProviderCombo);
    fields->addRow(QStringLiteral("認可エンドポイント"), AuthorizeText);
    fields->addRow(QStringLiteral("トークンエンドポイント"), TokenText);
    fields->addRow(QStringLiteral("スコープ"), ScopeText);
    fields->addRow(QStringLiteral("パスワードなどの保存先(&K)"), SecretPlaceCombo);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SignInCommand);
    buttons->addStretch();
    buttons->addWidget(OkCommand);
    buttons->addWidget(CancelCommand);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(StateLabel);
    layout->addLayout(buttons);
}

// A preset fills and locks the endpoints; the generic row lets them be typed.
void SignInWindow::showProvider() {
    const auth::ProviderPreset preset = kPresets[ProviderCombo->currentIndex()];
    const bool generic = preset == auth::ProviderPreset::kGeneric;
    if (!generic) {
        const auth::OAuthProvider p = auth::presetProvider(preset);
        AuthorizeText->setText(QString::fromStdString(p.authorizeUrl));
        TokenText->setText(QString::fromStdString(p.tokenUrl));
        ScopeText->setText(QString::fromStdString(p.scope));
    }
    for (QLineEdit* box : {AuthorizeText, TokenText, ScopeText}) {
        box->setReadOnly(!generic);
    }
}

void SignInWindow::showChosenKind() {
    const bool oauth = OAuthOption->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{ProviderCombo, AuthorizeText, TokenText,
                                                            ScopeText, SignInCommand}) {
        control->setEnabled(oauth && (m_job == nullptr || !m_job->running()));
    }
}

// Writes the choices and reads them back, so the sign-in uses what is shown
// (and the client ID of the file, when the distributor's is overridden).
bool SignInWindow::saveChoices() {
    delete m_job;  // a sign-in still waiting is given up
    m_job = nullptr;
    auth::AuthSettings chosen;
    chosen.kind =
        OAuthOption->isChecked() ? auth::AccountKind::kOAuth : auth::AccountKind::kPassword;
    chosen.secretPlace = auth::secretPlaceName(kPlaces[SecretPlaceCombo->currentIndex()]);
    chosen.provider.preset = kPresets[ProviderCombo->currentIndex()];
    chosen.provider.authorizeUrl = AuthorizeText->text().trimmed().toStdString();
    chosen.provider.tokenUrl = TokenText->text().trimmed().toStdString();
    chosen.provider.scope = ScopeText->text().trimmed().toStdString();
    if (chosen.kind != m_access->settings().kind) {
        if (const Status forgotten = m_access->forgetSecret(); !forgotten) {
            ui::tell(this, ui::Say::kAuthSettingsNotWritten, {},
                     QString::fromStdString(forgotten.message()));
            return false;
        }
    }
    const Status written = auth::writeAuthSettings(auth::authFile(m_env.folder()), chosen);
    if (!written) {
        ui::tell(this, ui::Say::kAuthSettingsNotWritten, {},
                 QString::fromStdString(written.message()));
        return false;
    }
    m_access = std::make_unique<auth::AccountAccess>(m_env.folder(), m_env.held().server.pop3);
    m_env.accountMethodChanged();
    return true;
}

void SignInWindow::signIn() {
    if (!saveChoices()) {
        return;
    }
    if (const std::string missing = auth::missingForSignIn(m_access->settings().provider);
        !missing.empty()) {
        ui::tell(this, ui::Say::kSignInClientMissing, {QString::fromStdString(missing)});
        return;
    }
    m_job = new SignInJob(*m_access, m_env.accountInUse().id, this);
    connect(m_job, &SignInJob::finished, this, &SignInWindow::signInFinished);
    m_job->start();
    showChosenKind();
}

void SignInWindow::signInFinished(bool ok, const QString& diagnostic) {
    showChosenKind();
    if (ok) {
        StateLabel->setText(ui::words(ui::Say::kSignInDone, {}, QString()));
        return;
    }
    ui::tell(this, ui::Say::kSignInFailed, {}, diagnostic);
}

void SignInWindow::confirm() {
    if (!saveChoices()) {
        return;
    }
    if (m_access->secretPlace() == auth::SecretPlace::kKeyring &&
        m_access->account().source == auth::SecretSource::kFile &&
        ui::tell(this, ui::Say::kMovePasswordToKeyring)) {
        const Status moved = auth::movePasswordToKeyring(
            m_env.folder().accountFile(), auth::sessionKeyring(), m_env.held().server.pop3);
        if (!moved) {
            ui::tell(this, ui::Say::kPasswordNotMoved, {}, QString::fromStdString(moved.message()));
            return;
        }
    }
    close();
}

}  // namespace qf::auth
