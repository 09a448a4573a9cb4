// SPDX-License-Identifier: MIT
// What every build of the driver does before its loop runs: the command
// line's informational options, the settings file, the trace, the adapter.
#pragma once

#include <string>

#include "adapters/adapter_context.h"
#include "adapters/adapter_selection.h"
#include "can/can_driver.h"
#include "command_line.h"
#include "server/adapter_holder.h"
#include "settings/ini_file.h"
#include "trace_file.h"

namespace nalvexa {

// Help, version or a usage error: printed, and the exit status; -1 when the program goes on.
int AnswerInformationalOptions(const CommandLine& line);

// The settings file must be readable, and a trace asked for must open: the
// reason, said on stderr, when the program must end with 1; else empty. The
// settings' write failures are told to `notifier`.
std::string OpenSettingsAndTrace(const CommandLine& line, IniFile& ini, TraceFile& trace, IUserNotifier& notifier);

struct ChosenAdapter {
    AdapterChoice choice;
    std::string keyword;
    // The line printed after the title when the keyword named no adapter.
    std::string Note() const;
};
// The command line's keyword, else the settings' (so that a service instance
// is named after its drive, not its kind).
ChosenAdapter ChooseAdapter(const CommandLine& line, IniFile& ini);

// The chosen adapter, made on the platform's services and titled, in the
// holder the server serves from. The CAN answer wait is the old polling one
// when NALVEXA_CAN_WAIT=doubling (to compare them).
AdapterHolder& InstallAdapter(const ChosenAdapter& chosen, AdapterContext services);

}  // namespace nalvexa
