// SPDX-License-Identifier: MIT
// The settings file as the service finds it (unreadable, with a byte-order
// mark, read-only, a link, on a full disk), the signals that end the driver,
// and what the command line refuses.
#include <csignal>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

namespace fs = std::filesystem;

struct stat StatOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

class Settings : public DriverFixture {
protected:
    // The driver on `path`, as `user` (empty: this process's user); its exit status.
    int RunUntilEnd(const std::string& path, const std::string& user = "", std::vector<std::string> more = {})
    {
        std::vector<std::string> argv;
        // setpriv runs the driver itself (no session around it), so signals reach it.
        if (!user.empty()) argv = {"/usr/bin/setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups", "--"};
        argv.insert(argv.end(), {DriverProgram(), "--headless", "--ini", path});
        argv.insert(argv.end(), more.begin(), more.end());
        driver = std::make_unique<Process>(argv);
        if (!driver->WaitForLine("listening on port ", 3000).empty()) driver->Signal(SIGTERM);
        return driver->Wait(5000);
    }
    static constexpr const char* kServer = "[SocketServer]\nSocketPort=0\nBindAddress=127.0.0.1\n";
};

TEST_F(Settings, AFileThatCannotBeReadStopsTheStartAndIsLeftAlone)
{
    fs::create_directory(dir + "/folder.ini");
    const std::string binary = std::string(kServer) + '\0';
    WriteFile(dir + "/binary.ini", binary);
    struct Case {
        std::string path, reason, user;
    } cases[] = {
        {dir + "/folder.ini", "Is a directory", ""},
        {dir + "/binary.ini", "not a text file", ""},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    if (::geteuid() == 0) {
        WriteFile(dir + "/private.ini", kServer);
        ::chmod((dir + "/private.ini").c_str(), 0600);
        ::chmod(dir.c_str(), 0755);
        all.push_back({dir + "/private.ini", "Permission denied", "65534"});
    }
    for (const Case& c : all) {
        EXPECT_EQ(RunUntilEnd(c.path, c.user), 1) << c.path;
        EXPECT_TRUE(driver->WaitForError("cannot read settings file " + c.path + ": " + c.reason + "\n", 100))
            << driver->err();
        EXPECT_EQ(driver->out(), "") << "it never listened";
    }
    EXPECT_EQ(ReadFile(dir + "/binary.ini"), binary);
    if (::geteuid() == 0) {
        EXPECT_EQ(ReadFile(dir + "/private.ini"), kServer);
    }
}

TEST_F(Settings, AByteOrderMarkHidesNothing)
{
    const std::string path = dir + "/bom.ini";
    WriteFile(path, "\xEF\xBB\xBF[SocketServer]\nSocketPort=0\nBindAddress=127.0.0.2\n");
    driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless", "--ini", path});
    const std::string line = driver->WaitForLine("listening on port ");
    ASSERT_FALSE(line.empty()) << driver->err();
    const uint16_t port = static_cast<uint16_t>(std::stoi(line.substr(18)));
    EXPECT_TRUE(Client(port, "127.0.0.2").connected());
    EXPECT_FALSE(Client(port, "127.0.0.1").connected()) << "BindAddress was read";
    driver->Signal(SIGTERM);
    EXPECT_EQ(driver->Wait(), 0);
    EXPECT_EQ(ReadFile(path).substr(0, 3), "\xEF\xBB\xBF");
}

TEST_F(Settings, ASavedFileKeepsModeOwnerAndLinkAndAnUnchangedOneIsNotWritten)
{
    const std::string target = dir + "/real.ini";
    WriteFile(target, kServer);
    ::chmod(target.c_str(), 0640);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    }
    fs::create_symlink("real.ini", dir + "/Nalvexa.ini");
    EXPECT_EQ(RunUntilEnd(dir + "/Nalvexa.ini"), 0) << driver->err();
    EXPECT_TRUE(fs::is_symlink(dir + "/Nalvexa.ini"));
    const std::string saved = ReadFile(target);
    EXPECT_NE(saved.find("MaxNoOfRetries=0\n"), std::string::npos) << saved;
    EXPECT_EQ(StatOf(target).st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(StatOf(target).st_uid, 65534u);
    }
    EXPECT_EQ(fs::directory_iterator(dir) == fs::directory_iterator(), false);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 2u) << "no temporary file left";

    // Now nothing changes: a file the service may not write serves all the same.
    if (root) {
        ::chmod(target.c_str(), 0444);
        ASSERT_EQ(::chown(target.c_str(), 0, 0), 0);
        ::chmod(dir.c_str(), 0755);
        const ino_t inode = StatOf(target).st_ino;
        EXPECT_EQ(RunUntilEnd(target, "65534"), 0) << driver->err();
        EXPECT_EQ(driver->err().find("cannot save"), std::string::npos) << driver->err();
        EXPECT_EQ(StatOf(target).st_ino, inode);
        EXPECT_EQ(ReadFile(target), saved);
    }
}

