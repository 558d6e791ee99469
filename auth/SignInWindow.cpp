#include "auth/SignInWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QVBoxLayout>
#include <optional>
#include <vector>

#include "auth/AccountAccess.h"
#include "auth/OAuthProvider.h"
#include "auth/SignInJob.h"
#include "settings/ServerSettings.h"
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

// The form's name of an item, also in the message that a sign-in lacks it.
QString itemName(auth::ProviderItem item) {
    switch (item) {
        case auth::ProviderItem::kClientId:
            return QStringLiteral("クライアントID");
        case auth::ProviderItem::kAuthorizeUrl:
            return QStringLiteral("認可エンドポイント");
        case auth::ProviderItem::kTokenUrl:
            return QStringLiteral("トークンエンドポイント");
        case auth::ProviderItem::kScope:
            return QStringLiteral("スコープ");
    }
    return {};
}

// "POP3 pop3s://…、SMTP smtps://…": the servers just filled in.
QString filledServerList(const settings::ServerSettings& server, auth::FilledServers filled) {
    QStringList names;
    if (filled.pop3) {
        names << QStringLiteral("POP3 ") + QString::fromStdString(server.pop3);
    }
    if (filled.smtp) {
        names << QStringLiteral("SMTP ") + QString::fromStdString(server.smtp);
    }
    return names.join(QStringLiteral("、"));
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
        m_state->setText(ui::words(ui::Say::kSignInNoKeyring, {}, QString()));
    }
}

// The job uses m_access: it ends (cancelled) before m_access goes.
SignInWindow::~SignInWindow() {
    delete m_job;
}

void SignInWindow::createControls() {
    const auth::AuthSettings& stored = m_access->settings();
    m_passwordOption = new QRadioButton(QStringLiteral("IDとパスワード(&P)"), this);
    m_passwordOption->setObjectName(QStringLiteral("PasswordOption"));
    m_oauthOption = new QRadioButton(QStringLiteral("OAuth 2.0（ブラウザでサインイン）(&O)"), this);
    m_oauthOption->setObjectName(QStringLiteral("OAuthOption"));
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(m_passwordOption);
    kinds->addButton(m_oauthOption);
    (m_access->isOAuth() ? m_oauthOption : m_passwordOption)->setChecked(true);

    m_provider = new QComboBox(this);
    m_provider->setObjectName(QStringLiteral("ProviderCombo"));
    m_provider->addItems({QStringLiteral("Google（Gmail）"),
                          QStringLiteral("Microsoft（Outlook.com、Microsoft 365）"),
                          QStringLiteral("その他（エンドポイントを入力）")});
    m_provider->setCurrentIndex(rowOf(kPresets, stored.provider.preset));
    m_authorizeEndpoint =
        newTextBox(QStringLiteral("AuthorizeText"), stored.provider.authorizeUrl, this);
    m_tokenEndpoint = newTextBox(QStringLiteral("TokenText"), stored.provider.tokenUrl, this);
    m_scopes = newTextBox(QStringLiteral("ScopeText"), stored.provider.scope, this);

    m_secretPlace = new QComboBox(this);
    m_secretPlace->setObjectName(QStringLiteral("SecretPlaceCombo"));
    m_secretPlace->addItems({QStringLiteral("デスクトップのキーリング"),
                             QStringLiteral("ファイル（iniIdPass.ini、本人だけが読める）"),
                             QStringLiteral("保存しない（起動のたびに入力）")});
    auth::SecretPlace place = m_access->secretPlace();
    if (place == auth::SecretPlace::kNotChosen) {
        place = m_keyringAvailable ? auth::SecretPlace::kKeyring : auth::SecretPlace::kFile;
    }
    m_secretPlace->setCurrentIndex(rowOf(kPlaces, place));
    if (!m_keyringAvailable) {
        // No service answers: the keyring row cannot be chosen.
        m_secretPlace->setItemData(0, 0, Qt::UserRole - 1);
    }

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("StateLabel"));
    m_state->setTextFormat(Qt::PlainText);
    m_state->setWordWrap(true);
    m_signInButton = new QPushButton(QStringLiteral("ブラウザでサインイン(&I)"), this);
    m_signInButton->setObjectName(QStringLiteral("SignInCommand"));
    m_okButton = new QPushButton(QStringLiteral("設定"), this);
    m_okButton->setObjectName(QStringLiteral("OkCommand"));
    m_okButton->setDefault(true);
    m_cancelButton = new QPushButton(QStringLiteral("中止"), this);
    m_cancelButton->setObjectName(QStringLiteral("CancelCommand"));

    connect(m_provider, &QComboBox::currentIndexChanged, this, &SignInWindow::showProvider);
    connect(m_oauthOption, &QRadioButton::toggled, this, &SignInWindow::showChosenKind);
    connect(m_signInButton, &QPushButton::clicked, this, &SignInWindow::signIn);
    connect(m_okButton, &QPushButton::clicked, this, &SignInWindow::confirm);
    connect(m_cancelButton, &QPushButton::clicked, this, &QWidget::close);
    ui::OkCancelKeys::install(*this, m_okButton, m_cancelButton);
}

void SignInWindow::layOut() {
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("ログイン方式"), m_passwordOption);
    fields->addRow(QString(), m_oauthOption);
    fields->addRow(QStringLiteral("プロバイダー(&V)"), m_provider);
    fields->addRow(itemName(auth::ProviderItem::kAuthorizeUrl), m_authorizeEndpoint);
    fields->addRow(itemName(auth::ProviderItem::kTokenUrl), m_tokenEndpoint);
    fields->addRow(itemName(auth::ProviderItem::kScope), m_scopes);
    fields->addRow(QStringLiteral("パスワードなどの保存先(&K)"), m_secretPlace);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_signInButton);
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_state);
    layout->addLayout(buttons);
}

