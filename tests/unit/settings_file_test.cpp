// SPDX-License-Identifier: MIT
// The settings file on a real file system: files that cannot be read, a
// byte-order mark, and replacing a file without losing it, its mode, its
// owner or its symbolic link.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_text_files.h"
#include "settings/ini_file.h"
#include "temp_dir.h"

namespace nalvexa::test {
namespace {

namespace fs = std::filesystem;

struct stat StatOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

class SettingsFile : public ::testing::Test {
protected:
    IniFile Ini(const std::string& path)
    {
        IniFile ini(path, files);
        ini.SetWriteFailureHandler([this](const std::string& text) { failures.push_back(text); });
        return ini;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(fs::path(dir.File("x")).parent_path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    PosixTextFiles files;
    std::vector<std::string> failures;
};

TEST_F(SettingsFile, AFileThatCannotBeReadIsNeitherReadNorWrittenOver)
{
    fs::create_directory(dir.File("folder.ini"));
    const std::string binary = std::string("[SocketServer]\nSocketPort=1\n") + '\0' + "x";
    const struct Case {
        std::string path, reason;
    } cases[] = {
        {dir.File("folder.ini"), "Is a directory"},
        {dir.Write("binary.ini", binary), "not a text file"},
    };
    for (const Case& c : cases) {
        IniFile ini = Ini(c.path);
        std::string reason;
        EXPECT_FALSE(ini.Readable(reason)) << c.path;
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(ini.GetString("SocketServer", "SocketPort", "12001"), "12001");
        EXPECT_FALSE(ini.WriteInt("SocketServer", "SocketPort", 12001));
        EXPECT_FALSE(ini.WriteInt("SocketServer", "Other", 2));
    }
    EXPECT_EQ(dir.Read("binary.ini"), binary);
    EXPECT_EQ(failures, (std::vector<std::string>{"cannot save settings file " + dir.File("folder.ini") + ": Is a directory",
                                                  "cannot save settings file " + dir.File("binary.ini") + ": not a text file"}))
        << "told once per file, not once per key";

    std::string reason;
    EXPECT_TRUE(Ini(dir.File("missing.ini")).Readable(reason)) << "a missing file means the defaults";
}

TEST_F(SettingsFile, AByteOrderMarkIsReadOverAndKept)
{
    IniFile ini = Ini(dir.Write("bom.ini", "\xEF\xBB\xBF[SocketServer]\r\nBindAddress=127.0.0.1\r\n"));
    EXPECT_EQ(ini.GetString("SocketServer", "BindAddress", ""), "127.0.0.1");
    ASSERT_TRUE(ini.WriteInt("SocketServer", "SocketPort", 4711));
    EXPECT_EQ(dir.Read("bom.ini"), "\xEF\xBB\xBF[SocketServer]\r\nBindAddress=127.0.0.1\r\nSocketPort=4711\r\n");
}

TEST_F(SettingsFile, NothingIsWrittenWhenNothingChanges)
{
    const std::string path = dir.Write("same.ini", "[TR7100]\nBaudRate = 9600\n");
    ::chmod(path.c_str(), 0444);
    const struct stat before = StatOf(path);
    IniFile ini = Ini(path);
    EXPECT_TRUE(ini.WriteInt("TR7100", "BaudRate", 9600)) << "the same value, written another way";
    EXPECT_TRUE(ini.WriteString("tr7100", "baudrate", "9600"));
    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was not replaced";
    EXPECT_EQ(dir.Read("same.ini"), "[TR7100]\nBaudRate = 9600\n");
    EXPECT_TRUE(failures.empty());
}

TEST_F(SettingsFile, ReplacingKeepsModeOwnerAndSymbolicLink)
{
    const std::string target = dir.Write("real.ini", "[A]\nx=1\n");
    ::chmod(target.c_str(), 0600);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    }
    fs::create_symlink("real.ini", dir.File("link.ini"));

    IniFile ini = Ini(dir.File("link.ini"));
    ASSERT_TRUE(ini.WriteString("A", "y", "2"));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.ini"))) << "still a link";
    EXPECT_EQ(dir.Read("real.ini"), "[A]\nx=1\ny=2\n");
    const struct stat st = StatOf(target);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"link.ini", "real.ini"})) << "no temporary file left";
}

TEST_F(SettingsFile, AReadOnlyFileIsNotReplacedBehindItsBack)
{
    // Its folder may be writable, and root may write anything: the file's
    // own mode says it is not to be changed.
    const std::string target = dir.Write("ro.ini", "[A]\nx=1\n");
    ::chmod(target.c_str(), 0444);
    const ino_t inode = StatOf(target).st_ino;
    IniFile ini = Ini(target);
    EXPECT_FALSE(ini.WriteString("A", "y", "3"));
    EXPECT_TRUE(ini.WriteString("A", "x", "1")) << "no change, no write";
    EXPECT_FALSE(ini.WriteString("A", "z", "4"));
    EXPECT_EQ(dir.Read("ro.ini"), "[A]\nx=1\n");
    EXPECT_EQ(StatOf(target).st_ino, inode);
    EXPECT_EQ(failures, std::vector<std::string>{"cannot save settings file " + target + ": Permission denied"}) << "once";
    EXPECT_EQ(Names(), (std::vector<std::string>{"ro.ini"}));
}

TEST_F(SettingsFile, AFullDiskLeavesTheFileAsItWasAndIsReported)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    const std::string small = dir.File("small");
    fs::create_directory(small);
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=8k"), 0);
    const std::string path = small + "/Nalvexa.ini";
    const std::string old = "[A]\nx=" + std::string(3000, 'o') + "\n";
    {
        std::ofstream(path) << old;
        std::ofstream(small + "/filler") << std::string(4096, 'f');
    }
    IniFile ini = Ini(path);
    EXPECT_FALSE(ini.WriteString("A", "long", std::string(90, 'n') + std::string(3000, 'z')));
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "cannot save settings file " + path + ": No space left on device");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(small)) ++entries;
    EXPECT_EQ(entries, 2u) << "no temporary file left";
    ::umount(small.c_str());
}

}  // namespace
}  // namespace nalvexa::test
