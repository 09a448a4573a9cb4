// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <cstdlib>

namespace nalvexa {

const char* const kUsage =
    "Usage: nalvexa [--headless] [--ini FILE] [--trace[=FILE]] [--help] [--version] [--] [KEYWORD]\n"
    "\n"
    "Serves a drive-configuration tool on TCP (port 12001 unless the ini file says\n"
    "otherwise) and carries its requests to one drive over the adapter KEYWORD:\n"
    "  (none), TR7100   TR7100 drive over RS-232 (the default)\n"
    "  QMR              QMR controller over RS-232\n"
    "  LVT              LVT controller over RS-232 (also any other text)\n"
    "  CAN              CANopen drives over CAN\n"
    "The keyword is compared exactly, case and blanks included. Without one the\n"
    "key \"Adapter\" of section \"SocketServer\" in the settings file names it.\n"
    "\n"
    "  --headless   run without a window (also when there is no display)\n"
    "  --ini FILE   settings file (default: $NALVEXA_INI, else\n"
#ifdef _WIN32
    "               %APPDATA%\\Nalvexa.ini)\n"
#else
    "               $XDG_CONFIG_HOME/Nalvexa.ini or ~/.config/Nalvexa.ini)\n"
#endif
    "  --trace[=FILE]  write every request, answer, frame and verdict to FILE\n"
    "               (appended; none or - for stderr); also the key \"Trace\"\n"
    "  --help       show this text\n"
    "  --version    show the version\n"
    "  --           end of the options: what follows is keyword text\n";

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--headless") {
            line.headless = true;
        } else if (a == "--help") {
            line.help = true;
        } else if (a == "--version") {
            line.version = true;
        } else if (a == "--ini") {
            if (i + 1 >= args.size()) {
                line.error = "--ini needs a file name";
                return line;
            }
            line.iniFile = args[++i];
        } else if (a.rfind("--ini=", 0) == 0) {
            line.iniFile = a.substr(6);
        } else if (a == "--trace" || a.rfind("--trace=", 0) == 0) {
            line.trace = true;
            line.traceFile = a.size() > 8 ? a.substr(8) : "";
        } else if (a == "--") {
            ++i;  // the rest is keyword text, even if it starts with "--"
            break;
        } else if (a.rfind("--", 0) == 0) {
            line.error = "unknown option " + a;
            return line;
        } else {
            break;
        }
    }
    line.keywordGiven = i < args.size();
    for (size_t k = i; k < args.size(); ++k) {
        if (k > i) line.keyword += ' ';
        line.keyword += args[k];
    }
    return line;
}

std::string ResolveIniPath(const std::string& fromCommandLine)
{
    if (!fromCommandLine.empty()) return fromCommandLine;
    if (const char* env = std::getenv("NALVEXA_INI"); env && *env) return env;
#ifdef _WIN32
    if (const char* appData = std::getenv("APPDATA"); appData && *appData) return std::string(appData) + "\\Nalvexa.ini";
#endif
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/Nalvexa.ini";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/Nalvexa.ini";
    return "Nalvexa.ini";
}

bool HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* v = std::getenv(name); v && *v) return true;
    return false;
}

}  // namespace nalvexa
