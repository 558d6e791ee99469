#include "transport/SmtpSubmission.h"

#include <curl/curl.h>

#include <mutex>

#include "transport/EnvelopeGate.h"
#include "transport/LastError.h"
#include "transport/ServerAddress.h"

namespace qf::transport {

namespace {

void ensureCurlInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SubmissionFault faultOf(TransportFault fault, std::string_view diagnostic,
                        std::string_view about = {}) {
    return {fault, shownFailureText(diagnostic), shownFailureText(about), {}};
}

SubmissionFault faultOf(TransportFault fault, const Status& why, std::string_view about = {}) {
    SubmissionFault made = faultOf(fault, why.message(), about);
    made.outsideText = shownFailureText(why.outsideText());
    return made;
}

// The refused address is both what the fault is about and the only
// diagnostic there is (no byte went to the server).
SubmissionFault envelopeRefused(const EnvelopeRefusal& refusal) {
    return faultOf(envelopeFault(refusal), refusal.address, refusal.address);
}

std::string joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& text : texts) {
        out += (out.empty() ? "" : ",") + text;
    }
    return out;
}

}  // namespace

TransportFault refinedFault(TransportFault fault, const Status& status) {
    if (fault == TransportFault::kDeliveryUnconfirmed) {
        return fault;  // whatever ended the wait: the server may hold the mail
    }
    if (const TransportFault tls = tlsFault(tlsRefusalOf(status)); tls != TransportFault::kNone) {
        return tls;
    }
    if (status.code() == StatusCode::kTimedOut) {
        return TransportFault::kTimedOut;
    }
    if (status.code() == StatusCode::kNotFound && fault == TransportFault::kConnectFailed) {
        return TransportFault::kServerNotFound;
    }
    return fault;
}

SubmissionResult submitMail(std::string_view server, const OutgoingMail& mail,
                            const SmtpCredentials& credentials, const TransferLimits& limits) {
    ensureCurlInitialized();
    Result<ServerAddress> address = parseServerAddress(std::string(server), MailProtocol::kSmtp);
    if (!address) {
        return faultOf(TransportFault::kBadServerName, address.status());
    }
    // Each text whole: a NUL or a line break inside one must not reach a
    // command line.
    std::vector<std::string> texts = mail.to;
    texts.insert(texts.end(), mail.cc.begin(), mail.cc.end());
    texts.insert(texts.end(), mail.bcc.begin(), mail.bcc.end());
    if (auto refusal = checkAddressTexts(
            mail.from, std::vector<std::string_view>(texts.begin(), texts.end()))) {
        return envelopeRefused(*refusal);
    }
    Result<BuiltMail> built = buildMail(mail);
    if (!built) {
        if (built.status().code() == StatusCode::kInvalidArgument) {
            const std::string recipients = joined(texts);
            return faultOf(TransportFault::kNoRecipient, recipients, recipients);
        }
        return faultOf(TransportFault::kAttachmentUnreadable, built.status());
    }
    if (auto refusal = checkEnvelope(built.value().envelopeFrom, built.value().recipients)) {
        return envelopeRefused(*refusal);
    }
    const SmtpResult sent = sendMail(address.value(), built.value(), credentials, limits);
    if (!sent.status) {
        return faultOf(refinedFault(sent.fault, sent.status), sent.status, sent.about);
    }
    return Submitted{built.value().recipients.size(), built.value().bytes.size(),
                     std::move(built).value().bytes};
}

}  // namespace qf::transport
