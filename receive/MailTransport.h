// The transport the receive run works through: the POP3 mailbox and the
// decoder of transport/ (typed results, UTF-8 texts, the mail as bytes),
// behind one small interface so a test can play the server side (a broken
// fetch, an attachment that cannot be written, a split part kept).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "transport/CurlConnection.h"
#include "transport/Pop3Mailbox.h"
#include "transport/ReceivedMail.h"

namespace qf::receive {

class MailTransport {
  public:
    virtual ~MailTransport() = default;
    // openPop3Mailbox: `abandon` gives up the connect and the login.
    virtual transport::TransportResult<std::unique_ptr<transport::Pop3Mailbox>> connect(
        const std::string& server, const std::atomic<bool>* abandon) = 0;
    // What the next connect may presume of the server (Pop3Presumption).
    virtual void presume(transport::Pop3Presumption presumed) { (void)presumed; }
    // expandReceivedMail, the body in CP932 (the form records keep).
    virtual transport::TransportResult<transport::ReceivedMail> expand(
        std::string_view rawMail, const std::string& attachmentFolder) = 0;
};

// The real transport: the network and the attachment folder.
class NetworkTransport final : public MailTransport {
  public:
    explicit NetworkTransport(transport::TransferLimits limits = {}) : m_limits(limits) {}

    transport::TransportResult<std::unique_ptr<transport::Pop3Mailbox>> connect(
        const std::string& server, const std::atomic<bool>* abandon) override;
    void presume(transport::Pop3Presumption presumed) override { m_presumed = presumed; }
    transport::TransportResult<transport::ReceivedMail> expand(
        std::string_view rawMail, const std::string& attachmentFolder) override;

  private:
    transport::TransferLimits m_limits;
    transport::Pop3Presumption m_presumed;
};

}  // namespace qf::receive