// A preset fills and locks the endpoints; the generic row lets them be typed.
void SignInWindow::showProvider() {
    const auth::ProviderPreset preset = kPresets[m_provider->currentIndex()];
    const bool generic = preset == auth::ProviderPreset::kGeneric;
    if (!generic) {
        const auth::OAuthProvider p = auth::presetProvider(preset);
        m_authorizeEndpoint->setText(QString::fromStdString(p.authorizeUrl));
        m_tokenEndpoint->setText(QString::fromStdString(p.tokenUrl));
        m_scopes->setText(QString::fromStdString(p.scope));
    }
    for (QLineEdit* box : {m_authorizeEndpoint, m_tokenEndpoint, m_scopes}) {
        box->setReadOnly(!generic);
    }
}

void SignInWindow::showChosenKind() {
    const bool oauth = m_oauthOption->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_provider, m_authorizeEndpoint, m_tokenEndpoint, m_scopes, m_signInButton}) {
        control->setEnabled(oauth && (m_job == nullptr || !m_job->running()));
    }
}

// Writes the choices and reads them back, so the sign-in uses what is shown
// (and the client ID of the file, when the distributor's is overridden).
// A preset's servers are filled in first, so a token kept for the account
// is kept under the server it will be used with. Nothing when a file could
// not be written.
std::optional<auth::FilledServers> SignInWindow::saveChoices() {
    delete m_job;  // a sign-in still waiting is given up
    m_job = nullptr;
    auth::AuthSettings chosen;
    chosen.kind =
        m_oauthOption->isChecked() ? auth::AccountKind::kOAuth : auth::AccountKind::kPassword;
    chosen.secretPlace = auth::secretPlaceName(kPlaces[m_secretPlace->currentIndex()]);
    chosen.provider.preset = kPresets[m_provider->currentIndex()];
    chosen.provider.authorizeUrl = m_authorizeEndpoint->text().trimmed().toStdString();
    chosen.provider.tokenUrl = m_tokenEndpoint->text().trimmed().toStdString();
    chosen.provider.scope = m_scopes->text().trimmed().toStdString();
    if (chosen.kind != m_access->settings().kind) {
        if (const Status forgotten = m_access->forgetSecret(); !forgotten) {
            ui::tell(this, ui::Say::kAuthSettingsNotWritten, {}, forgotten);
            return std::nullopt;
        }
    }
    const Status written = auth::writeAuthSettings(auth::authFile(m_env.folder()), chosen);
    if (!written) {
        ui::tell(this, ui::Say::kAuthSettingsNotWritten, {}, written);
        return std::nullopt;
    }
    const std::optional<auth::FilledServers> filled = fillPresetServers(chosen);
    m_access = std::make_unique<auth::AccountAccess>(m_env.folder(), m_env.held().server.pop3);
    m_env.accountMethodChanged();
    return filled;
}

void SignInWindow::signIn() {
    if (!saveChoices()) {
        return;
    }
    if (const std::vector<auth::ProviderItem> missing =
            auth::missingItemsForSignIn(m_access->settings().provider);
        !missing.empty()) {
        QStringList names;
        for (const auth::ProviderItem item : missing) {
            names << itemName(item);
        }
        ui::tell(this, ui::Say::kSignInClientMissing, {names.join(QStringLiteral("、"))});
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
        m_state->setText(ui::words(ui::Say::kSignInDone, {}, QString()));
        return;
    }
    ui::tell(this, ui::Say::kSignInFailed, {}, diagnostic);
}

// Gives the account the preset's servers where the server settings have
// none, and says so in the state line. Nothing when the settings could not
// be written (they are then left as they were).
std::optional<auth::FilledServers> SignInWindow::fillPresetServers(
    const auth::AuthSettings& chosen) {
    if (chosen.kind != auth::AccountKind::kOAuth) {
        return auth::FilledServers{};
    }
    settings::ServerSettings server = m_env.held().server;
    const auth::FilledServers filled =
        auth::fillPresetServers(server, auth::presetProvider(chosen.provider.preset));
    if (!filled.any()) {
        return filled;
    }
    const Status written =
        settings::writeServerSettings(m_env.folder().serverSettingsFile(), server);
    if (!written) {
        ui::tell(this, ui::Say::kServerSettingsNotWritten, {}, written);
        return std::nullopt;
    }
    m_env.held().server = server;
    m_env.announceServerSettings();
    m_state->setText(
        ui::words(ui::Say::kSignInServersFilled, {filledServerList(server, filled)}, QString()));
    return filled;
}

// Stays open when servers were filled in, so the state line can say which.
void SignInWindow::confirm() {
    const std::optional<auth::FilledServers> filled = saveChoices();
    if (!filled) {
        return;
    }
    if (m_access->secretPlace() == auth::SecretPlace::kKeyring &&
        m_access->account().source == auth::SecretSource::kFile &&
        ui::tell(this, ui::Say::kMovePasswordToKeyring)) {
        const Status moved = auth::movePasswordToKeyring(
            m_env.folder().accountFile(), auth::sessionKeyring(), m_env.held().server.pop3);
        if (!moved) {
            ui::tell(this, ui::Say::kPasswordNotMoved, {}, moved);
            return;
        }
    }
    if (!filled->any()) {
        close();
    }
}

}  // namespace qf::auth
