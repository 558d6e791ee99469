// The power goes off at every step of every command that writes mail or
// settings: the writes not yet synced are dropped (or torn), and the
// creates, renames and removes not yet followed by a sync of their folder
// are undone. After a restart (the start-up repairs) no mail is lost, no
// file is left unreadable, and a command that had returned success is kept.
// The receive run is cut the same way in ReceivePowerCut_test.cpp.
#include "tests/support/PowerCut.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "addressbook/AddressBookFile.h"
#include "base/DurableWrite.h"
#include "editor/HeaderLines.h"
#include "settings/AccountFiles.h"
#include "settings/ProgramFolder.h"
#include "settings/ServerSettings.h"
#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "store/MovedTwice.h"
#include "store/Originals.h"
#include "store/StoreTestSupport.h"
#include "viewer/QuickSave.h"

namespace qf {
namespace {

using store::testing::PowerCut;
using store::testing::readBytes;
using store::testing::writeBytes;
using testing::cutEverywhere;
using testing::CutPoint;

constexpr int kOther = store::kOtherBox;
constexpr int kKeep = store::kKeepBox;

class PowerCutTest : public ::testing::TestWithParam<PowerCut> {
  protected:
    PowerCutTest() { std::filesystem::create_directories(m_folder.dataFolder()); }

    std::string data() const { return m_folder.dataFolder().string(); }

    // Start-up after the cut: the repairs the program and `recover` make.
    void restart(const CutPoint& at) {
        const store::RecoveryReport report = store::recoverLeftovers(data());
        ASSERT_TRUE(report.status.isOk()) << at << ": " << report.status.toString();
        ASSERT_TRUE(m_folder.removeLeftoverTemporaries().isOk()) << at;
        for (const store::FileReport& file : store::checkDataFolder(data())) {
            EXPECT_TRUE(file.problems.empty())
                << at << ": " << file.path << " " << file.problems.front().message;
        }
        EXPECT_TRUE(m_folder.leftoverTemporaries().empty()) << at;
        checkOriginals(at);
    }

    // Every record shows its own mail's original (each kept before its
    // record was written), none another's, and no original outlives its record.
    void checkOriginals(const CutPoint& at) {
        store::MailStore store(data());
        const store::Originals originals(data());
        for (const store::BoxInfo& box : store::allBoxes()) {
            std::size_t records = 0;
            (void)store.readAll(box.number, [&](int, std::span<const char>) {
                const store::MailFields texts = store.currentFields(box.number);
                auto found = originals.find(box.number, texts);
                EXPECT_TRUE(found.isOk() && found.value().has_value())
                    << at << ": box " << box.number << " lost the original of " << texts.subject;
                if (found.isOk() && found.value()) {
                    EXPECT_EQ(*found.value(), originalOf(texts.subject.back())) << at;
                }
                ++records;
                return Status::ok();
            });
            EXPECT_EQ(originals.keptNames(box.number).size(), records)
                << at << ": originals without records in box " << box.number;
        }
    }

    static std::string originalOf(char letter) {
        return "Subject: =?utf-8?b?8J+Yig==?= " + std::string(1, letter) + "\r\n\r\n" +
               std::string(200, letter) + "\r\n";
    }

    // Each live record's subject letter, in file order.
    std::string letters(int box) {
        store::MailStore store(data());
        std::string found;
        EXPECT_TRUE(
            store.list(box, [&](const store::ListEntry& e) { found += e.subject.back(); }).isOk());
        return found;
    }

    void fill(int box, const std::string& letters) {
        store::MailStore store(data());
        for (char letter : letters) {
            const std::string tag(1, letter);
            ASSERT_TRUE(
                store.append(box, {"mail " + tag, tag + "@example.jp", "date", "body " + tag})
                    .isOk());
            ASSERT_TRUE(store::Originals(data())
                            .keep(box, store.currentFields(box), originalOf(letter))
                            .isOk());
        }
    }

