#include "store/MboxExport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "store/StoreTestSupport.h"

namespace qf::store {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

std::string decodeBase64(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        bits = (bits << 6) | static_cast<unsigned>(kAlphabet.find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

TEST(MboxExportTest, LongTextBecomesShortWordsThatSplitNoCharacter) {
    std::string subject;
    for (int i = 0; i < 40; ++i) {
        subject += "\xE6\xBC\xA2";  // 漢, three bytes
    }
    std::string encoded = encodeHeaderText(subject);
    std::string decoded;
    for (std::string word : lines(encoded)) {
        if (word.front() == ' ') {
            word.erase(0, 1);  // folding
        }
        EXPECT_LE(word.size(), 75u);
        ASSERT_THAT(word, MatchesRegex("=\\?UTF-8\\?B\\?[A-Za-z0-9+/=]+\\?="));
        std::string part = decodeBase64(word.substr(10, word.size() - 12));
        EXPECT_EQ(part.size() % 3, 0u) << "a word ends inside a character";
        decoded += part;
    }
    EXPECT_EQ(decoded, subject);
    EXPECT_EQ(encodeHeaderText("plain ascii"), "plain ascii");
}

TEST(MboxExportTest, LineBreaksInFieldsCannotAddHeaders) {
    MailFields fields{"hi\r\nBcc: victim@example.jp", "a@example.jp\nX-Evil: 1", "", "body"};
    std::string message = formatMboxMessage(fields, RecordKind::kMail);
    for (const std::string& line : lines(message)) {
        EXPECT_FALSE(line.starts_with("Bcc:") || line.starts_with("X-Evil:")) << line;
    }
    EXPECT_THAT(message, HasSubstr("Subject: hi  Bcc: victim@example.jp\n"));
}

TEST(MboxExportTest, BodyLinesLookingLikeSeparatorsAreQuoted) {
    MailFields fields{"s", "a@example.jp", "", "From me\r\n>From you\r\nFromage\r\nlast"};
    std::string message = formatMboxMessage(fields, RecordKind::kMail);
    EXPECT_THAT(message, HasSubstr("\n\n>From me\n>>From you\nFromage\nlast\n\n"));
    EXPECT_TRUE(message.starts_with("From a@example.jp Thu Jan  1 00:00:00 1970\n"));
}

TEST(MboxExportTest, DatesBecomeInternetDates) {
    EXPECT_EQ(dateHeader("Tue, 8 Dec 2026 09:00:00 +0900 (JST)"),
              "Tue, 8 Dec 2026 09:00:00 +0900 (JST)");
    EXPECT_THAT(dateHeader("2026/12/08 13:45:10"),
                MatchesRegex("Tue, 08 Dec 2026 13:45:10 [+-][0-9]{4}"));
    EXPECT_EQ(dateHeader("someday"), "someday");
}

TEST(MboxExportTest, SendHistoryNamesTheRecipient) {
    MailFields fields{"s", "\xE5\xA4\xAA\xE9\x83\x8E <taro@example.jp>", "", "b"};  // 太郎
    std::string message = formatMboxMessage(fields, RecordKind::kSent);
    EXPECT_THAT(message, HasSubstr("\nTo: =?UTF-8?B?5aSq6YOO?= <taro@example.jp>\n"));
    EXPECT_THAT(message, Not(HasSubstr("\nFrom: ")));
}

// The real file system, except that someone else creates `target` while the
// export is still writing its temporary file.
class CompetingFileSystem final : public base::FileSystem {
  public:
    explicit CompetingFileSystem(std::string target) : m_target(std::move(target)) {}

    Result<std::unique_ptr<base::File>> open(const std::string& path,
                                             base::OpenMode mode) override {
        if (path != m_target && mode == base::OpenMode::kTruncate) {
            testing::writeBytes(m_target, "written meanwhile");
        }
        return base::posixFileSystem().open(path, mode);
    }
    Result<std::unique_ptr<base::File>> createNew(const std::string& path,
                                                  std::optional<unsigned> permissions) override {
        return base::posixFileSystem().createNew(path, permissions);
    }
    Result<unsigned> permissions(const std::string& path) override {
        return base::posixFileSystem().permissions(path);
    }
    Status rename(const std::string& from, const std::string& to) override {
        return base::posixFileSystem().rename(from, to);
    }
    Status renameNoReplace(const std::string& from, const std::string& to) override {
        return base::posixFileSystem().renameNoReplace(from, to);
    }
    Status remove(const std::string& path) override { return base::posixFileSystem().remove(path); }
    Result<std::uint64_t> size(const std::string& path) override {
        return base::posixFileSystem().size(path);
    }
    Status syncFolder(const std::string& folder) override {
        return base::posixFileSystem().syncFolder(folder);
    }

  private:
    std::string m_target;
};

TEST(MboxExportTest, AFileThatAppearsDuringTheExportIsNotReplaced) {
    testing::TempFolder folder;
    MailStore store(folder.path());
    ASSERT_TRUE(store.append(6, {"s", "a@example.jp", "d", "body"}).isOk());
    const std::string target = folder.file("out.mbox");
    CompetingFileSystem fs(target);
    Status s = exportMbox(store, 6, target, /*overwrite=*/false, fs);
    EXPECT_EQ(s.code(), StatusCode::kRefused);
    EXPECT_EQ(testing::readBytes(target), "written meanwhile");
    EXPECT_FALSE(std::filesystem::exists(target + ".partial"));
}

}  // namespace
}  // namespace qf::store
