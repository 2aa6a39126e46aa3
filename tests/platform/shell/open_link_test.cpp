// The link opener hands the address to the opener program as one argument, untouched by
// any shell, and a missing program is a quiet failure.
#include "platform/shell/open_link.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/support/files.h"

namespace plashwerk {
namespace {

class LinkOpener : public ::testing::Test {
  protected:
    void SetUp() override {
        // Stands in for xdg-open: writes its argument count and each argument on a line.
        opener = dir + "/record-args";
        std::ofstream(opener) << "#!/bin/sh\n"
                              << "out='" << dir << "/args'\n"
                              << "printf '%s\\n' \"$#\" > \"$out\"\n"
                              << "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out\"; done\n";
        chmod(opener.c_str(), 0755);
    }
    test::TempFolder folder{"plashwerk_links"};
    std::string dir = folder.path();
    std::string opener;
};

TEST_F(LinkOpener, TheAddressIsOneArgumentThatNoShellReads) {
    const std::string url =
        "http://localhost/redirect?id=302&entry=7 $(touch " + dir + "/ran); echo 'x' `id` \"q\"";
    const pid_t pid = startLinkOpener(url, opener.c_str());
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::slurp(dir + "/args"), "1\n" + url + "\n");
    struct stat info {};
    EXPECT_NE(stat((dir + "/ran").c_str(), &info), 0) << "a shell ran the address";
}

TEST_F(LinkOpener, AMissingOpenerOrAnEmptyAddressOpensNothing) {
    EXPECT_EQ(startLinkOpener("http://localhost/", "plashwerk-no-such-opener"), -1);
    EXPECT_FALSE(openLink("http://localhost/", "plashwerk-no-such-opener"));
    EXPECT_EQ(startLinkOpener("http://localhost/", ""), -1);
    EXPECT_FALSE(openLink("", opener.c_str()));
    struct stat info {};
    EXPECT_NE(stat((dir + "/args").c_str(), &info), 0) << "the opener ran for an empty address";
}

}  // namespace
}  // namespace plashwerk
