#include "receive/MailTransport.h"

namespace qf::receive {

transport::TransportResult<std::unique_ptr<transport::Pop3Mailbox>> NetworkTransport::connect(
    const std::string& server, const std::atomic<bool>* abandon) {
    return transport::openPop3Mailbox(server, m_limits, abandon, m_presumed);
}

transport::TransportResult<transport::ReceivedMail> NetworkTransport::expand(
    std::string_view rawMail, const std::string& attachmentFolder) {
    return transport::expandReceivedMail(rawMail, attachmentFolder, transport::BodyForm::kCp932);
}

}  // namespace qf::receive
