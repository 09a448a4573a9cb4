// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace nalvexa {

struct CommandLine {
    bool headless = false;
    bool help = false;
    bool version = false;
    std::string iniFile;   // empty: the environment or the user's configuration folder
    bool trace = false;     // --trace given
    std::string traceFile;  // its file; empty or "-": stderr
    std::string keyword;   // the rest of the arguments joined by single blanks
    bool keywordGiven = false;  // there was keyword text (even empty) on the command line
    std::string error;     // set when the options cannot be used
};

// Options count only before the keyword text; from the first other argument
// on, everything is keyword text.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// --ini, else $NALVEXA_INI, else Nalvexa.ini in the user's configuration folder:
// %APPDATA% on Windows, $XDG_CONFIG_HOME or ~/.config elsewhere.
std::string ResolveIniPath(const std::string& fromCommandLine);

// A display to show a window on.
bool HasDisplay();

extern const char* const kUsage;

}  // namespace nalvexa
