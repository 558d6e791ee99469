#include "boxtool/BoxReceive.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>

#include "auth/AccountAccess.h"
#include "boxtool/BoxToolCommands.h"
#include "boxtool/TerminalText.h"
#include "boxtool/TerminalWords.h"
#include "receive/ReceiveAccount.h"
#include "receive/ReceiveRun.h"
#include "receive/ReceiveWords.h"
#include "settings/AccountFiles.h"
#include "settings/FolderLock.h"
#include "settings/FolderOwner.h"
#include "settings/ServerSettings.h"
#include "store/BoxCatalogue.h"
#include "words/RepairWords.h"

namespace qf::app {

namespace {

using boxtool::TerminalSay;
using boxtool::terminalWords;

// Prints the run as it goes; the captions come from the registrations the
// run reads again.
class TerminalObserver final : public receive::ReceiveObserver {
  public:
    TerminalObserver(std::ostream& out, std::ostream& err,
                     std::optional<receive::SeenListChoice> lostSeenList, std::string pop3Server)
        : m_out(out),
          m_err(err),
          m_lostSeenList(lostSeenList),
          m_pop3Server(std::move(pop3Server)) {}

    void onRegistrationsRead(const settings::SortingRegistrations& registrations) override {
        m_registrations = registrations;
    }
    void onProgress(int mailNumber, int mailCount) override {
        m_out << terminalWords(TerminalSay::kReceiving,
                               {std::to_string(mailNumber), std::to_string(mailCount)})
              << "\n";
    }
    // The terminal shows the subject only.
    bool wantsMailTexts() const override { return false; }
    void onMessage(const receive::ReceiveMessage& message) override {
        m_err << boxtool::terminalText(ui::words(receive::messageOf(message, m_pop3Server)))
              << "\n";
    }
    void onMailStaged(int /*slot*/, const receive::StagedMail& mail) override {
        m_subject = boxtool::terminalText(mail.subject);
    }
    void onMailStored(int slot, int recordNumber) override {
        m_out << "  → " << caption(slot) << " (" << recordNumber << "): " << m_subject << "\n";
    }
    void onNoNewMail() override { m_out << ui::words(ui::Say::kReceiveNoNewMailNotice) << "\n"; }
    // No one to ask: the command line says what to do, or the run stops.
    receive::SeenListChoice onSeenListLost(const receive::SeenListLoss& loss) override {
        if (m_lostSeenList) {
            return *m_lostSeenList;
        }
        m_err << ui::words({ui::Say::kReceiveSeenListLostStopped,
                            {std::to_string(loss.waiting)},
                            boxtool::terminalText(loss.problem)})
              << "\n";
        return receive::SeenListChoice::kCancel;
    }

    std::string caption(int slot) const {
        if (slot == receive::kOtherSlot) {
            return store::findBox(receive::kOtherSlot + 1)->caption;
        }
        const std::string& registered = m_registrations[static_cast<std::size_t>(slot)].caption;
        return registered.empty()
                   ? terminalWords(TerminalSay::kUnnamedBox, {std::to_string(slot + 1)})
                   : registered;
    }

  private:
    std::ostream& m_out;
    std::ostream& m_err;
    std::optional<receive::SeenListChoice> m_lostSeenList;
    std::string m_pop3Server;
    settings::SortingRegistrations m_registrations;
    std::string m_subject;
};

// The request as the main window builds it: settings and registrations as
// loaded at start, the account as the ID/password window loads it.
// `accountRead`: why the account file could not be read (nothing is then
// written back to it).
receive::ReceiveRequest requestFor(const settings::ProgramFolder& folder, Status* accountRead) {
    receive::ReceiveRequest request;
    request.folder = folder;
    const settings::ServerSettings server =
        settings::readServerSettings(folder.serverSettingsFile());
    request.pop3Server = server.pop3;
    request.apop = server.apop;
    request.keepOnServer = server.keepOnServer;
    request.keepDays = server.keepDays;
    // One read first: an ID from one read and a password from another could
    // not be told apart from a file that was never whole, and nothing is
    // written back to a file that could not be read.
    Result<settings::StoredAccount> stored = settings::readAccountFile(folder.accountFile());
    if (!stored) {
        *accountRead = stored.status();
    } else {
        const auto access = std::make_shared<auth::AccountAccess>(folder, server.pop3);
        receive::useAccount(request, access, access->account().account);
        request.keepAccount = stored.value().kept;
    }
    const settings::SortingRegistrations registrations =
        settings::readSortingRegistrations(folder.sortingFile());
    for (std::size_t i = 0; i < registrations.size(); ++i) {
        request.routingAddresses[i] = registrations[i].address;
    }
    return request;
}

// Ctrl+C (SIGINT) or SIGTERM stops the run after the mail being stored;
// a second one ends the program at once, as without the handler.
std::atomic<bool>& stopRequested() {
    static std::atomic<bool> flag = false;
    return flag;
}

void onStopSignal(int signalNumber) {
    if (stopRequested().exchange(true)) {
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
    }
}

class StopOnInterrupt {
  public:
    StopOnInterrupt()
        : m_interrupt(std::signal(SIGINT, onStopSignal)),
          m_terminate(std::signal(SIGTERM, onStopSignal)) {}
    ~StopOnInterrupt() {
        std::signal(SIGINT, m_interrupt);
        std::signal(SIGTERM, m_terminate);
    }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

