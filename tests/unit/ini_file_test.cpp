// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "settings/decimal.h"
#include "settings/ini_file.h"
#include "temp_dir.h"

namespace nalvexa::test {
namespace {

TEST(Decimal, LeadingIntegerConversion)
{
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"12abc", 12},  {"abc", 0},   {"", 0},        {"  42", 42},          {"-7", -7},
        {"+9", 9},      {"1 2", 1},   {"- 5", 0},     {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
        {"0x10", 0},    {"\t3", 3},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseLeadingInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(Decimal, WholeNumbersAsEditFieldsTakeThem)
{
    uint32_t u = 0;
    EXPECT_TRUE(ParseUnsigned("12001", u));
    EXPECT_EQ(u, 12001u);
    EXPECT_TRUE(ParseUnsigned(" 7 ", u));
    for (const char* bad : {"", "-1", "12a", "4294967296", "1 2"}) EXPECT_FALSE(ParseUnsigned(bad, u)) << bad;
    int32_t s = 0;
    EXPECT_TRUE(ParseSigned("-3", s));
    EXPECT_EQ(s, -3);
    for (const char* bad : {"", "x", "2147483648", "--1"}) EXPECT_FALSE(ParseSigned(bad, s)) << bad;
}

TEST(IniFile, ReadsWithDefaultsAndIgnoresCaseOfNames)
{
    TempDir dir;
    IniFile ini(dir.Write("a.ini", "; settings\r\n[SocketServer]\r\n  socketport = 4711 \r\n[tr7100]\r\nBAUDRATE=9600\r\n"
                                   "Quoted=\"with blanks \"\r\n"));
    EXPECT_EQ(ini.GetString("SOCKETSERVER", "SocketPort", "12001"), "4711");
    EXPECT_EQ(ini.GetInt("TR7100", "BaudRate", "19200"), 9600);
    EXPECT_EQ(ini.GetString("TR7100", "Quoted", ""), "with blanks ");
    EXPECT_EQ(ini.GetString("TR7100", "SocketPort", "none"), "none") << "keys belong to their section";
    EXPECT_EQ(ini.GetString("CAN", "X", "d"), "d");
    IniFile missing(dir.File("missing.ini"));
    EXPECT_EQ(missing.GetInt("SocketServer", "SocketPort", "12001"), 12001);
}

TEST(IniFile, ValuesAreCutTo99Characters)
{
    TempDir dir;
    std::string longValue(150, 'x');
    IniFile ini(dir.Write("a.ini", "[S]\nK=" + longValue + "\n"));
    EXPECT_EQ(ini.GetString("S", "K", "").size(), 99u);
    EXPECT_EQ(ini.GetString("S", "Other", longValue).size(), 99u);
}

TEST(IniFile, WritingAKeyKeepsEveryOtherLine)
{
    TempDir dir;
    std::string path = dir.Write("a.ini", "; keep me\n[SocketServer]\nSocketPort=1\nBindAddress=127.0.0.1\n\n[TR7100]\nBaudRate=9600\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.WriteInt("socketserver", "SOCKETPORT", 12001));
    ASSERT_TRUE(ini.WriteString("TR7100", "SerialPort", "COM2:"));
    ASSERT_TRUE(ini.WriteString("CAN", "Channel", "slcan:/dev/ttyACM0"));
    EXPECT_EQ(dir.Read("a.ini"),
              "; keep me\n[SocketServer]\nSOCKETPORT=12001\nBindAddress=127.0.0.1\n\n[TR7100]\nBaudRate=9600\n"
              "SerialPort=COM2:\n\n[CAN]\nChannel=slcan:/dev/ttyACM0\n");
}

TEST(IniFile, WritingCreatesTheFileAndItsFolderAndKeepsLineEndings)
{
    TempDir dir;
    IniFile fresh(dir.File("sub/dir/Nalvexa.ini"));
    ASSERT_TRUE(fresh.WriteInt("SocketServer", "SocketPort", 12001));
    EXPECT_EQ(dir.Read("sub/dir/Nalvexa.ini"), "[SocketServer]\nSocketPort=12001\n");

    IniFile crlf(dir.Write("w.ini", "[A]\r\nx=1\r\n"));
    ASSERT_TRUE(crlf.WriteString("A", "y", "2"));
    EXPECT_EQ(dir.Read("w.ini"), "[A]\r\nx=1\r\ny=2\r\n");
}

TEST(IniFile, EveryLineEndIsOneAndAnUnchangedFileIsNotWritten)
{
    TempDir dir;
    // Lone CRs, as an old editor writes them: three lines, not one.
    IniFile cr(dir.Write("cr.ini", "[SocketServer]\rBindAddress=127.0.0.1\rSocketPort=5\r"));
    EXPECT_EQ(cr.GetString("SocketServer", "BindAddress", ""), "127.0.0.1");
    EXPECT_EQ(cr.GetInt("SocketServer", "SocketPort", "0"), 5);
    ASSERT_TRUE(cr.WriteString("SocketServer", "KeepAlive", "10"));
    EXPECT_EQ(dir.Read("cr.ini"), "[SocketServer]\rBindAddress=127.0.0.1\rSocketPort=5\rKeepAlive=10\r");

    // No end after the last line: the same values write nothing.
    const std::string open = "[TR7100]\r\nBaudRate=9600\r\nRetryTimeout=500";
    IniFile last(dir.Write("last.ini", open));
    ASSERT_TRUE(last.WriteInt("TR7100", "RetryTimeout", 500));
    ASSERT_TRUE(last.WriteInt("TR7100", "BaudRate", 9600));
    EXPECT_EQ(dir.Read("last.ini"), open);
    ASSERT_TRUE(last.WriteInt("TR7100", "RetryTimeout", 200));
    EXPECT_EQ(dir.Read("last.ini"), "[TR7100]\r\nBaudRate=9600\r\nRetryTimeout=200");

    // A number beyond 32 bits is read as the range's end, and not written back as it.
    const std::string big = "[TR7100]\nRetryTimeout=99999999999\nMaxNoOfRetries=-99999999999\n";
    IniFile beyond(dir.Write("big.ini", big));
    const int32_t timeout = beyond.GetInt("TR7100", "RetryTimeout", "500");
    EXPECT_EQ(timeout, 2147483647);
    ASSERT_TRUE(beyond.WriteInt("TR7100", "RetryTimeout", timeout));
    ASSERT_TRUE(beyond.WriteInt("TR7100", "MaxNoOfRetries", beyond.GetInt("TR7100", "MaxNoOfRetries", "0")));
    EXPECT_EQ(dir.Read("big.ini"), big);
    ASSERT_TRUE(beyond.WriteInt("TR7100", "RetryTimeout", 200));
    EXPECT_EQ(dir.Read("big.ini"), "[TR7100]\nRetryTimeout=200\nMaxNoOfRetries=-99999999999\n");
}

}  // namespace
}  // namespace nalvexa::test
