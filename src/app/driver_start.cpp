// SPDX-License-Identifier: MIT
#include "driver_start.h"

#include <cstdio>
#include <cstdlib>

#include "server/server_settings.h"
#include "version.h"

namespace nalvexa {

int AnswerInformationalOptions(const CommandLine& line)
{
    if (!line.error.empty()) {
        std::fprintf(stderr, "nalvexa: %s\n\n%s", line.error.c_str(), kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line.version) {
        std::printf("nalvexa %s\n", kNalvexaVersion);
        return 0;
    }
    return -1;
}

std::string OpenSettingsAndTrace(const CommandLine& line, IniFile& ini, TraceFile& trace, IUserNotifier& notifier)
{
    auto fail = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return text;
    };
    if (std::string reason; !ini.Readable(reason)) {
        // Starting on defaults would listen everywhere, open another port,
        // and save those over the user's file at the end.
        return fail("cannot read settings file " + ini.path() + ": " + reason);
    }
    ini.SetWriteFailureHandler([&notifier](const std::string& text) { notifier.message(text); });
    // The trace: the option, else the settings' "Trace" (empty: none).
    const std::string path = line.trace ? line.traceFile : ini.GetString("SocketServer", "Trace", "");
    if (line.trace || !path.empty()) {
        if (std::string reason; !trace.Open(path, reason)) return fail("cannot open trace file " + path + ": " + reason);
    }
    return {};
}

std::string ChosenAdapter::Note() const
{
    return choice.exact ? "" : "keyword \"" + keyword + "\" is no adapter keyword: the LVT adapter serves";
}

ChosenAdapter ChooseAdapter(const CommandLine& line, IniFile& ini)
{
    const std::string keyword = line.keywordGiven ? line.keyword : ReadAdapterKeyword(ini);
    return {SelectAdapter(keyword), keyword};
}

AdapterHolder& InstallAdapter(const ChosenAdapter& chosen, AdapterContext services)
{
    const char* wait = std::getenv("NALVEXA_CAN_WAIT");
    services.canWait = wait && std::string(wait) == "doubling" ? CanWait::Doubling : CanWait::Event;
    AdapterHolder& holder = AdapterHolder::instance();
    holder.set(CreateAdapter(chosen.choice.kind, services));
    holder.adapter()->SetTitle(chosen.choice.title);
    return holder;
}

}  // namespace nalvexa
