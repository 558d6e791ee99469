#include "attachments/ModulePlace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempFolder.h"

namespace qf::attachments {
namespace {

using qf::testing::TempFolder;

// A module others could swap would run their code in the program: each
// part of the path counts, a sticky folder (such as /tmp) aside.
TEST(CheckCodeFileTest, OnlyAModuleNoOneElseCanChangeIsLoaded) {
    TempFolder temp("qf-module");
    const std::filesystem::path folder = temp / "lib";
    std::filesystem::create_directory(folder);
    const std::filesystem::path module = folder / kWebViewModuleName;
    qf::testing::writeBytes(module, "module");
    ::chmod(folder.c_str(), 0755);
    ::chmod(module.c_str(), 0644);
    EXPECT_TRUE(checkCodeFile(module).isOk()) << checkCodeFile(module).message();
    EXPECT_EQ(checkCodeFile(folder / "absent.so").code(), StatusCode::kNotFound);

    ::chmod(module.c_str(), 0666);
    Status refused = checkCodeFile(module);
    EXPECT_EQ(refused.code(), StatusCode::kRefused);
    EXPECT_EQ(refused.message(), module.string() + ": writable by every user");
    ::chmod(module.c_str(), 0644);

    ::chmod(folder.c_str(), 0777);
    refused = checkCodeFile(module.string());
    EXPECT_EQ(refused.message(), folder.string() + ": writable by every user");
    ::chmod(folder.c_str(), 01777);
    EXPECT_TRUE(checkCodeFile(module).isOk());
    ::chmod(folder.c_str(), 0755);

    // Reached through a link, the file the link leads to is judged.
    const std::filesystem::path link = temp / "link.so";
    std::filesystem::create_symlink(module, link);
    ::chmod(module.c_str(), 0666);
    EXPECT_EQ(checkCodeFile(link).code(), StatusCode::kRefused);
    ::chmod(module.c_str(), 0644);

    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(module.c_str(), 65534, 65534), 0);
        EXPECT_EQ(checkCodeFile(module).message(), module.string() + ": owned by user 65534");
    }
}

}  // namespace
}  // namespace qf::attachments
