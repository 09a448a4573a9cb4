// SPDX-License-Identifier: MIT
// nalvexa-client: speaks the driver's wire protocol from the command line.
#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../common/hex.h"
#include "server/wire_codec.h"
#include "version.h"

using namespace nalvexa;

namespace {

const char* const kUsage =
    "Usage: nalvexa-client [--host H] [--port P] [--timeout MS] COMMAND ARGS\n"
    "  read ADDRESS LENGTH [I1 [I2 [I3]]]   read LENGTH bytes; prints status and data\n"
    "  write ADDRESS HEXDATA [I1 [I2 [I3]]] write the bytes of HEXDATA (e.g. 0201)\n"
    "  control CODE [P1 [P2]]               a control request\n"
    "  close                                ask the driver to close\n"
    "  --help, --version                    this text, the version\n"
    "Numbers are decimal or 0x-hex. Prints \"status N\" (and \"data HEX\" for a read);\n"
    "exits 0 only for status 0, 1 for another status, 2 for a usage error, 3 when\n"
    "the driver cannot be reached or does not answer in time (default 30000 ms).\n";

bool Number(const char* text, uint32_t& value)
{
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);
    if (!*text || *end || v > 0xFFFFFFFFull || text[0] == '-') return false;
    value = static_cast<uint32_t>(v);
    return true;
}

void Word(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t b[4];
    wire::PutBE32(b, v);
    out.insert(out.end(), b, b + 4);
}

// Runs the loop until the operation started on it has ended or the time is up.
bool RunFor(asio::io_context& io, const std::chrono::steady_clock::time_point& deadline, const bool& done)
{
    io.restart();
    while (!done && std::chrono::steady_clock::now() < deadline) io.run_one_until(deadline);
    return done;
}

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string host = "127.0.0.1";
    uint32_t port = 12001, timeout = 30000;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
        if (!std::strcmp(argv[i], "--host")) host = argv[i + 1];
        else if (!std::strcmp(argv[i], "--port") && Number(argv[i + 1], port) && port <= 65535) continue;
        else if (!std::strcmp(argv[i], "--timeout") && Number(argv[i + 1], timeout)) continue;
        else return Usage();
    }
    if (i < argc && !std::strcmp(argv[i], "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (i < argc && !std::strcmp(argv[i], "--version")) {
        std::printf("nalvexa-client %s\n", kNalvexaVersion);
        return 0;
    }
    if (i >= argc) return Usage();
    std::string command = argv[i++];
    std::vector<uint32_t> n;
    std::vector<uint8_t> payload;
    for (int k = i; k < argc; ++k) {
        uint32_t v;
        if (command == "write" && k == i + 1) {
            if (!FromHex(argv[k], payload)) return Usage();
            n.push_back(0);
        } else if (Number(argv[k], v)) {
            n.push_back(v);
        } else {
            return Usage();
        }
    }
    n.resize(std::max<size_t>(n.size(), 5), 0);

    std::vector<uint8_t> request;
    size_t answerBytes = 4;
    if (command == "read" && argc - i >= 2) {
        Word(request, wire::kRead);
        Word(request, 0);
        for (int k = 0; k < 5; ++k) Word(request, n[static_cast<size_t>(k)]);
        answerBytes += n[1];
    } else if (command == "write" && argc - i >= 2) {
        Word(request, wire::kWrite);
        Word(request, 0);
        Word(request, n[0]);
        Word(request, static_cast<uint32_t>(payload.size()));
        for (int k = 2; k < 5; ++k) Word(request, n[static_cast<size_t>(k)]);
        request.insert(request.end(), payload.begin(), payload.end());
    } else if (command == "control" && argc - i >= 1) {
        Word(request, wire::kControl);
        Word(request, 0);
        for (int k = 0; k < 3; ++k) Word(request, n[static_cast<size_t>(k)]);
    } else if (command == "close" && argc == i) {
        Word(request, wire::kCloseDriver);
        Word(request, 0);
        answerBytes = 1;
    } else {
        return Usage();
    }

    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    std::error_code error;
    bool done = false;
    asio::ip::tcp::resolver resolver(io);
    const auto addresses = resolver.resolve(host, std::to_string(port), error);
    if (!error) {
        asio::async_connect(socket, addresses, [&](const std::error_code& e, const asio::ip::tcp::endpoint&) {
            error = e;
            done = true;
        });
        if (!RunFor(io, deadline, done)) error = asio::error::timed_out;
    }
    if (error) {
        std::fprintf(stderr, "nalvexa-client: cannot connect to %s:%u: %s\n", host.c_str(), port, error.message().c_str());
        return 3;
    }
    std::vector<uint8_t> answer(answerBytes);
    done = false;
    asio::async_write(socket, asio::buffer(request), [&](const std::error_code& e, size_t) {
        error = e;
        if (e) done = true;
        else asio::async_read(socket, asio::buffer(answer), [&](const std::error_code& r, size_t) {
            error = r;
            done = true;
        });
    });
    if (!RunFor(io, deadline, done) || error) {
        socket.close(error);
        std::fprintf(stderr, "nalvexa-client: no complete answer\n");
        return 3;
    }
    if (command == "close") {
        std::printf("closed %s\n", ToHex(answer).c_str());
        return answer[0] == 0 ? 0 : 1;
    }
    uint32_t status = wire::GetBE32(answer.data());
    std::printf("status %u\n", status);
    if (command == "read") std::printf("data %s\n", ToHex(answer.data() + 4, answer.size() - 4, "").c_str());
    return status == 0 ? 0 : 1;
}