    void resetBoxes(const std::map<int, std::string>& boxes) {
        for (const store::BoxInfo& box : store::allBoxes()) {
            std::filesystem::remove(m_folder.dataFile(box.fileName));
            std::filesystem::remove_all(store::Originals(data()).folderOf(box.number));
        }
        for (const auto& [box, mails] : boxes) {
            fill(box, mails);
        }
    }

    void report(const char* operation, int cuts) {
        std::printf("power cut (%s), %s: %d cut points\n", qf::testing::modeText(GetParam()),
                    operation, cuts);
    }

    store::testing::TempFolder m_root;
    settings::ProgramFolder m_folder{m_root.path()};
};

TEST_P(PowerCutTest, MovingToTheKeepBoxLeavesTheMailInOneBoxOrBoth) {
    const int cuts = cutEverywhere(
        GetParam(),
        [&] {
            resetBoxes({{kOther, "ABC"}, {kKeep, "K"}});
        },
        [&](base::FileSystem& fs) { return store::MailStore(data(), fs).moveToKeepBox(2).isOk(); },
        [&](const CutPoint& at) {
            restart(at);
            const std::string other = letters(kOther);
            const std::string keep = letters(kKeep);
            EXPECT_TRUE(other == "ABC" || other == "AC") << at << ": " << other;
            EXPECT_TRUE(keep == "K" || keep == "KB") << at << ": " << keep;
            EXPECT_TRUE(other == "ABC" || keep == "KB") << at << ": B is in neither box";
            // A mail left in both is named, so that the user can delete one.
            const auto both = store::mailsInBothBoxes(store::MailStore(data()));
            ASSERT_TRUE(both.isOk()) << at;
            EXPECT_EQ(both.value().size(), other == "ABC" && keep == "KB" ? 1u : 0u) << at;
            if (at.completed) {
                EXPECT_EQ(other + keep, "ACKB") << at;
            }
        });
    report("move to the keep box", cuts);
}

TEST_P(PowerCutTest, DeletingOneLosesNoOtherMail) {
    const int cuts = cutEverywhere(
        GetParam(),
        [&] {
            resetBoxes({{1, "ABCD"}});
        },
        [&](base::FileSystem& fs) {
            store::MailStore store(data(), fs);
            return store.readRecord(1, 2).isOk() && store.deleteRecord(1, 2).isOk();
        },
        [&](const CutPoint& at) {
            restart(at);
            const std::string left = letters(1);
            EXPECT_TRUE(left == "ABCD" || left == "ACD") << at << ": " << left;
            if (at.completed) {
                EXPECT_EQ(left, "ACD") << at;
            }
        });
    report("delete one", cuts);
}

TEST_P(PowerCutTest, DeletingAllLeavesTheBoxWholeOrEmpty) {
    const int cuts = cutEverywhere(
        GetParam(),
        [&] {
            resetBoxes({{4, "ABCDE"}});
        },
        [&](base::FileSystem& fs) { return store::MailStore(data(), fs).deleteAll(4).isOk(); },
        [&](const CutPoint& at) {
            restart(at);
            const std::string left = letters(4);
            EXPECT_TRUE(left == "ABCDE" || left.empty()) << at << ": " << left;
            if (at.completed) {
                EXPECT_EQ(left, "") << at;
            }
        });
    report("delete all", cuts);
}

// Records an earlier crash left marked deleted go; the live ones stay.
TEST_P(PowerCutTest, CompactionKeepsEveryLiveMail) {
    const int cuts = cutEverywhere(
        GetParam(),
        [&] {
            resetBoxes({{kKeep, "AbCdE"}});
            store::MailStore store(data());
            for (int marked : {2, 4}) {
                ASSERT_TRUE(store.readRecord(kKeep, marked).isOk());
                ASSERT_TRUE(store.markDeleted(kKeep, marked).isOk());
            }
        },
        [&](base::FileSystem& fs) { return store::MailStore(data(), fs).compact(kKeep).isOk(); },
        [&](const CutPoint& at) {
            restart(at);  // which finishes the compaction when it finds the marks
            EXPECT_EQ(letters(kKeep), "ACE") << at;
        });
    report("compaction", cuts);
}

// A mail stored as the receive stores it: its original, then its record,
// then the box's sync. Either both stay or neither (the original of a
// record that never made it goes at start-up).
TEST_P(PowerCutTest, StoringKeepsTheOriginalBeforeTheRecord) {
    const int cuts = cutEverywhere(
        GetParam(),
        [&] {
            resetBoxes({{2, "A"}});
        },
        [&](base::FileSystem& fs) {
            store::MailStore store(data(), fs);
            const store::MailFields fields{"mail B", "B@example.jp", "date", "body B"};
            return store::Originals(data(), fs).keep(2, fields, originalOf('B')).isOk() &&
                   store.append(2, fields).isOk() && store.sync(2).isOk();
        },
        [&](const CutPoint& at) {
            restart(at);
            const std::string left = letters(2);
            EXPECT_TRUE(left == "A" || left == "AB") << at << ": " << left;
            if (at.completed) {
                EXPECT_EQ(left, "AB") << at;
            }
        });
    report("storing with its original", cuts);
}

TEST_P(PowerCutTest, AddressBookEntriesAreKeptOrNotYetWritten) {
    auto names = [&] {
        std::string found;
        const auto entries = addressbook::AddressBookFile(data()).list();
        for (const auto& entry : entries.value()) {
            found += entry.address.front();
        }
        return found;
    };
    auto reset = [&] {
        std::filesystem::remove(m_folder.dataFile(store::kAddressBookFileName));
        addressbook::AddressBookFile book(data());
        for (const char* address : {"a@example.jp", "b@example.jp", "c@example.jp"}) {
            ASSERT_TRUE(book.registerEntry("name", address).isOk());
        }
    };
    int cuts = cutEverywhere(
        GetParam(), reset,
        [&](base::FileSystem& fs) {
            return addressbook::AddressBookFile(data(), fs)
                .registerEntry("新", "d@example.jp")
                .isOk();
        },
        [&](const CutPoint& at) {
            restart(at);
            const std::string found = names();
            EXPECT_TRUE(found == "abc" || found == "abcd") << at << ": " << found;
            if (at.completed) {
                EXPECT_EQ(found, "abcd") << at;
            }
        });
    report("address-book write", cuts);
    cuts = cutEverywhere(
        GetParam(), reset,
        [&](base::FileSystem& fs) {
            return addressbook::AddressBookFile(data(), fs).deleteEntry(2).isOk();
        },
        [&](const CutPoint& at) {
            restart(at);
            const std::string found = names();
            EXPECT_TRUE(found == "abc" || found == "ac") << at << ": " << found;
            if (at.completed) {
                EXPECT_EQ(found, "ac") << at;
            }
        });
    report("address-book delete", cuts);
}

// A whole-file write leaves the old file or the new one, byte for byte,
// with its permissions; never a part, never only a temporary file.
void expectOldOrNew(const std::filesystem::path& file, const std::string& before,
                    const std::string& after, const CutPoint& at) {
    const std::string now = readBytes(file.string());
    EXPECT_TRUE(now == before || now == after)
        << at << ": " << file << " holds " << now.size() << " bytes of neither version";
    if (at.completed) {
        EXPECT_EQ(now, after) << at;
    }
}

TEST_P(PowerCutTest, SettingsFilesAreOldOrNew) {
    struct SettingsWrite {
        const char* name;
        std::filesystem::path file;
        std::function<Status(base::FileSystem&, bool newer)> write;
    };
    const settings::SortingRegistrations older{{{"taro@example.jp", "田中さん"}}};
    const settings::SortingRegistrations newer{
        {{"taro@example.jp", "田中さん"}, {"hanako@example.jp", "佐藤さん"}}};
    const std::vector<SettingsWrite> writes{
        {"corvid.ini", m_folder.serverSettingsFile(),
         [&](base::FileSystem& fs, bool isNew) {
             return settings::writeServerSettings(
                 m_folder.serverSettingsFile(),
                 {"smtp.example.jp", isNew ? "pop.example.jp:995" : "pop.example.jp",
                  "me@example.jp", 0},
                 fs);
         }},
        {"iniIdPass.ini", m_folder.accountFile(),
         [&](base::FileSystem& fs, bool isNew) {
             return settings::saveAccount(m_folder.accountFile(),
                                          {"user", isNew ? "new secret" : "old secret"}, true, fs);
         }},
        {"iniIdPass2.ini", m_folder.sortingFile(),
         [&](base::FileSystem& fs, bool isNew) {
             return settings::writeSortingRegistrations(m_folder.sortingFile(),
                                                        isNew ? newer : older, fs);
         }},
    };
    for (const SettingsWrite& write : writes) {
        std::string before;
        std::string after;
        const int cuts = cutEverywhere(
            GetParam(),
            [&] {
                std::filesystem::remove(write.file);
                ASSERT_TRUE(write.write(base::posixFileSystem(), true).isOk());
                after = readBytes(write.file.string());
                ASSERT_TRUE(write.write(base::posixFileSystem(), false).isOk());
                before = readBytes(write.file.string());
            },
            [&](base::FileSystem& fs) { return write.write(fs, true).isOk(); },
            [&](const CutPoint& at) {
                restart(at);
                expectOldOrNew(write.file, before, after, at);
                if (write.file == m_folder.accountFile()) {
                    EXPECT_EQ(base::posixFileSystem().permissions(write.file).value(), 0600u) << at;
                }
            });
        report(write.name, cuts);
    }
}

TEST_P(PowerCutTest, QuickSavesAndSavesWithHeaderAreOldOrNew) {
    const editor::HeaderFields fields{"件名", "a@example.jp", "date", "本文\r\n二行目"};
    const std::string bytes = editor::headerLinesFileBytes(fields);
    const std::filesystem::path quickSave =
        viewer::quickSavePath(m_folder.quickSaveFolder(), "件名");
    for (bool overwrite : {false, true}) {
        const int cuts = cutEverywhere(
            GetParam(),
            [&] {
                std::filesystem::remove_all(m_folder.quickSaveFolder());
                if (overwrite) {
                    ASSERT_TRUE(viewer::writeQuickSave(quickSave, "an older save").isOk());
                }
            },
            [&](base::FileSystem& fs) {
                return viewer::writeQuickSave(quickSave, bytes, fs).isOk();
            },
            [&](const CutPoint& at) {
                restart(at);
                if (!overwrite && !std::filesystem::exists(quickSave)) {
                    EXPECT_FALSE(at.completed) << at;
                    return;
                }
                expectOldOrNew(quickSave, "an older save", bytes, at);
            });
        report(overwrite ? "quick save over an older one" : "quick save", cuts);
    }
    // The editor's save with header replaces a file the user chose.
    const std::filesystem::path chosen = m_root.file("notes.txt");
    const int cuts = cutEverywhere(
        GetParam(), [&] { writeBytes(chosen.string(), "the user's text"); },
        [&](base::FileSystem& fs) {
            return base::replaceFileDurably(chosen.string(), bytes, {}, fs).isOk();
        },
        [&](const CutPoint& at) {
            const auto any = [](std::string_view) { return true; };
            EXPECT_TRUE(base::leftoverTemporaries(m_root.path(), any).empty()) << at;
            expectOldOrNew(chosen, "the user's text", bytes, at);
        });
    report("save with header", cuts);
}

INSTANTIATE_TEST_SUITE_P(BothModes, PowerCutTest,
                         ::testing::Values(PowerCut::kDropUnsynced, PowerCut::kTearUnsynced),
                         qf::testing::modeName);

}  // namespace
}  // namespace qf
