// Sending a composed mail: one pass for a single send, or one pass per
// address-book entry in batch mode.
//
// Each pass, in this order:
//  1. batch only: the recipient is the address of address-book entry p, as
//     the book read when the batch began (record order); a pass beyond the
//     book's end (an entry deleted since the list was filled) is skipped (no
//     history record, no mail) and counts as skipped. A retry instead goes
//     to the addresses it is given, one pass each;
//  2. single send with the fortune asked for: the fortune paragraph is
//     appended to the body (never in batch mode);
//  3. the mail is submitted once with the account's credentials; a fault is
//     a refusal, except kDeliveryUnconfirmed: the server may have the mail.
//     Neither stops a batch;
//  4. a SentRecord is appended to the send history (Subject, To, Body as
//     typed, without the fortune; Date = the clock text) when the mail went
//     out or may have: the history lists what was sent, never a refused
//     pass. Its To is the address the pass sent to. A retried recipient
//     whose earlier pass may have arrived is listed already, not again.
//     The mail as it went is kept beside the record (its original); a
//     batch makes its originals durable together when it ends
//     (compose/HistoryOriginals.h).
//
// The run stops early only when asked to (the window closes), and then
// between passes: the passes not run are reported as such. Turning the
// outcome into words, boxes and the window's closing is the window's job.
// Nothing here touches a window: the passes may run on a worker thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Status.h"
#include "compose/Greetings.h"
#include "store/MailStore.h"
#include "transport/CurlConnection.h"
#include "transport/MailBuilder.h"
#include "transport/TransportFault.h"

namespace qf::compose {

// The compose window's texts as typed (UTF-8). A batch pass goes to its
// address-book entry alone: Cc and Bcc belong to a single send.
struct ComposedMail {
    std::string to;  // one address or several, comma-separated
    std::string subject;
    std::string body;
    std::vector<std::string> attachments;  // full paths
    std::string cc = {};
    std::string bcc = {};  // never written into the mail
    // A reply: the answered mail's Message-ID and its thread ("<...>" each).
    std::string inReplyTo = {};
    std::vector<std::string> references = {};
    // Received mails forwarded whole (as they came), attached as messages.
    std::vector<transport::AttachedMail> mails = {};
};

struct SendSettings {
    std::string smtpServer;  // the "SMTP=" setting
    std::string ownAddress;  // the "MAIL=" setting: the sender
    std::string authId;      // POP3 account, offered when the server asks for AUTH
    std::string authPassword;
    std::string clockText;  // the main window's clock: the history record's Date
    // An OAuth account: the access token for AUTH XOAUTH2 in place of the
    // password (`refused`: the server refused the last one); null otherwise.
    std::function<Result<std::string>(bool refused)> accessToken = {};
    transport::TransferLimits limits = {};
    std::string senderName = {};  // shown with the sender's address; may be empty
};

// A recipient a batch sends to again.
struct BatchRecipient {
    std::string address;
    // The earlier pass handed the whole mail over and no reply came: it may
    // have arrived, and the send history lists it already.
    bool mayHaveArrived = false;

    bool operator==(const BatchRecipient&) const = default;
};

struct SendOptions {
    bool batch = false;
    int batchPassCount = 0;  // rows of the address list as last filled
    // Batch only: when not empty, one pass to each of these addresses, in
    // order (a second send to the recipients an earlier batch missed),
    // instead of one to each address-book entry.
    std::vector<BatchRecipient> retry;
    bool fortune = false;  // ignored in batch mode
    UnitFloatSource fortuneSource = timerSeededSource();
};

// kUnconfirmed: the whole mail went to the server and no reply came, so it
// may have arrived; sending it again may deliver it twice.
// kNotRun: the run was stopped before this pass; nothing went out.
enum class PassResult { kSent, kRefused, kUnconfirmed, kSkipped, kNotRun };

// Why a mail did not go out, or may not have: not yet in words (the window
// words it, compose/SendWords.h).
struct SendFailure {
    transport::TransportFault fault = transport::TransportFault::kSendFailed;
    std::string diagnostic;  // the server's or library's own text (UTF-8, printable)
    std::string about;       // the refused address, when the fault names one
    // A batch pass only: the address book could not be read (diagnostic:
    // the store's text); nothing was sent.
    bool addressBookUnreadable = false;

    bool mayHaveArrived() const { return fault == transport::TransportFault::kDeliveryUnconfirmed; }
};

struct PassOutcome {
    int pass = 0;  // from 1
    PassResult result = PassResult::kSkipped;
    std::string recipient;  // empty when skipped
    // A retried recipient whose earlier pass may have arrived (and is listed).
    bool mayHaveArrivedBefore = false;
    SendFailure failure;  // kRefused, kUnconfirmed: why
    Status history;       // how writing the history record went
};

struct SendReport {
    std::vector<PassOutcome> passes;
    // A single send: the body handed to the transport (with the fortune when
    // one was appended). Empty in batch mode.
    std::string sentBody;
    // A batch: the address book's addresses in record order as it read when
    // the batch began (empty when it could not be read).
    std::vector<std::string> bookAddresses;

    int count(PassResult result) const;
    int passCount() const { return static_cast<int>(passes.size()); }
    // Every pass went out (true for a batch of no passes).
    bool allSent() const { return count(PassResult::kSent) == passCount(); }
    // The passes whose history record could not be written.
    int historyFailures() const;
};

struct SendObserver {
    std::function<void(int pass, int passCount)> beforePass;  // may be empty
    std::function<void(const PassOutcome&)> afterPass;        // may be empty
    // Asked before each pass; true ends the run there (the rest kNotRun).
    std::function<bool()> stopRequested;  // may be empty
};

// One mail to `mail.to` (and its copies), without a send-history record
// (the reply window): submitted once. Empty when the server took it.
std::optional<SendFailure> sendSingleMail(const SendSettings& settings, const ComposedMail& mail);

// Runs every pass. The history goes to `store`'s send-history box; the
// address book is the one of the store's data folder.
SendReport sendComposedMail(store::MailStore& store, const ComposedMail& mail,
                            const SendSettings& settings, const SendOptions& options,
                            const SendObserver& observer = {});

}  // namespace qf::compose