  private:
    void (*m_interrupt)(int);
    void (*m_terminate)(int);
};

int exitStatusOf(const receive::ReceiveOutcome& outcome) {
    switch (outcome.end) {
        case receive::RunEnd::kNoServer:
        case receive::RunEnd::kConnectFailed:
            return kReceiveNoConnection;
        case receive::RunEnd::kNoAccount:
            return kReceiveLoginFailed;
        case receive::RunEnd::kAuthenticationFailed:
            return kReceiveLoginFailed;
        case receive::RunEnd::kAlreadyRunning:
            return kReceiveFolderBusy;
        case receive::RunEnd::kSessionFailed:
        case receive::RunEnd::kStopped:  // the tool has no stop; a stop keeps the rest
            return kReceiveMailKept;
        case receive::RunEnd::kCancelled:
            return kReceiveSeenListLost;
        case receive::RunEnd::kCompleted:
            break;
    }
    if (outcome.keptOnServer > 0) {
        return kReceiveMailKept;
    }
    return outcome.seenListSave ? kReceiveOk : kReceiveSeenListNotWritten;
}

}  // namespace

std::optional<receive::SeenListChoice> seenListChoiceNamed(std::string_view name) {
    if (name == "fetch-all") {
        return receive::SeenListChoice::kFetchAll;
    }
    if (name == "mark-seen") {
        return receive::SeenListChoice::kTreatAsSeen;
    }
    return std::nullopt;
}

int receiveCommand(const settings::ProgramFolder& folder, std::ostream& out, std::ostream& err,
                   std::optional<receive::SeenListChoice> lostSeenList) {
    if (Status made = folder.ensureFolders(); !made) {
        // The folder of another user, named for the user to put right.
        const std::filesystem::path theirs = settings::folderOfAnotherUser(folder);
        const std::string named = (theirs.empty() ? folder.root() : theirs).string();
        err << (made.code() == StatusCode::kRefused
                    ? ui::words(ui::Say::kFolderNotYours, {boxtool::terminalText(named)}, made)
                    : ui::words(ui::Say::kFolderNotPrepared, {}, made))
            << "\n";
        return kReceiveFolderBusy;
    }
    Result<settings::FolderLock> lock = settings::FolderLock::acquire(folder.lockFile());
    if (!lock) {
        err << boxtool::lockFailureWords(lock.status(), folder.root().string()) << "\n";
        return kReceiveFolderBusy;
    }
    // A box with a torn tail or a leftover temporary file refuses appends
    // until it is repaired, as the program repairs it at start-up.
    const store::RecoveryReport recovery = boxtool::repairFolder(folder);
    if (!recovery.actions.empty()) {
        out << ui::repairLines(recovery.actions) << "\n";
    }
    if (!recovery.status) {
        err << ui::words(ui::Say::kBoxFilesNotRepaired, {}, recovery.status) << "\n";
    }

    receive::ReceiveSession session;
    Status accountRead;
    const receive::ReceiveRequest request = requestFor(folder, &accountRead);
    if (!accountRead) {
        err << ui::words(ui::Say::kAccountFileNotRead, {}, accountRead) << "\n";
    }
    TerminalObserver observer(out, err, lostSeenList, request.pop3Server);
    receive::ReceiveRequest stoppable = request;
    stoppable.stop = &stopRequested();
    const StopOnInterrupt stopping;
    const receive::ReceiveOutcome outcome = session.run(stoppable, observer);
    if (outcome.end == receive::RunEnd::kStopped) {
        err << ui::words(ui::Say::kReceiveStopped) << "\n";
    }

    // The same sentences the windows show.
    if (std::optional<ui::Message> failed = receive::startFailureOf(outcome, request.pop3Server)) {
        err << ui::words(*failed) << "\n";
    }
    if (!outcome.accountSave) {
        err << ui::words({ui::Say::kReceiveAccountNotSaved, {}, outcome.accountSave.outsideText()})
            << "\n";
    }
    if (outcome.end == receive::RunEnd::kCompleted ||
        outcome.end == receive::RunEnd::kSessionFailed) {
        out << terminalWords(TerminalSay::kReceivedCount, {std::to_string(outcome.stored)});
        for (int slot = 0; slot < receive::kBoxSlotCount; ++slot) {
            if (const int n = outcome.storedPerSlot[static_cast<std::size_t>(slot)]; n > 0) {
                out << terminalWords(TerminalSay::kReceivedInBox,
                                     {observer.caption(slot), std::to_string(n)});
            }
        }
        if (outcome.keptOnServer > 0) {
            out << terminalWords(TerminalSay::kKeptOnServerCount,
                                 {std::to_string(outcome.keptOnServer)});
        }
        if (outcome.leaving && outcome.leftOnServer + outcome.stored > 0) {
            out << terminalWords(TerminalSay::kLeftOnServerCount,
                                 {std::to_string(outcome.leftOnServer + outcome.stored)});
        }
        if (outcome.deletedAfterDays > 0) {
            out << terminalWords(TerminalSay::kDeletedAfterDaysCount,
                                 {std::to_string(outcome.deletedAfterDays)});
        }
        out << "\n";
    }
    return exitStatusOf(outcome);
}

}  // namespace qf::app
