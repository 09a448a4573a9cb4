// SPDX-License-Identifier: MIT
#include "interface_bitrate.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace nalvexa::cantool {

long BitRateFromIpJson(const std::string& json)
{
    const size_t timing = json.find("\"bittiming\"");
    if (timing == std::string::npos) return 0;
    const std::string key = "\"bitrate\":";
    size_t at = json.find(key, timing);
    if (at == std::string::npos) return 0;
    at += key.size();
    while (at < json.size() && json[at] == ' ') ++at;
    if (at >= json.size() || !std::isdigit(static_cast<unsigned char>(json[at]))) return 0;
    return std::strtol(json.c_str() + at, nullptr, 10);
}

long InterfaceBitRate(const std::string& name)
{
    // Interface names are short and plain; anything else is not asked about.
    if (name.empty() || name.size() > 15) return 0;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return 0;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return 0;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return 0;
    }
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDERR_FILENO);
        const char* argv[] = {"ip", "-details", "-json", "link", "show", "dev", name.c_str(), nullptr};
        ::execvp("ip", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (out.size() < (1 << 20)) out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
    return BitRateFromIpJson(out);
}

}  // namespace nalvexa::cantool
