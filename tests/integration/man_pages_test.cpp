// SPDX-License-Identifier: MIT
// The manual pages name every option the programs' --help names, and no other.
#include <regex>
#include <set>

#include "driver_fixture.h"

namespace nalvexa::it {
namespace {

std::set<std::string> Options(std::string text)
{
    // troff writes a minus as \-
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    std::set<std::string> options;
    const std::regex option(R"((^|[^A-Za-z0-9-])(--[a-z][a-z-]*|--)(?![A-Za-z0-9]))");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) options.insert((*it)[2]);
    return options;
}

// The sections of a manual page whose title names options.
std::string OptionSections(const std::string& page)
{
    std::string kept;
    bool in = false;
    size_t at = 0;
    while (at < page.size()) {
        size_t end = page.find('\n', at);
        if (end == std::string::npos) end = page.size();
        const std::string line = page.substr(at, end - at);
        if (line.rfind(".SH", 0) == 0) in = line.find("OPTIONS") != std::string::npos;
        else if (in) kept += line + "\n";
        at = end + 1;
    }
    return kept;
}

std::string Help(const std::string& program)
{
    Process p({program, "--help"});
    p.Wait(5000);
    return p.out();
}

TEST(ManPages, NameEveryOptionOfTheProgramsHelp)
{
    const std::string man = std::string(NALVEXA_SOURCE_DIR) + "/packaging/man/";
    const struct Case {
        std::string program, page;
    } cases[] = {
        {NALVEXA_BIN, "nalvexa.8"},
        {NALVEXA_BIN, "nalvexa-gui.1"},
        {NALVEXA_CLIENT_BIN, "nalvexa-client.1"},
        {NALVEXA_CAN_BIN, "nalvexa-can.1"},
        {NALVEXA_SIM_BIN, "nalvexa-sim.1"},
    };
    for (const Case& c : cases) {
        const std::set<std::string> help = Options(Help(c.program));
        EXPECT_GE(help.size(), 3u) << c.program;
        EXPECT_EQ(Options(OptionSections(ReadFile(man + c.page))), help) << c.page;
    }
}

}  // namespace
}  // namespace nalvexa::it
