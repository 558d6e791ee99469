// Sending a composed mail: one pass for a single send, or one pass per
// address-book entry in batch mode.
//
// Each pass, in this order:
//  1. batch only: the recipient is the address of address-book record p
//     (record order); a record that no longer exists skips the pass (no
//     history record, no mail) and counts as skipped;
//  2. a SentRecord is appended to the send history (Subject, To, Body as
//     typed, Date = the clock text). Its To is the address the pass sends to,
//     so a batch history says to whom each copy went. It is written before
//     the fortune is added and whatever the send's outcome;
//  3. single send with the fortune asked for: the fortune paragraph is
//     appended to the body (never in batch mode);
//  4. the SMTP credentials are set and NMailSmtpSendMail is called once; a
//     result negative as a 16-bit value is a refusal, whose code and text
//     come from NMailGetErrorCode and NMailGetMessage, except
//     kSendUnconfirmed: the server may have the mail. Neither stops a batch.
//
// The run never stops early and reports every pass; turning the outcome into
// words, boxes and the window's closing is the window's job.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "compose/Greetings.h"
#include "store/MailStore.h"
#include "text/Status.h"
#include "transport/TransportFault.h"

namespace qf::compose {

// The compose window's texts as typed (UTF-8).
struct ComposedMail {
    std::string to;
    std::string subject;
    std::string body;
    std::string attachments;  // full paths joined by ","; empty for none
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
};

struct SendOptions {
    bool batch = false;
    int batchPassCount = 0;  // rows of the address list as last filled
    // Batch only: when not empty, only these passes run (a second send to the
    // recipients an earlier batch could not reach); the others are left out.
    std::vector<int> onlyPasses;
    bool fortune = false;  // ignored in batch mode
    UnitFloatSource fortuneSource = timerSeededSource();
};

// kUnconfirmed: the whole mail went to the server and no reply came, so it
// may have arrived; sending it again may deliver it twice.
enum class PassResult { kSent, kRefused, kUnconfirmed, kSkipped };

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
    SendFailure failure;    // kRefused, kUnconfirmed: why
    Status history;         // how writing the history record went
};

struct SendReport {
    std::vector<PassOutcome> passes;
    // A single send: the body handed to the transport (with the fortune when
    // one was appended). Empty in batch mode.
    std::string sentBody;

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
};

// One mail to `mail.to`, without a send-history record (the reply window):
// the SMTP credentials are set and NMailSmtpSendMail is called once. Empty
// when the server took it.
std::optional<SendFailure> sendSingleMail(const SendSettings& settings, const ComposedMail& mail);

// Runs every pass. The history goes to `store`'s send-history box; the
// address book is the one of the store's data folder.
SendReport sendComposedMail(store::MailStore& store, const ComposedMail& mail,
                            const SendSettings& settings, const SendOptions& options,
                            const SendObserver& observer = {});

}  // namespace qf::compose
