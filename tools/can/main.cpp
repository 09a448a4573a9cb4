// SPDX-License-Identifier: MIT
// nalvexa-can: commissioning CANopen drives from the command line, with the
// driver's own SDO, NMT and LSS code and CAN back ends.
#include <asio/io_context.hpp>
#include <cstdio>
#include <string>
#include <vector>

#include "can/adapter_can.h"
#include "can_commands.h"
#include "can_options.h"
#include "channel_can_library.h"
#include "command_line.h"
#include "interface_bitrate.h"
#include "overlay_text_files.h"
#include "posix_text_files.h"
#include "asio_can_watch.h"
#include "asio_services.h"
#include "version.h"

using namespace nalvexa;
using namespace nalvexa::cantool;

namespace {

int UsageError(const std::string& error)
{
    std::fprintf(stderr, "nalvexa-can: %s\nTry 'nalvexa-can --help'.\n", error.c_str());
    return 2;
}

// The command line's choices, over the settings file's, in memory only.
void Override(IniFile& ini, const Options& o)
{
    if (o.channel) ini.WriteString("CAN", "Channel", *o.channel);
    if (o.kbit) ini.WriteInt("CAN", "CANBaudRate", can::FindBitRate(*o.kbit)->btr);
    if (o.node) {
        ini.WriteInt("CAN", "NodeIdentifier", *o.node);
        ini.WriteInt("CAN", "SdoTransmitCobId", 0x600 + *o.node);
        ini.WriteInt("CAN", "SdoReceiveCobId", 0x580 + *o.node);
    }
    ini.WriteInt("CAN", "ReopenInterval", 0);  // a command fails rather than waits for a channel
}

// An explicit rate that the interface is not set to would be a silent bus.
bool RateMatchesInterface(const std::string& channel, int kbit)
{
    if (channel.rfind("socketcan:", 0) != 0) return true;
    const std::string iface = channel.substr(10);
    const long rate = InterfaceBitRate(iface);
    if (rate == 0 || rate == kbit * 1000L) return true;
    std::fprintf(stderr,
                 "nalvexa-can: %s runs at %ld bit/s, not %d kbit/s; set it with: ip link set %s down; "
                 "ip link set %s type can bitrate %d; ip link set %s up\n",
                 iface.c_str(), rate, kbit, iface.c_str(), iface.c_str(), kbit * 1000, iface.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) return UsageError(options.error);
    if (options.help) {
        std::fputs(cantool::kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("nalvexa-can %s\n", kNalvexaVersion);
        return 0;
    }
    std::string error;
    const Command command = ParseCommand(options, error);
    if (!error.empty()) return UsageError(error);

    PosixTextFiles disk;
    OverlayTextFiles files(disk);
    IniFile ini(ResolveIniPath(options.iniFile), files);
    if (std::string reason; !ini.Readable(reason)) {
        std::fprintf(stderr, "nalvexa-can: cannot read settings file %s: %s\n", ini.path().c_str(), reason.c_str());
        return 1;
    }
    Override(ini, options);

    // The driver's CAN code on a loop of its own.
    asio::io_context io(1);
    AsioTimerHost clock(io);
    ChannelCanLibrary library(AsioCanWatch::Factory(io));
    ToolNotifier notifier;
    CAdapterCAN can(library, ini, clock, notifier);
    if (!can.driverOpen) {
        notifier.Take();
        std::string reason = library.ErrorText();
        if (reason.find("in use by another program") != std::string::npos)
            reason += " (a running nalvexa holds the slcan device; stop it, or share the bus through SocketCAN)";
        std::fprintf(stderr, "nalvexa-can: cannot open CAN channel %s: %s\n", can.Channel.c_str(),
                     reason.empty() ? "unknown reason" : reason.c_str());
        return 1;
    }
    if (options.kbit && !RateMatchesInterface(can.Channel, *options.kbit)) return 1;
    can.SetAnswerWait(options.timeoutMs);
    can.SetLssConfirmWait(options.timeoutMs);

    int status = 1;
    Commissioning commissioning(can, options, notifier);
    commissioning.Run(command, [&](int s) {
        status = s;
        io.stop();
    });
    io.run();
    can.DeinitDriver();
    return status;
}
