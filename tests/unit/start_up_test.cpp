// SPDX-License-Identifier: MIT
// The command line and the choice of the adapter.
#include <gtest/gtest.h>

#include <cstdlib>

#include "adapters/adapter_selection.h"
#include "command_line.h"
#include "serial_line.h"

namespace nalvexa {
namespace {

TEST(AdapterSelection, KeywordsAreComparedExactly)
{
    struct Case {
        const char* text;
        AdapterKind kind;
        const char* title;
    } cases[] = {
        {"", AdapterKind::Tr7100, "Quarlin Axtelo 3.02 - TR7100 Driver"},
        {"TR7100", AdapterKind::Tr7100, "Quarlin Axtelo 3.02 - TR7100 Driver"},
        {"QMR", AdapterKind::Qmr, "Quarlin Axtelo 3.02 - QMR Driver"},
        {"LVT", AdapterKind::Lvt, "Quarlin Axtelo 4.0 - LVT Driver"},
        {"CAN", AdapterKind::Can, "Quarlin Axtelo 3.02 - CAN Driver"},
        {"tr7100", AdapterKind::Lvt, "Quarlin Axtelo 4.0 - LVT Driver"},
        {"TR7100 ", AdapterKind::Lvt, "Quarlin Axtelo 4.0 - LVT Driver"},
        {"\"TR7100\"", AdapterKind::Lvt, "Quarlin Axtelo 4.0 - LVT Driver"},
        {"CAN QMR", AdapterKind::Lvt, "Quarlin Axtelo 4.0 - LVT Driver"},
    };
    for (const Case& c : cases) {
        AdapterChoice choice = SelectAdapter(c.text);
        EXPECT_EQ(choice.kind, c.kind) << '"' << c.text << '"';
        EXPECT_STREQ(choice.title, c.title) << '"' << c.text << '"';
        EXPECT_EQ(choice.exact, c.kind != AdapterKind::Lvt || std::string(c.text) == "LVT") << '"' << c.text << '"';
    }
}

TEST(CommandLine, OptionsOnlyBeforeTheKeywordText)
{
    CommandLine a = ParseCommandLine({"--headless", "--ini", "x.ini", "QMR"});
    EXPECT_TRUE(a.headless);
    EXPECT_EQ(a.iniFile, "x.ini");
    EXPECT_EQ(a.keyword, "QMR");

    CommandLine b = ParseCommandLine({"CAN", "--headless"});
    EXPECT_FALSE(b.headless);
    EXPECT_EQ(b.keyword, "CAN --headless");

    CommandLine c = ParseCommandLine({"--ini"});
    EXPECT_FALSE(c.error.empty());

    CommandLine d = ParseCommandLine({"--version", "--ini=y.ini"});
    EXPECT_TRUE(d.version);
    EXPECT_EQ(d.iniFile, "y.ini");
    EXPECT_EQ(d.keyword, "");

    EXPECT_EQ(ParseCommandLine({"TR7100", "", "x"}).keyword, "TR7100  x") << "joined by single blanks";

    CommandLine e = ParseCommandLine({"--bogus", "TR7100"});
    EXPECT_EQ(e.error, "unknown option --bogus") << "not the LVT keyword \"--bogus TR7100\"";
    EXPECT_FALSE(ParseCommandLine({"--headles"}).error.empty());
    EXPECT_EQ(ParseCommandLine({"--", "--odd"}).keyword, "--odd");
    EXPECT_EQ(ParseCommandLine({"QMR", "--bogus"}).keyword, "QMR --bogus") << "after the keyword, all is text";
}

#ifdef _WIN32
void SetEnv(const char* name, const char* value) { ::_putenv_s(name, value); }
void UnsetEnv(const char* name) { ::_putenv_s(name, ""); }
#else
void SetEnv(const char* name, const char* value) { ::setenv(name, value, 1); }
void UnsetEnv(const char* name) { ::unsetenv(name); }
#endif

TEST(CommandLine, IniFileComesFromTheOptionTheEnvironmentOrTheConfigFolder)
{
    SetEnv("NALVEXA_INI", "/tmp/env.ini");
    EXPECT_EQ(ResolveIniPath("given.ini"), "given.ini");
    EXPECT_EQ(ResolveIniPath(""), "/tmp/env.ini");
    UnsetEnv("NALVEXA_INI");
#ifdef _WIN32
    SetEnv("APPDATA", "C:\\Users\\u\\AppData\\Roaming");
    EXPECT_EQ(ResolveIniPath(""), "C:\\Users\\u\\AppData\\Roaming\\Nalvexa.ini");
#else
    SetEnv("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(ResolveIniPath(""), "/cfg/Nalvexa.ini");
    UnsetEnv("XDG_CONFIG_HOME");
    SetEnv("HOME", "/home/u");
    EXPECT_EQ(ResolveIniPath(""), "/home/u/.config/Nalvexa.ini");
#endif
}

TEST(SerialDevicePath, ComNamesMapToTheSystemsSerialPorts)
{
#ifdef _WIN32
    EXPECT_EQ(SerialDevicePath("COM1:"), "\\\\.\\COM1");
    EXPECT_EQ(SerialDevicePath("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(SerialDevicePath("\\\\.\\COM10"), "\\\\.\\COM10");
    EXPECT_EQ(SerialDevicePath("COMx:"), "COMx:");
#else
    EXPECT_EQ(SerialDevicePath("COM1:"), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath("COM254:"), "/dev/ttyS253");
    EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(SerialDevicePath("COM0:"), "COM0:");
    EXPECT_EQ(SerialDevicePath("COM1"), "COM1");
    EXPECT_EQ(SerialDevicePath("COMx:"), "COMx:");
#endif
}

}  // namespace
}  // namespace nalvexa
