// SPDX-License-Identifier: MIT
#include "server/driver_connection.h"

#include <algorithm>
#include <cstdio>

#include "server/status_map.h"
#include "server/wire_codec.h"
#include "trace/trace.h"

namespace nalvexa {

using namespace wire;

namespace {

std::string Number(const char* format, uint32_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "read a=0x05 len=2 i1=0x1234 i2=1 i3=0", as the client asked.
std::string Describe(const char* kind, const uint8_t* w)
{
    return std::string(kind) + Number(" a=0x%02x", GetBE32(w)) + Number(" len=%u", GetBE32(w + 4)) +
           Number(" i1=0x%x", GetBE32(w + 8)) + Number(" i2=%u", GetBE32(w + 12)) + Number(" i3=%u", GetBE32(w + 16));
}

}  // namespace


CDriverConnectionSocket::CDriverConnectionSocket(AdapterHolder& holder, ITaskPoster& poster,
                                                 IUserNotifier& notifier, ITimerHost& timers)
    : holder_(holder), poster_(poster), notifier_(notifier)
{
    requestTimer_ = timers.createTimer([this] {
        requestTimer_->stop();
        if (link_ && !busy_) ProtocolViolation("request time-out");
    });
    ResetParse();
}

void CDriverConnectionSocket::Attach(std::unique_ptr<IClientLink> link)
{
    link_ = std::move(link);
    ++client_;
    closingDriver_ = false;
    ResetParse();
    ReportState(notifier_, "client connected " + link_->peer());
    Pump();  // the client may have sent its first request while it waited
}

void CDriverConnectionSocket::OnReceive()
{
    Pump();
}

void CDriverConnectionSocket::OnClose()
{
    Close(link_ && !link_->failure().empty() ? link_->failure() : "closed");
}

void CDriverConnectionSocket::Close(const std::string& why)
{
    const bool hadClient = link_ != nullptr;
    if (link_) {
        ReportState(notifier_, "client gone " + link_->peer() + ": " + why);
        link_->close();
    }
    link_.reset();
    requestTimer_->stop();
    // What this client switched (delivery off, stream mode) must not greet the next one.
    if (hadClient && holder_.adapter()) holder_.adapter()->OnClientGone();
    isConnected = false;
    ++client_;
    ResetParse();
}

void CDriverConnectionSocket::ResetParse()
{
    stage_ = Stage::Header;
    have_ = 0;
    want_ = kHeaderSize;
    if (requestTimer_) requestTimer_->stop();
}

void CDriverConnectionSocket::RequestBegun()
{
    if (requestTimeoutSeconds_ > 0 && !requestTimer_->isActive()) requestTimer_->start(requestTimeoutSeconds_ * 1000);
}

void CDriverConnectionSocket::Pump()
{
    if (pumping_) return;
    pumping_ = true;
    while (link_ && !busy_ && !closingDriver_ && link_->unsentBytes() <= kMaxUnsent && Step()) {
    }
    pumping_ = false;
    if (Finished()) {
        Close(link_->failure().empty() ? "closed" : link_->failure());
        if (events) events->Refresh();
        if (closedHook_) closedHook_();  // the next waiting client
    }
}

bool CDriverConnectionSocket::Finished()
{
    // A request cut short by the end of the input can never be completed.
    return link_ && link_->inputEnded() && !busy_ && !closingDriver_;
}

bool CDriverConnectionSocket::Step()
{
    if (stage_ == Stage::Header || stage_ == Stage::Body) {
        have_ += link_->read(head_.data() + have_, want_ - have_);
        if (have_ > 0) RequestBegun();
        if (have_ < want_) return false;
        if (stage_ == Stage::Header) {
            size_t size = FixedSize(GetBE32(head_.data()));
            if (size == 0) {
                // An unknown type leaves no way to find the next request in the stream.
                ProtocolViolation("protocol violation: unknown request type");
                return false;
            }
            stage_ = Stage::Body;
            want_ = size;
            if (have_ < want_) return true;
        }
        Dispatch();
        return link_ != nullptr;
    }

    uint32_t length = GetBE32(head_.data() + 12);
    if (stage_ == Stage::Payload) {
        have_ += link_->read(request.data.data() + have_, want_ - have_);
        if (have_ < want_) return false;
        const uint8_t* w = head_.data() + 8;
        if (Trace::on()) Trace::Line("client > " + Describe("write", w) + " data " + Trace::Hex(request.data.data(), length));
        request.FillWrite(GetBE32(w), length, GetBE32(w + 8), GetBE32(w + 12), GetBE32(w + 16), this);
        ResetParse();
        busy_ = true;
        requestClient_ = client_;
        holder_.adapter()->Execute(&request);
        return true;
    }

    // Discard: an oversized write's payload is read and thrown away.
    uint8_t sink[4096];
    while (have_ < want_) {
        size_t got = link_->read(sink, std::min(sizeof sink, want_ - have_));
        if (got == 0) return false;
        have_ += got;
    }
    ResetParse();
    if (Trace::on()) Trace::Line("client < status " + std::to_string(ToWireStatus(status::kFailed)));
    SendWord(ToWireStatus(status::kFailed), false);
    return link_ != nullptr;
}

void CDriverConnectionSocket::Dispatch()
{
    const uint8_t* w = head_.data() + 8;
    uint32_t type = GetBE32(head_.data());
    if (Trace::on()) {
        if (type == kRead) Trace::Line("client > " + Describe("read", w));
        if (type == kWrite && GetBE32(w + 4) > kRequestDataSize)
            Trace::Line("client > " + Describe("write", w) + " (more than 35000 bytes: refused)");
        if (type == kControl)
            Trace::Line("client > control" + Number(" code=%u", GetBE32(w)) + Number(" p1=%u", GetBE32(w + 4)) +
                        Number(" p2=%u", GetBE32(w + 8)));
        if (type == kCloseDriver) Trace::Line("client > close driver");
    }
    switch (type) {
    case kRead: {
        uint32_t length = GetBE32(w + 4);
        if (length > kRequestDataSize) {
            // Cannot be answered: the answer must carry `length` bytes.
            ProtocolViolation("protocol violation: a read of more than 35000 bytes");
            return;
        }
        request.FillRead(GetBE32(w), length, GetBE32(w + 8), GetBE32(w + 12), GetBE32(w + 16), this);
        break;
    }
    case kWrite: {
        uint32_t length = GetBE32(w + 4);
        stage_ = length > kRequestDataSize ? Stage::Discard : Stage::Payload;
        have_ = 0;
        want_ = length;
        return;
    }
    case kControl:
        request.FillControl(GetBE32(w), GetBE32(w + 4), GetBE32(w + 8), this);
        blockClient_ = client_;
        break;
    case kCloseDriver: {
        ResetParse();
        closingDriver_ = true;
        if (events) events->CloseWithoutConfirmation();
        const uint8_t zero = 0;
        Send(&zero, 1, false);
        return;
    }
    }
    ResetParse();
    busy_ = true;
    requestClient_ = client_;
    holder_.adapter()->Execute(&request);
}

void CDriverConnectionSocket::ProtocolViolation(const std::string& why)
{
    Close(why);
    if (events) events->Refresh();
    // The next waiting client is taken up by the server after this event.
    if (closedHook_) closedHook_();
}

void CDriverConnectionSocket::SendReply()
{
    if (!busy_) return;  // no request of ours is outstanding
    busy_ = false;
    if (Trace::on()) {
        std::string line = "client < status " + std::to_string(ToWireStatus(request.status));
        if (request.kind == Read && request.length > 0)
            line += " data " + (request.status != status::kOk ? "(" + std::to_string(request.length) + " zero bytes)"
                                                    : Trace::Hex(request.data.data(), request.length));
        if (!link_ || requestClient_ != client_) line += " (dropped: the client has gone)";
        Trace::Line(line);
    }
    if (link_ && requestClient_ == client_) {
        uint32_t status = ToWireStatus(request.status);
        if (request.kind == Read) {
            // A failed read carries zeros: part of an answer is no answer.
            if (request.status != status::kOk) std::fill_n(request.data.begin(), std::min<size_t>(request.length, request.data.size()), uint8_t{0});
            SendWord(status, true);
            if (link_ && request.length > 0) Send(request.data.data(), request.length, true);
        } else if (request.kind == Write || request.kind == Control) {
            SendWord(status, false);
        }
    }
    // Parse the next request only after the adapter has finished with this one.
    if (!pumpPosted_) {
        pumpPosted_ = true;
        poster_.post([this] {
            pumpPosted_ = false;
            Pump();
        });
    }
}

void CDriverConnectionSocket::SendBlock(const uint8_t* bytes, uint32_t count)
{
    if (Trace::on())
        Trace::Line("client < block of " + std::to_string(count) + " bytes " + Trace::Hex(bytes, count) +
                    (!link_ || blockClient_ != client_ ? " (dropped: not this client's)" : ""));
    if (!link_ || blockClient_ != client_) return;
    SendWord(count, false);
    if (link_ && count > 0) Send(bytes, count, true);
}

void CDriverConnectionSocket::SendWord(uint32_t value, bool showFailure)
{
    uint8_t word[4];
    PutBE32(word, value);
    Send(word, sizeof word, showFailure);
}

bool CDriverConnectionSocket::Send(const uint8_t* bytes, size_t count, bool showFailure)
{
    if (!link_) return false;
    if (link_->send(bytes, count)) return true;
    if (showFailure) {
        char text[80];
        std::snprintf(text, sizeof text, "CDriverConnectionSocket Send Error: Code = %d", link_->lastError());
        notifier_.message(text);
    }
    return false;
}

}  // namespace nalvexa
