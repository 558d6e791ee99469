#include "transport/Pop3Mailbox.h"

#include <optional>
#include <utility>

#include "transport/ServerAddress.h"

namespace qf::transport {

namespace {

TransportStatus done(const Status& status, TransportFault fault) {
    if (!status) {
        return transportError(fault, status);
    }
    return Done{};
}

// How to dial the server again when a presumed session breaks at the login.
struct Redial {
    ServerAddress address;
    TransferLimits limits;
    const std::atomic<bool>* abandon = nullptr;
};

class SessionMailbox final : public Pop3Mailbox {
  public:
    explicit SessionMailbox(std::unique_ptr<Pop3Session> session,
                            std::optional<Redial> redial = std::nullopt)
        : m_session(std::move(session)), m_redial(std::move(redial)) {}

    TransportResult<int> login(const Pop3Account& account) override {
        Result<int> count = m_session->login(account.user, account.secret, account.method);
        if (!count && brokeWhilePresumed(count.status())) {
            // The server may serve one connection of a user at a time.
            m_session->hangUp();
            Result<std::unique_ptr<Pop3Session>> again =
                Pop3Session::connect(m_redial->address, m_redial->limits, m_redial->abandon);
            if (again) {
                m_session = std::move(again).value();
                count = m_session->login(account.user, account.secret, account.method);
            }
        }
        if (!count) {
            return loginError(count.status(), account.method, m_session->greeting());
        }
        m_count = count.value();
        return m_count;
    }

    TransportResult<std::vector<std::string>> uniqueIds() override {
        std::vector<std::string> ids;
        if (!m_session->offersUniqueIds()) {
            return ids;
        }
        for (int m = 1; m <= m_count; ++m) {
            Result<std::string> id = m_session->uniqueId(m);
            if (!id) {
                return transportError(TransportFault::kNoUniqueId, id.status());
            }
            ids.resize(static_cast<std::size_t>(m) + 1);
            ids.back() = std::move(id).value();
        }
        return ids;
    }

    TransportResult<std::string> fetch(int mailNumber) override {
        Result<std::string> mail = m_session->take(mailNumber);
        if (!mail) {
            return transportError(TransportFault::kFetchFailed, mail.status());
        }
        return std::move(mail).value();
    }

    TransportStatus skip(int mailNumber) override {
        return done(m_session->skip(mailNumber), TransportFault::kFetchFailed);
    }
    TransportStatus markDeleted(int mailNumber) override {
        return done(m_session->markDeleted(mailNumber), TransportFault::kDeleteFailed);
    }
    int loginDelaySeconds() const override { return m_session->loginDelaySeconds(); }
    bool mayBePresumedNextTime() const override { return m_session->mayBePresumedNextTime(); }
    TransportStatus close() override {
        return done(m_session->close(), TransportFault::kCloseFailed);
    }

  private:
    // A refusal is the server's answer, and a stop is the user's: neither
    // is asked again.
    bool brokeWhilePresumed(const Status& status) const {
        return m_redial && m_session->presumed() && !m_session->alive() &&
               status.code() != StatusCode::kRefused && status.code() != StatusCode::kCancelled;
    }

    std::unique_ptr<Pop3Session> m_session;
    std::optional<Redial> m_redial;
    int m_count = 0;
};

}  // namespace

TransportError transportError(TransportFault fault, const Status& status) {
    if (fault == TransportFault::kDeliveryUnconfirmed) {
        // Whatever ended the wait: the server may hold the mail.
    } else if (const TransportFault tls = tlsFault(tlsRefusalOf(status));
               tls != TransportFault::kNone) {
        fault = tls;
    } else if (status.code() == StatusCode::kTimedOut) {
        fault = TransportFault::kTimedOut;
    } else if (status.code() == StatusCode::kNotFound && fault == TransportFault::kConnectFailed) {
        fault = TransportFault::kServerNotFound;
    }
    return {fault, status.outsideText(), {}};
}

TransportError loginError(const Status& status, Pop3Login method, std::string_view greeting) {
    if (method == Pop3Login::kXOAuth2) {
        TransportFault fault = TransportFault::kLoginRefused;
        if (status.message().starts_with(kMechanismNotOffered)) {
            fault = TransportFault::kMechanismNotOffered;
        } else if (status.code() == StatusCode::kRefused) {
            fault = TransportFault::kTokenRefused;
        } else if (status.code() == StatusCode::kTimedOut) {
            fault = TransportFault::kTimedOut;
        }
        return transportError(fault, status);
    }
    const bool noTimestamp = method == Pop3Login::kApop && apopTimestamp(greeting).empty();
    return transportError(
        noTimestamp ? TransportFault::kApopNotOffered : TransportFault::kLoginRefused, status);
}

TransportResult<std::unique_ptr<Pop3Mailbox>> openPop3Mailbox(std::string_view server,
                                                              const TransferLimits& limits,
                                                              const std::atomic<bool>* abandon,
                                                              Pop3Presumption presumed) {
    Result<ServerAddress> address = parseServerAddress(server, MailProtocol::kPop3);
    if (!address) {
        return transportError(TransportFault::kBadServerName, address.status());
    }
    Result<std::unique_ptr<Pop3Session>> session =
        Pop3Session::connect(address.value(), limits, abandon, presumed);
    if (!session) {
        return transportError(TransportFault::kConnectFailed, session.status());
    }
    std::unique_ptr<Pop3Mailbox> mailbox = std::make_unique<SessionMailbox>(
        std::move(session).value(), Redial{address.value(), limits, abandon});
    return mailbox;
}

std::unique_ptr<Pop3Mailbox> mailboxOver(std::unique_ptr<Pop3Session> session) {
    return std::make_unique<SessionMailbox>(std::move(session));
}

}  // namespace qf::transport