TEST_F(Settings, ASaveThatFailsIsReportedAndLeavesTheFileAsItWas)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    const std::string small = dir + "/small";
    fs::create_directory(small);
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=8k"), 0);
    const std::string path = small + "/Nalvexa.ini";
    const std::string old = std::string(kServer) + "; " + std::string(3000, 'x') + "\n";
    WriteFile(path, old);
    WriteFile(small + "/filler", std::string(4096, 'f'));
    EXPECT_EQ(RunUntilEnd(path), 0);
    EXPECT_TRUE(driver->WaitForError("cannot save settings file " + path + ": No space left on device\n", 100))
        << driver->err();
    EXPECT_EQ(ReadFile(path), old);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(small)) ++files;
    EXPECT_EQ(files, 2u) << "no temporary file left";
    ::umount(small.c_str());
}

TEST_F(Settings, SighupAndSigquitSaveAndEndLikeSigterm)
{
    for (int signal : {SIGHUP, SIGQUIT}) {
        const std::string path = dir + "/s" + std::to_string(signal) + ".ini";
        WriteFile(path, kServer);
        driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless", "--ini", path});
        ASSERT_FALSE(driver->WaitForLine("listening on port ").empty());
        driver->Signal(signal);
        EXPECT_EQ(driver->Wait(), 0) << signal;
        EXPECT_NE(ReadFile(path).find("RetryTimeout=500\n"), std::string::npos) << signal;
        EXPECT_NE(driver->err().find("closing the driver on a signal\n"), std::string::npos) << driver->err();
        EXPECT_EQ(driver->err().find("Are you sure"), std::string::npos) << "nothing was asked";
    }
}

TEST_F(Settings, TheCommandLineRefusesWhatItDoesNotKnowAndSaysWhatServes)
{
    driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--bogus", "TR7100"});
    EXPECT_EQ(driver->Wait(), 2);
    EXPECT_TRUE(driver->WaitForError("nalvexa: unknown option --bogus\n\nUsage: nalvexa", 100)) << driver->err();

    WriteFile(dir + "/k.ini", kServer);
    driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless", "--ini", dir + "/k.ini", "tr7100"});
    EXPECT_FALSE(driver->WaitForLine("listening on port ").empty());
    EXPECT_NE(driver->out().find("Quarlin Axtelo 4.0 - LVT Driver\n"
                                 "keyword \"tr7100\" is no adapter keyword: the LVT adapter serves\n"),
              std::string::npos)
        << driver->out();
}

TEST_F(Settings, TheSettingsNameTheAdapterWhenTheCommandLineDoesNot)
{
    WriteFile(dir + "/axis1.ini", std::string(kServer) + "Adapter=QMR\n");
    driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless", "--ini", dir + "/axis1.ini"});
    EXPECT_FALSE(driver->WaitForLine("listening on port ").empty());
    EXPECT_EQ(driver->out().substr(0, 33), "Quarlin Axtelo 3.02 - QMR Driver\n");
    driver = std::make_unique<Process>(
        std::vector<std::string>{DriverProgram(), "--headless", "--ini", dir + "/axis1.ini", "CAN"});
    EXPECT_FALSE(driver->WaitForLine("listening on port ").empty());
    EXPECT_EQ(driver->out().substr(0, 33), "Quarlin Axtelo 3.02 - CAN Driver\n") << "the command line comes first";
}

TEST_F(Settings, APortThatCannotBeListenedOnSaysWhereAndWhy)
{
    WriteFile(dir + "/a.ini", kServer);
    auto first = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless", "--ini", dir + "/a.ini"});
    const std::string line = first->WaitForLine("listening on port ");
    ASSERT_FALSE(line.empty());
    const std::string port = line.substr(18);
    WriteFile(dir + "/b.ini", "[SocketServer]\nSocketPort=" + port + "\nBindAddress=127.0.0.1\n");
    driver = std::make_unique<Process>(std::vector<std::string>{DriverProgram(), "--headless", "--ini", dir + "/b.ini"});
    EXPECT_EQ(driver->Wait(), 1);
    EXPECT_TRUE(driver->WaitForError("cannot listen on 127.0.0.1:" + port + ": Address already in use\n", 100))
        << driver->err();
}

}  // namespace
}  // namespace nalvexa::it
