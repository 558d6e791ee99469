// The account's password in the desktop's keyring and in the account file.
// KeyringService runs inside tests/servers/keyring_session.sh (a private
// D-Bus session with an unlocked gnome-keyring); NoKeyring runs with no bus.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "auth/AccountSecrets.h"
#include "settings/ProfileFile.h"
#include "tests/support/TempFolder.h"

namespace qf::auth {
namespace {

constexpr char kServer[] = "pop.example.org";
const settings::Account kAccount{"taro", "s3cret-pass"};

class KeyringFixture : public ::testing::Test {
  protected:
    void writeOldFile() { ASSERT_TRUE(settings::saveAccount(m_file, kAccount, true)); }
    std::string fileBytes() const { return testing::readBytes(m_file); }
    std::optional<std::string> inKeyring() {
        Result<std::optional<std::string>> found = m_keyring->lookup({kServer, kAccount.id});
        EXPECT_TRUE(found.isOk());
        return found ? found.value() : std::nullopt;
    }

    testing::TempFolder m_folder{"quillfern-keyring"};
    std::filesystem::path m_file = m_folder / "iniIdPass.ini";
    std::unique_ptr<SecretStore> m_keyring = desktopKeyring();
};

using KeyringService = KeyringFixture;
using NoKeyring = KeyringFixture;

TEST_F(KeyringService, StoresReplacesAndRemovesOneSecretPerServerAndUser) {
    ASSERT_TRUE(m_keyring->available());
    const SecretKey other{"smtp.example.org", kAccount.id};
    ASSERT_TRUE(m_keyring->store({kServer, kAccount.id}, "first", "label"));
    ASSERT_TRUE(m_keyring->store(other, "elsewhere", "label"));
    ASSERT_TRUE(m_keyring->store({kServer, kAccount.id}, "second", "label"));
    EXPECT_EQ(inKeyring(), "second");
    ASSERT_TRUE(m_keyring->remove({kServer, kAccount.id}));
    EXPECT_EQ(inKeyring(), std::nullopt);
    EXPECT_EQ(m_keyring->lookup(other).value(), "elsewhere");
    EXPECT_TRUE(m_keyring->remove({kServer, kAccount.id}));  // nothing left: still ok
}

TEST_F(KeyringService, PasswordMovedFromFileIsInTheKeyringOnly) {
    writeOldFile();
    ASSERT_NE(fileBytes().find(kAccount.password), std::string::npos);
    EXPECT_EQ(findAccount(m_file, *m_keyring, kServer).source, SecretSource::kFile);

    ASSERT_TRUE(movePasswordToKeyring(m_file, *m_keyring, kServer));
    EXPECT_EQ(fileBytes().find(kAccount.password), std::string::npos);
    EXPECT_EQ(inKeyring(), kAccount.password);
    const FoundAccount found = findAccount(m_file, *m_keyring, kServer);
    EXPECT_EQ(found.account, kAccount);
    EXPECT_EQ(found.source, SecretSource::kKeyring);
    EXPECT_TRUE(settings::accountKept(m_file));
}

TEST_F(KeyringService, KeepingInOnePlaceRemovesTheOther) {
    ASSERT_TRUE(keepAccount(m_file, *m_keyring, kServer, kAccount, SecretPlace::kKeyring));
    EXPECT_EQ(inKeyring(), kAccount.password);
    EXPECT_EQ(fileBytes().find(kAccount.password), std::string::npos);
    EXPECT_EQ(settings::readAccount(m_file).id, kAccount.id);

    ASSERT_TRUE(keepAccount(m_file, *m_keyring, kServer, kAccount, SecretPlace::kFile));
    EXPECT_EQ(inKeyring(), std::nullopt);
    EXPECT_EQ(settings::readAccount(m_file), kAccount);

    ASSERT_TRUE(keepAccount(m_file, *m_keyring, kServer, kAccount, SecretPlace::kAskEachStart));
    EXPECT_EQ(inKeyring(), std::nullopt);
    EXPECT_EQ(findAccount(m_file, *m_keyring, kServer).source, SecretSource::kNone);
}

TEST_F(NoKeyring, FileKeepsThePasswordWhenTheKeyringCannotTakeIt) {
    EXPECT_FALSE(m_keyring->available());
    writeOldFile();
    const std::string before = fileBytes();
    EXPECT_FALSE(movePasswordToKeyring(m_file, *m_keyring, kServer));
    EXPECT_FALSE(keepAccount(m_file, *m_keyring, kServer, {"taro", "new"}, SecretPlace::kKeyring));
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(findAccount(m_file, *m_keyring, kServer).account, kAccount);
}

TEST_F(NoKeyring, AskingAtEachStartLeavesTheIdAndNoSecret) {
    writeOldFile();
    ASSERT_TRUE(keepAccount(m_file, *m_keyring, kServer, kAccount, SecretPlace::kAskEachStart));
    EXPECT_EQ(fileBytes().find(kAccount.password), std::string::npos);
    const FoundAccount found = findAccount(m_file, *m_keyring, kServer);
    EXPECT_EQ(found.account.id, kAccount.id);
    EXPECT_TRUE(found.account.password.empty());
    struct stat info {};
    ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace qf::auth
