// The sign-in and the token's life against the local provider of
// tests/servers/oauth_provider.py, the browser played by the test.
#include <gtest/gtest.h>

#include <latch>
#include <mutex>
#include <thread>

#include "auth/OAuthAccount.h"
#include "auth/Pkce.h"
#include "tests/support/LocalProvider.h"

namespace qf::auth {
namespace {

TEST(Pkce, ChallengeIsTheS256OfTheVerifier) {
    // The example of RFC 7636, appendix B.
    EXPECT_EQ(codeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    EXPECT_EQ(randomUrlSafe().size(), 43u);
    EXPECT_NE(randomUrlSafe(), randomUrlSafe());
}

TEST(TokenAnswer, MembersAreReadPastNestedValuesAndEscapes) {
    const std::string json =
        R"({"scope":["a","b"],"x":{"access_token":"no"},"access_token":"at-\"1\"","expires_in": 3599 })";
    EXPECT_EQ(jsonMember(json, "access_token"), "at-\"1\"");
    EXPECT_EQ(jsonMember(json, "expires_in"), "3599");
    EXPECT_EQ(jsonMember(json, "refresh_token"), "");
    EXPECT_EQ(jsonMember("not json", "access_token"), "");
}

class SignIn : public ::testing::Test {
  protected:
    OAuthProvider provider() const {
        OAuthProvider p;
        p.authorizeUrl = m_server.url("/authorize");
        p.tokenUrl = m_server.url("/token");
        p.scope = "mail";
        p.clientId = "quillfern-test-client";
        return p;
    }
    OAuthAccount account() {
        return OAuthAccount(provider(),
                            {[this] { return m_kept; },
                             [this](const std::string& token) {
                                 m_kept = token;
                                 return Status::ok();
                             }},
                            [this] { return m_now; });
    }
    Status signIn(OAuthAccount& a) {
        return a.signIn("taro@example.org", m_browser.opener(), m_cancelled,
                        std::chrono::seconds(20));
    }

    testing::LocalProvider m_server;
    testing::TestBrowser m_browser;
    std::atomic<bool> m_cancelled{false};
    std::string m_kept;
    std::int64_t m_now = OAuthAccount::systemSeconds();
};

TEST_F(SignIn, BrowserRedirectGivesTokensAndKeepsTheRefreshToken) {
    ASSERT_GT(m_server.port(), 0);
    OAuthAccount a = account();
    ASSERT_TRUE(signIn(a));
    EXPECT_NE(m_browser.opened().find("login_hint=taro%40example.org"), std::string::npos);
    EXPECT_NE(m_browser.page().find("Signed in"), std::string::npos);
    EXPECT_TRUE(m_kept.starts_with("rt-"));
    Result<std::string> token = a.accessToken();
    ASSERT_TRUE(token);
    EXPECT_TRUE(token.value().starts_with("at-"));
    EXPECT_NE(m_server.stats().find("\"refreshes\": 0"), std::string::npos);
}

TEST_F(SignIn, AccessTokenIsRefreshedBeforeExpiryAndAfterARefusal) {
    OAuthAccount a = account();
    ASSERT_TRUE(signIn(a));
    const std::string first = a.accessToken().value();
    const std::string firstRefresh = m_kept;
    m_now += 3600 - kRefreshMarginSeconds + 1;  // within the margin of its hour
    const std::string second = a.accessToken().value();
    EXPECT_NE(second, first);
    EXPECT_NE(m_kept, firstRefresh);  // the rotated refresh token is the one kept
    a.tokenRefused();
    EXPECT_NE(a.accessToken().value(), second);
    EXPECT_NE(m_server.stats().find("\"refreshes\": 2"), std::string::npos);
}

TEST_F(SignIn, RefusedRefreshOrNoneKeptMeansSignInAgain) {
    OAuthAccount never = account();
    EXPECT_TRUE(needsSignIn(never.accessToken().status()));

    OAuthAccount a = account();
    ASSERT_TRUE(signIn(a));
    m_server.admin("revoke");
    a.tokenRefused();
    const Status refused = a.accessToken().status();
    EXPECT_EQ(refused.code(), StatusCode::kRefused);
    EXPECT_NE(refused.message().find("invalid_grant"), std::string::npos);
    EXPECT_EQ(refused.message().find("rt-"), std::string::npos);  // no secret in the text
}

// The receive job and a send may want a token at the same moment. The
// provider rotates refresh tokens: two refreshes with the same one would
// end in a refusal, that is in "sign in again".
TEST_F(SignIn, TwoThreadsAskingAtOnceShareOneRefresh) {
    std::mutex keptMutex;
    OAuthAccount a(provider(), {[&] {
                                    // A keyring answers over D-Bus: slow enough for both to ask.
                                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                    const std::lock_guard lock(keptMutex);
                                    return m_kept;
                                },
                                [&](const std::string& token) {
                                    const std::lock_guard lock(keptMutex);
                                    m_kept = token;
                                    return Status::ok();
                                }});
    ASSERT_TRUE(signIn(a));
    a.tokenRefused();
    std::latch ready(2);
    Result<std::string> answers[2] = {Status::ioError("not asked"), Status::ioError("not asked")};
    std::thread jobs[2];
    for (int i = 0; i < 2; ++i) {
        jobs[i] = std::thread([&, i] {
            ready.arrive_and_wait();
            answers[i] = a.accessToken();
        });
    }
    for (std::thread& job : jobs) {
        job.join();
    }
    ASSERT_TRUE(answers[0]) << answers[0].status().message();
    ASSERT_TRUE(answers[1]) << answers[1].status().message();
    EXPECT_EQ(answers[0].value(), answers[1].value());
    EXPECT_NE(m_server.stats().find("\"refreshes\": 1"), std::string::npos);
}

TEST_F(SignIn, DeclinedConsentAndStrangersOnTheLoopbackPortGiveNoToken) {
    m_server.admin("deny");
    OAuthAccount a = account();
    const Status declined = signIn(a);
    EXPECT_EQ(declined.code(), StatusCode::kRefused);
    EXPECT_NE(declined.message().find("access_denied"), std::string::npos);
    EXPECT_TRUE(m_kept.empty());

    // A request without the sign-in's state does not end the wait.
    OAuthAccount b = account();
    std::thread stray;
    const Status stranger = b.signIn(
        "",
        [&stray](const std::string& url) {
            const std::size_t at = url.find("redirect_uri=") + 13;
            char* plain = curl_easy_unescape(
                nullptr, url.substr(at, url.find('&', at) - at).c_str(), 0, nullptr);
            stray = std::thread([redirect = std::string(plain)] {
                testing::LocalProvider::fetch(redirect + "?code=forged&state=guess", false);
            });
            curl_free(plain);
            return Status::ok();
        },
        m_cancelled, std::chrono::seconds(2));
    stray.join();
    EXPECT_EQ(stranger.code(), StatusCode::kTimedOut);
    EXPECT_TRUE(m_kept.empty());
}

}  // namespace
}  // namespace qf::auth
