// What the receive tests share: a fresh program folder, an observer that
// records every callback, and a reader of the MailRecords a run wrote (built
// from the record table, independent of the store's own reader).
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "receive/ReceiveRun.h"
#include "tests/support/TempFolder.h"
#include "text/FixedField.h"

namespace qf::receive::testing {

inline constexpr std::size_t kMailRecordBytes = 32284;

struct StoredMail {
    std::string subject, date, from, body;
    int status = 0;
};

inline std::vector<StoredMail> readMailRecords(const std::filesystem::path& box) {
    std::ifstream in(box, std::ios::binary);
    std::vector<StoredMail> mails;
    std::string record(kMailRecordBytes, '\0');
    while (in.read(record.data(), static_cast<std::streamsize>(record.size()))) {
        const std::string_view bytes(record);
        StoredMail mail;
        mail.subject = text::readField(bytes.substr(0, 100));
        mail.date = text::readField(bytes.substr(100, 90));
        mail.from = text::readField(bytes.substr(190, 90));
        mail.body = text::readField(bytes.substr(280, 32000));
        mail.status = static_cast<unsigned char>(record[32282]) |
                      static_cast<unsigned char>(record[32283]) << 8;
        mails.push_back(mail);
    }
    return mails;
}

// A program folder under /tmp with its data and attachment folders, removed
// again by the destructor.
class ProgramFolderFixture {
  public:
    ProgramFolderFixture() { std::filesystem::create_directories(folder().dataFolder()); }

    settings::ProgramFolder folder() const { return settings::ProgramFolder(m_root.path()); }
    std::filesystem::path box(int slot) const { return folder().dataFile(boxFileName(slot)); }
    std::vector<StoredMail> mailsIn(int slot) const { return readMailRecords(box(slot)); }

  private:
    qf::testing::TempFolder m_root{"qf-receive"};
};

struct RecordingObserver : ReceiveObserver {
    void onRegistrationsRead(const settings::SortingRegistrations& read) override {
        registrations = read;
        ++registrationReads;
    }
    void onProgress(int mailNumber, int mailCount) override {
        progress.push_back(std::to_string(mailNumber) + "/" + std::to_string(mailCount));
    }
    void onRawText(const std::string& text) override { rawTexts.push_back(text); }
    void onMessage(const ReceiveMessage& message) override { messages.push_back(message); }
    void onMailStaged(int slot, const StagedMail& mail) override {
        staged.push_back(mail);
        stagedSlots.push_back(slot);
    }
    void onMailStored(int slot, int recordNumber) override {
        ++counters[static_cast<std::size_t>(slot)];
        recordNumbers.push_back(recordNumber);
    }
    void onNoNewMail() override { ++notices; }

    settings::SortingRegistrations registrations;
    int registrationReads = 0;
    std::vector<std::string> progress;
    std::vector<std::string> rawTexts;
    std::vector<ReceiveMessage> messages;
    std::vector<StagedMail> staged;
    std::vector<int> stagedSlots;
    SlotCounts counters{};
    std::vector<int> recordNumbers;
    int notices = 0;
};

}  // namespace qf::receive::testing
