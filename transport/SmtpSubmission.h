// Submitting one mail for the program's own use: a message value and its
// credentials in, a typed outcome out. No state is shared between calls
// except the SMTP connection kept for the next send (SmtpSender.h), so a
// send may run on any thread.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "transport/CurlConnection.h"
#include "transport/MailBuilder.h"
#include "transport/SmtpSender.h"
#include "transport/TransportFault.h"

namespace qf::transport {

// Why a mail did not go out, or may not have.
struct SubmissionFault {
    TransportFault fault = TransportFault::kSendFailed;
    std::string diagnostic;  // what went wrong, for the C contract's message and logs (UTF-8)
    std::string about;       // the refused address or recipient text, when one is to blame
    // The server's, libcurl's or the system's own words, what the user may
    // read; empty when the program refused the mail itself.
    std::string outsideText;

    // The whole mail reached the server and no reply came: sending it again
    // may deliver it twice.
    bool mayHaveArrived() const { return fault == TransportFault::kDeliveryUnconfirmed; }
};

struct Submitted {
    std::size_t recipients = 0;  // envelope recipients, Bcc included
    std::size_t bytes = 0;       // the message as sent
    std::string message;         // the message as sent, CRLF line ends
};

class [[nodiscard]] SubmissionResult {
  public:
    SubmissionResult(Submitted sent) : m_state(sent) {}                     // NOLINT: implicit
    SubmissionResult(SubmissionFault fault) : m_state(std::move(fault)) {}  // NOLINT: implicit

    bool isOk() const { return std::holds_alternative<Submitted>(m_state); }
    explicit operator bool() const { return isOk(); }
    // REQUIRES: isOk().
    const Submitted& value() const { return std::get<Submitted>(m_state); }
    // REQUIRES: !isOk().
    const SubmissionFault& fault() const { return std::get<SubmissionFault>(m_state); }

  private:
    std::variant<Submitted, SubmissionFault> m_state;
};

// Checks every address text, builds the mail and sends it to `server` (the
// "SMTP=" setting: host, host:port or a URL). Nothing leaves the machine
// when an address is refused, no recipient parses or an attachment cannot
// be read.
SubmissionResult submitMail(std::string_view server, const OutgoingMail& mail,
                            const SmtpCredentials& credentials, const TransferLimits& limits = {});

// The fault a failed transfer says more about than `fault`: a time limit,
// a refused certificate or a host name that did not resolve.
TransportFault refinedFault(TransportFault fault, const Status& status);

}  // namespace qf::transport
