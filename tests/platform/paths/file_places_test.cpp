#include "platform/paths/file_places.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/files.h"

namespace plashwerk {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using test::writeFile;

// An environment of its own for each case: only the variables set here exist.
class Places : public ::testing::Test {
  protected:
    Environment env() {
        return [this](const char* name) -> const char* {
            const auto it = m_vars.find(name);
            return it == m_vars.end() ? nullptr : it->second.c_str();
        };
    }
    void set(const char* name, const std::string& value) { m_vars[name] = value; }
    // A program folder laid out as an installation: P/bin beside P/share/plashwerk.
    std::string installedProgram() {
        fs::create_directories(m_tmp.path() + "/usr/bin");
        fs::create_directories(m_tmp.path() + "/usr/share/plashwerk/data");
        return m_tmp.path() + "/usr/bin/";
    }
    std::string home() const { return m_tmp.path() + "/home"; }

    TempFolder m_tmp{"plashwerk_places"};
    std::map<std::string, std::string> m_vars{{"HOME", m_tmp.path() + "/home"}};
};

TEST_F(Places, PortableKeepsEveryFileBesideTheProgramOrInTheWorkingDirectory) {
    const std::string program = m_tmp.folder();      // a writable folder, no share/ beside it
    set("XDG_STATE_HOME", m_tmp.path() + "/state");  // ignored by a portable program
    const FilePlaces p = findFilePlaces(program, env());
    EXPECT_EQ(p.layout, Layout::Portable);
    EXPECT_EQ(p.options_read, program + "startup_options.xml");
    EXPECT_EQ(p.options_write, "startup_options.xml");
    EXPECT_EQ(p.trace_log_prefix, "Plashwerk_");
    EXPECT_EQ(p.monitor_log_folder, program);
    EXPECT_EQ(p.scores_csv, "./Plashwerk_Scores.csv");
    EXPECT_EQ(p.screenshot_folder, "./");
    EXPECT_TRUE(p.state_folder.empty());
    EXPECT_TRUE(p.config_folder.empty());
}

TEST_F(Places, InstalledUsesTheXdgVariables) {
    const std::string program = installedProgram();
    const std::string t = m_tmp.path();
    set("XDG_CONFIG_HOME", t + "/cfg");
    set("XDG_STATE_HOME", t + "/st/");
    set("XDG_PICTURES_DIR", t + "/pics");
    const FilePlaces p = findFilePlaces(program, env());
    EXPECT_EQ(p.layout, Layout::Installed);
    EXPECT_EQ(p.data_root, t + "/usr/share/plashwerk");
    EXPECT_EQ(p.options_read, t + "/cfg/plashwerk/startup_options.xml");
    EXPECT_EQ(p.options_write, t + "/cfg/plashwerk/startup_options.xml");
    EXPECT_EQ(p.trace_log_prefix, t + "/st/plashwerk/Plashwerk_");
    EXPECT_EQ(p.monitor_log_folder, t + "/st/plashwerk/");
    EXPECT_EQ(p.scores_csv, t + "/st/plashwerk/Plashwerk_Scores.csv");
    EXPECT_EQ(p.screenshot_folder, t + "/pics/Plashwerk/");

    const std::string text = formatFilePlaces(p, nullptr, 0);
    EXPECT_NE(text.find("layout: installed\n"), std::string::npos);
    EXPECT_NE(text.find("scores: " + t + "/st/plashwerk/Plashwerk_Scores.csv\n"),
              std::string::npos);
}

TEST_F(Places, InstalledWithoutXdgVariablesUsesTheHomeFolders) {
    const std::string program = installedProgram();
    set("XDG_CONFIG_HOME", "relative/cfg");  // the XDG rules ignore a relative path
    const FilePlaces p = findFilePlaces(program, env());
    EXPECT_EQ(p.options_read, home() + "/.config/plashwerk/startup_options.xml");
    EXPECT_EQ(p.state_folder, home() + "/.local/state/plashwerk");
    EXPECT_EQ(p.screenshot_folder, home() + "/Pictures/Plashwerk/");
}

TEST_F(Places, OptionsComeFromTheSystemFolderOnlyWhenTheUserHasNone) {
    const std::string program = installedProgram();
    const std::string t = m_tmp.path();
    set("XDG_CONFIG_HOME", t + "/cfg");
    set("XDG_CONFIG_DIRS", t + "/none:" + t + "/sys");
    writeFile(t + "/sys/plashwerk/startup_options.xml", "<plashwerk/>");
    EXPECT_EQ(findFilePlaces(program, env()).options_read,
              t + "/sys/plashwerk/startup_options.xml");
    EXPECT_EQ(findFilePlaces(program, env()).options_write,
              t + "/cfg/plashwerk/startup_options.xml");

    writeFile(t + "/cfg/plashwerk/startup_options.xml", "<plashwerk/>");
    EXPECT_EQ(findFilePlaces(program, env()).options_read,
              t + "/cfg/plashwerk/startup_options.xml");
}

// Root may write every folder: there the layout is asked in a child that has taken the
// identity of the unprivileged user (nobody), as a user who starts the program would be.
constexpr uid_t kNobody = 65534;
Layout layoutForAUser(const std::string& program) {
    if (geteuid() != 0) return layoutOf(program);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
        _exit(layoutOf(program) == Layout::Installed ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 2) << "could not become nobody";
    return WIFEXITED(status) && WEXITSTATUS(status) == 1 ? Layout::Installed : Layout::Portable;
}

TEST_F(Places, UnwritableProgramFolderCountsAsInstalled) {
    chmod(m_tmp.path().c_str(), 0755);  // the user reaches the folders below
    const std::string program = m_tmp.path() + "/ro/";
    fs::create_directories(program);
    if (geteuid() == 0) ASSERT_EQ(chown(program.c_str(), kNobody, kNobody), 0);
    chmod(program.c_str(), 0555);
    EXPECT_EQ(layoutForAUser(program), Layout::Installed);
    chmod(program.c_str(), 0755);
    EXPECT_EQ(layoutForAUser(program), Layout::Portable);
}

TEST(UserDirs, PicturesFolderInEveryFormAFileMayHold) {
    const std::string home = "/home/ann";
    EXPECT_EQ(parseUserDirsPictures("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", home),
              "/home/ann/Bilder");
    EXPECT_EQ(parseUserDirsPictures("XDG_PICTURES_DIR=$HOME/Pics\n", home), "/home/ann/Pics");
    EXPECT_EQ(parseUserDirsPictures("  XDG_PICTURES_DIR=\"/srv/pictures/\"\r\n", home),
              "/srv/pictures");
    EXPECT_EQ(parseUserDirsPictures("XDG_PICTURES_DIR=\"$HOME/My \\\"Pics\\\"\"\n", home),
              "/home/ann/My \"Pics\"");
    EXPECT_EQ(parseUserDirsPictures("XDG_PICTURES_DIR=\"$HOME\"\n", home), "/home/ann");
    // Comments, other folders, relative values and a file without the key give nothing.
    EXPECT_EQ(parseUserDirsPictures("# XDG_PICTURES_DIR=\"/x\"\nXDG_MUSIC_DIR=\"$HOME/M\"\n"
                                    "XDG_PICTURES_DIR=\"Pictures\"\n",
                                    home),
              "");
    EXPECT_EQ(parseUserDirsPictures("", home), "");
    // The last line that sets it wins, as when a shell reads the file.
    EXPECT_EQ(parseUserDirsPictures("XDG_PICTURES_DIR=\"/a\"\nXDG_PICTURES_DIR=\"/b\"\n", home),
              "/b");
}

TEST_F(Places, PicturesFolderFromVariableThenUserDirsFileThenHome) {
    const std::string t = m_tmp.path();
    set("XDG_CONFIG_HOME", t + "/cfg");
    EXPECT_EQ(picturesFolder(env()), home() + "/Pictures");
    writeFile(t + "/cfg/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n");
    EXPECT_EQ(picturesFolder(env()), home() + "/Fotos");
    set("XDG_PICTURES_DIR", t + "/elsewhere");
    EXPECT_EQ(picturesFolder(env()), t + "/elsewhere");
}

TEST_F(Places, FoldersAreMadeWithTheirModeAndAFailureSaysWhere) {
    const std::string deep = m_tmp.path() + "/a/b/c";
    std::string error;
    const mode_t old_mask = umask(022);
    ASSERT_TRUE(makeFolders(deep, 0700, error)) << error;
    umask(old_mask);
    struct stat st {};
    ASSERT_EQ(stat(deep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(makeFolders(deep, 0700, error));  // already there

    writeFile(m_tmp.path() + "/file", "x");
    EXPECT_FALSE(makeFolders(m_tmp.path() + "/file", 0700, error));
    EXPECT_NE(error.find(m_tmp.path() + "/file"), std::string::npos) << error;
    EXPECT_FALSE(makeFolders(m_tmp.path() + "/file/sub", 0700, error));
    EXPECT_NE(error.find("/file: not a folder"), std::string::npos) << error;
}

}  // namespace
}  // namespace plashwerk
