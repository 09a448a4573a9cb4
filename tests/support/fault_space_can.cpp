// SPDX-License-Identifier: MIT
// The fault space of the CAN adapter: a model SDO server behind the loopback
// bus on the manual clock, answers late by any amount up to the answer wait
// (and beyond it), aborts, silence, other nodes' and earlier transfers'
// frames before the answer, copies, library errors; the same invariants as
// on the serial lines.
#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <queue>
#include <set>
#include <sstream>

#include "can/adapter_can.h"
#include "fault_space_models.h"
#include "loopback_can_library.h"
#include "manual_clock.h"

namespace nalvexa::test::faults {

namespace {

using Key = std::pair<uint16_t, uint8_t>;
constexpr uint32_t kServer = 0x581, kClient = 0x601;

CanMessage Frame8(uint32_t id, std::initializer_list<uint8_t> bytes)
{
    CanMessage m;
    m.id = id;
    m.length = 8;
    int i = 0;
    for (uint8_t b : bytes) m.data[i++] = b;
    return m;
}

std::string Hex(const CanMessage& m)
{
    std::ostringstream o;
    o << std::hex << m.id << " [" << int(m.length) << "]";
    for (int i = 0; i < m.length && i < 8; ++i) o << ' ' << (m.data[i] < 16 ? "0" : "") << int(m.data[i]);
    return o.str();
}

// A client request and what it must get; the objects it covers.
struct CanExpect {
    std::string what;
    Bytes data;  // a read's answer
    bool refused = false;
    bool write = false;
    uint16_t index = 0;
    uint8_t first = 0, last = 0;
    uint32_t perObject = 0;
    Bytes given;  // a write's bytes
};

// The drive: objects of known sizes, an SDO server with one transfer at a time.
class SdoServer {
public:
    SdoServer()
    {
        objects_[{0x2000, 1}] = Bytes(2);
        objects_[{0x2000, 2}] = Bytes(4);
        objects_[{0x2000, 3}] = Bytes(1);
        objects_[{0x2100, 1}] = Bytes(10);
        objects_[{0x2200, 1}] = Bytes(20);
        objects_[{0x2200, 2}] = Bytes(20);
        objects_[{0x3007, 1}] = Bytes(64);
    }

    CanExpect Next(Rng& rng, DriverRequest& r, IRequestReply* sink)
    {
        CanExpect e;
        const int kind = Uniform(rng, 0, 99);
        struct Range {
            uint16_t index;
            uint8_t first, last;
        } ranges[] = {{0x2000, 1, 3}, {0x2000, 1, 1}, {0x2000, 2, 2}, {0x2100, 1, 1}, {0x2200, 1, 2}};
        const Range range = ranges[Uniform(rng, 0, 4)];
        e.index = range.index;
        e.first = range.first;
        e.last = range.last;
        if (kind < 4) {
            static const uint32_t refused[][4] = {
                {0x2000, 3, 2, 4}, {0x2000, 1, 0x100, 4}, {0x12000, 1, 1, 4}, {0x2000, 1, 3, 10}};
            const auto* q = refused[Uniform(rng, 0, 3)];
            r.FillWrite(0, q[3], q[0], q[1], q[2], sink);
            e.refused = true;
            e.what = "a request the frames cannot carry";
            return e;
        }
        if (kind < 12) {  // the block download: the first 64 bytes, zeros where fewer were given
            const uint32_t n = static_cast<uint32_t>(Chance(rng, 50) ? 64 : Uniform(rng, 1, 63));
            e.given = Fresh(rng, n);
            r.FillWrite(0, n, 0x3007, 1, 1, sink);
            std::copy(e.given.begin(), e.given.end(), r.data.begin());
            e.write = true;
            e.index = 0x3007;
            e.first = e.last = 1;
            e.perObject = n;
            e.what = "block download of " + std::to_string(n);
            return e;
        }
        uint32_t total = 0;
        for (uint8_t s = range.first; s <= range.last; ++s) total += static_cast<uint32_t>(objects_[{range.index, s}].size());
        e.perObject = total / (range.last - range.first + 1u);
        if (kind < 40 && total % (range.last - range.first + 1u) == 0) {
            e.given = Fresh(rng, total);
            r.FillWrite(0, total, range.index, range.first, range.last, sink);
            std::copy(e.given.begin(), e.given.end(), r.data.begin());
            e.write = true;
            e.what = "write " + std::to_string(total);
            return e;
        }
        // A read: values new since the last request.
        for (uint8_t s = range.first; s <= range.last; ++s) {
            Bytes& v = objects_[{range.index, s}];
            v = Fresh(rng, v.size(), v);
            e.data.insert(e.data.end(), v.begin(), v.end());
        }
        r.FillRead(0, total, range.index, range.first, range.last, sink);
        e.what = "read " + std::to_string(total);
        return e;
    }

    // The drive's answer to a frame, if any; `violation` says what the frame should not have carried.
    std::vector<CanMessage> OnFrame(const CanMessage& f, const CanExpect& e, std::string& violation)
    {
        if (f.id != kClient || f.length != 8) {
            violation = "a frame on " + std::to_string(f.id);
            return {};
        }
        const uint8_t c = f.data[0];
        const uint16_t index = static_cast<uint16_t>(f.data[1] | f.data[2] << 8);
        const uint8_t sub = f.data[3];
        auto named = [&] {
            if (index != e.index || sub < e.first || sub > e.last) violation = "a transfer of another object: " + Hex(f);
            return violation.empty();
        };
        auto answer = [&](std::initializer_list<uint8_t> b) { return std::vector<CanMessage>{Frame8(kServer, b)}; };
        if (t_.kind == Transfer::Block && t_.segmentsLeft > 0) return Unless(BlockSegment(f, e, violation));
        if (c == 0x40) {  // initiate upload
            if (!named()) return {};
            if (e.write) {
                violation = "an upload for a write: " + Hex(f);
                return {};
            }
            t_ = {Transfer::Upload, index, sub, objects_[{index, sub}], 0, 0};
            const Bytes& v = t_.data;
            if (v.size() <= 4) {
                CanMessage a = Frame8(kServer, {static_cast<uint8_t>(0x43 | ((4 - v.size()) << 2)), f.data[1], f.data[2], sub});
                std::copy(v.begin(), v.end(), a.data + 4);
                t_.kind = Transfer::None;
                return {a};
            }
            return answer({0x41, f.data[1], f.data[2], sub, static_cast<uint8_t>(v.size()), 0, 0, 0});
        }
        if ((c & 0xEF) == 0x60) {  // upload segment
            if (t_.kind != Transfer::Upload) {
                // Out of sequence: a driver that took a stray answer (beyond the contract) goes on.
                if (strict) violation = "an upload segment with no upload: " + Hex(f);
                return {};
            }
            // A driver that took a stray answer for a segment asks out of
            // turn (what it then answers shows as wrong data): follow it.
            t_.toggle = (c >> 4) & 1;
            if (t_.aborted) return {};
            const size_t k = std::min<size_t>(7, t_.data.size() - t_.pos);
            const bool last = t_.pos + k == t_.data.size();
            CanMessage a = Frame8(kServer, {static_cast<uint8_t>(t_.toggle << 4 | (7 - k) << 1 | (last ? 1 : 0))});
            std::copy(t_.data.begin() + static_cast<long>(t_.pos), t_.data.begin() + static_cast<long>(t_.pos + k), a.data + 1);
            t_.pos += k;
            t_.toggle ^= 1;
            if (last) t_.kind = Transfer::None;
            return {a};
        }
        if (c == 0x21 || (c & 0xF3) == 0x23) {  // initiate download
            if (!named()) return {};
            const uint32_t j = sub - e.first;
            const Bytes want(e.given.begin() + j * e.perObject, e.given.begin() + (j + 1) * e.perObject);
            if (c == 0x21) {
                if (f.data[4] != e.perObject) violation = "a segmented download of another size: " + Hex(f);
                t_ = {Transfer::Download, index, sub, want, 0, 0};
                return answer({0x60, f.data[1], f.data[2], sub});
            }
            const size_t n = 4 - ((c >> 2) & 3);
            Bytes carried(f.data + 4, f.data + 8), expected = want;
            expected.resize(4, 0);
            if (n != e.perObject || carried != expected) violation = "an expedited download of other bytes: " + Hex(f);
            Store(index, sub, want);
            return answer({0x60, f.data[1], f.data[2], sub});
        }
        if ((c & 0xE0) == 0x00 && t_.kind == Transfer::Download) {  // download segment
            const size_t k = 7 - ((c >> 1) & 7);
            Bytes carried(f.data + 1, f.data + 8), expected(t_.data.begin() + static_cast<long>(t_.pos),
                                                          t_.data.begin() + static_cast<long>(std::min(t_.data.size(), t_.pos + k)));
            expected.resize(7, 0);
            if (((c >> 4) & 1) != t_.toggle || carried != expected) {
                CanMessage want = Frame8(kClient, {});
                std::copy(expected.begin(), expected.end(), want.data + 1);
                violation = "a download segment of other bytes: " + Hex(f) + " where " + Hex(want) + " was due (toggle " +
                            std::to_string(t_.toggle) + ")";
            }
            t_.pos += k;
            const uint8_t toggle = t_.toggle;
            t_.toggle ^= 1;
            if (c & 1) {
                if (t_.pos == t_.data.size() && !t_.aborted) Store(t_.index, t_.sub, t_.data);
                t_.kind = Transfer::None;
            }
            return Unless(answer({static_cast<uint8_t>(0x20 | toggle << 4)}));
        }
        if (c == 0xC2) {  // initiate block download
            if (!named() || !e.write) return {};
            Bytes want = e.given;
            want.resize(64, 0);
            t_ = {Transfer::Block, index, sub, want, 0, 0};
            t_.segmentsLeft = kBlockSize;
            return answer({0xA0, f.data[1], f.data[2], sub, kBlockSize});
        }
        if (c == 0xC1 && t_.kind == Transfer::Block) {
            t_.kind = Transfer::None;
            if (t_.aborted) return {};
            Store(0x3007, 1, t_.data);
            return answer({0xA1});
        }
        if (strict) violation = "a frame no transfer expects: " + Hex(f);
        return {};
    }

    bool strict = true;  // frames out of sequence are faults of the driver's

    // Every object of a write got its bytes.
    bool Applied(const CanExpect& e) const
    {
        for (uint8_t s = e.first; s <= e.last; ++s) {
            if (!written_.count({e.index, s})) return false;
        }
        return true;
    }
    void NewRequest()
    {
        written_.clear();
        t_.kind = Transfer::None;
    }
    // The drive gave up the transfer: it answers none of its later frames.
    void Abort() { t_.aborted = true; }

private:
    static constexpr uint8_t kBlockSize = 10;
    struct Transfer {
        enum Kind { None, Upload, Download, Block } kind = None;
        uint16_t index = 0;
        uint8_t sub = 0;
        Bytes data;
        size_t pos = 0;
        uint8_t toggle = 0;
        int segmentsLeft = 0;
        bool aborted = false;
    };
    std::vector<CanMessage> Unless(std::vector<CanMessage> answers) const
    {
        if (t_.aborted) answers.clear();
        return answers;
    }

    std::vector<CanMessage> BlockSegment(const CanMessage& f, const CanExpect&, std::string& violation)
    {
        const int q = kBlockSize - t_.segmentsLeft + 1;
        Bytes carried(f.data + 1, f.data + 8),
            expected(t_.data.begin() + static_cast<long>(std::min<size_t>(t_.pos, 64)),
                     t_.data.begin() + static_cast<long>(std::min<size_t>(t_.pos + 7, 64)));
        expected.resize(7, 0);
        if ((f.data[0] & 0x7F) != q || carried != expected) violation = "a block segment of other bytes: " + Hex(f);
        t_.pos += 7;
        if (--t_.segmentsLeft > 0) return {};
        return {Frame8(kServer, {0xA2, kBlockSize, kBlockSize})};
    }
    void Store(uint16_t index, uint8_t sub, const Bytes& v)
    {
        objects_[{index, sub}] = v;
        written_.insert({index, sub});
    }
    static Bytes Fresh(Rng& rng, size_t n, const Bytes& old = {})
    {
        Bytes b(n);
        do
            for (auto& x : b) x = static_cast<uint8_t>(rng());
        while (b == old);
        return b;
    }

    std::map<Key, Bytes> objects_;
    std::set<Key> written_;
    Transfer t_;
};

class CanWorld : public IRequestReply {
public:
    CanWorld(Reach reach, uint64_t seed, bool verbose)
        : reach_(reach), seed_(seed), rng_(seed), verbose_(verbose), bus_(&clock_)
    {
        static const int waits[] = {50, 200, 1000, 16383};
        answerWait_ = waits[Uniform(rng_, 0, 3)];
        memory_ = std::make_unique<MemoryFiles>("[CAN]\nAnswerTimeout=" + std::to_string(answerWait_) + "\n");
        ini_ = std::make_unique<IniFile>("Nalvexa.ini", *memory_);
        adapter_ = std::make_unique<CAdapterCAN>(bus_, *ini_, clock_, notifier_);
        bus_.SetDrive([this](const CanMessage& f, LoopbackCanLibrary&) { Heard(f); });
        server_.strict = reach == Reach::Within;
        request_ = std::make_unique<DriverRequest>();
    }

    Findings Run(long count)
    {
        count_ = count;
        f_.requestsBy[Name(reach_)] = 0;
        Issue();
        while (f_.violations.empty() && (issued_ < count || outstanding_)) {
            const int64_t next = clock_.nextDue();
            if (next == ManualClock::kNever) break;
            clock_.Advance(next - clock_.nowMs());
            if (outstanding_ && clock_.nowMs() - issuedAt_ > bound_) Violation("no answer within " + std::to_string(bound_) + " ms");
        }
        if (outstanding_ && f_.violations.empty()) Violation("the bus stopped with the request unanswered");
        clock_.Advance(10 * int64_t{answerWait_} + 1000);
        f_.requestsBy[Name(reach_)] += issued_;
        return f_;
    }

private:
    void Log(const std::string& line)
    {
        if (!verbose_) return;
        log_.push_back("t=" + std::to_string(clock_.nowMs()) + " " + line);
        if (log_.size() > 300) log_.pop_front();
    }
    void Violation(const std::string& what)
    {
        std::string text = "CAN seed " + std::to_string(seed_) + " (" + Name(reach_) + "), AnswerTimeout=" +
                           std::to_string(answerWait_) + ", request " + std::to_string(issued_) + ": " + what;
        if (verbose_) {
            text += "\n  events:";
            for (const std::string& l : log_) text += "\n    " + l;
        }
        f_.violations.push_back(text);
    }

    void Issue()
    {
        nextPending_ = false;
        server_.NewRequest();
        expect_ = server_.Next(rng_, *request_, this);
        heard_ = 0;
        outstanding_ = true;
        issuedAt_ = clock_.nowMs();
        ++issued_;
        ++f_.requests;
        // Every frame of the transfer may take the whole wait.
        bound_ = (2 + static_cast<int64_t>(expect_.last - expect_.first + 1) * 12) * (answerWait_ + 10);
        Log("client > " + expect_.what);
        adapter_->Execute(request_.get());
    }

    void Heard(const CanMessage& f)
    {
        Log("bus > " + Hex(f));
        ++heard_;
        if (!outstanding_) {
            Violation("a frame with no request: " + Hex(f));
            return;
        }
        std::string violation;
        if (f.data[0] == 0x40 || f.data[0] == 0x21 || (f.data[0] & 0xF3) == 0x23 || f.data[0] == 0xC2) current_ = f.data[3];
        std::vector<CanMessage> answers = server_.OnFrame(f, expect_, violation);
        if (!violation.empty()) {
            Violation(violation);
            return;
        }
        for (const CanMessage& a : answers) Plan(a);
    }

    // The line's faults for one answer.
    void Plan(CanMessage a)
    {
        if (Chance(rng_, 3)) {
            ++f_.faults["silent"];
            return;
        }
        if (Chance(rng_, 2)) {
            // The library reports the queue overrun that lost the answer, or a troubled bus.
            bus_.FailNextRead(Chance(rng_, 50) ? can::kQueueOverrun : can::kBusHeavy);
            ++f_.faults["library error"];
            return;
        }
        int delay = Uniform(rng_, 0, 2);
        if (Chance(rng_, 10)) {
            ++f_.faults["late"];
            const bool beyond = reach_ == Reach::LateBeyond && Chance(rng_, 50);
            const int bounds[] = {answerWait_ - 1, answerWait_, answerWait_ / 2};
            delay = beyond ? Uniform(rng_, answerWait_ + 1, 3 * answerWait_)
                           : (Chance(rng_, 50) ? bounds[Uniform(rng_, 0, 2)] : Uniform(rng_, 0, answerWait_));
        }
        f_.lateness[delay < answerWait_ ? "within the answer wait" : delay == answerWait_ ? "at its last moment"
                                                                                          : "after the answer wait"]++;
        if (Chance(rng_, 8)) {
            // Frames before the answer that are not it.
            CanMessage foreign = a;
            switch (Uniform(rng_, 0, 4)) {
            case 0: foreign = Frame8(0x702, {0x05}), foreign.length = 1; break;
            case 1: foreign = Frame8(0x181, {0xDE, 0xAD}); break;
            case 2: foreign.id = 0x582; break;
            case 3: foreign.data[0] ^= 0x10; foreign.data[3] ^= 1; break;  // another toggle, another sub-index
            default: foreign = Frame8(kServer, {0x80, 0x34, 0x12, 0x09, 0, 0, 0, 8}); break;
            }
            bus_.Queue(foreign, std::max(delay - 1, 0));
            ++f_.faults["foreign frame"];
        }
        if (Chance(rng_, 4)) {
            const uint32_t codes[] = {0x06020000, 0x08000000, 0x05040000};
            const uint32_t code = codes[Uniform(rng_, 0, 2)];
            a.data[0] = 0x80;
            // An abort names the transfer's object, also within it.
            a.data[1] = static_cast<uint8_t>(expect_.index);
            a.data[2] = static_cast<uint8_t>(expect_.index >> 8);
            a.data[3] = current_;
            for (int i = 0; i < 4; ++i) a.data[4 + i] = static_cast<uint8_t>(code >> (8 * i));
            server_.Abort();
            ++f_.faults["abort"];
        }
        bus_.Queue(a, delay);
        if (Chance(rng_, 6)) {
            // A copy at once is told apart (the next request flushes it); a later one only by its content.
            const bool beyond = reach_ == Reach::CopyBeyond && Chance(rng_, 50);
            bus_.Queue(a, beyond ? delay + Uniform(rng_, 1, 3 * answerWait_) : delay);
            ++f_.faults["copy"];
        }
    }

    void SendReply() override
    {
        const DriverRequest& r = *request_;
        if (!outstanding_) {
            Violation("an answer when none was due");
            return;
        }
        outstanding_ = false;
        ++f_.statuses[r.status];
        Log("client < status " + std::to_string(r.status));
        if (expect_.refused) {
            if (r.status != 1 || heard_ != 0) Violation("a request the frames cannot carry was not refused");
        } else if (r.status == 0) {
            const bool right = expect_.write ? server_.Applied(expect_)
                                             : std::equal(expect_.data.begin(), expect_.data.end(), r.data.begin());
            if (right)
                ++f_.good;
            else if (reach_ == Reach::Within)
                Violation("status 0 without the request's own answer");
            else
                ++f_.wrong[Name(reach_)];
        }
        nextPending_ = true;
        // The client asks again, at once or a little later.
        const int think = Chance(rng_, 50) ? 0 : Uniform(rng_, 0, 50);
        if (!thinker_) thinker_ = clock_.createTimer([this] {
            thinker_->stop();
            if (issued_ < count_) Issue();
        });
        thinker_->start(think);
    }
    void SendBlock(const uint8_t*, uint32_t) override {}

    Reach reach_;
    uint64_t seed_;
    Rng rng_;
    bool verbose_;
    Findings f_;
    ManualClock clock_;
    FakeNotifier notifier_;
    LoopbackCanLibrary bus_;
    std::unique_ptr<MemoryFiles> memory_;
    std::unique_ptr<IniFile> ini_;
    std::unique_ptr<CAdapterCAN> adapter_;
    std::unique_ptr<DriverRequest> request_;
    std::unique_ptr<ITimer> thinker_;
    SdoServer server_;
    CanExpect expect_;
    int answerWait_ = 16383;
    int heard_ = 0;
    uint8_t current_ = 0;  // the sub-index of the transfer under way
    long count_ = 0;
    bool outstanding_ = false, nextPending_ = false;
    long issued_ = 0;
    int64_t issuedAt_ = 0, bound_ = 0;
    std::deque<std::string> log_;
};

}  // namespace

Findings ExploreCan(Reach reach, uint64_t seed, long requests)
{
    Findings f = CanWorld(reach, seed, false).Run(requests);
    if (f.violations.empty()) return f;
    Findings again = CanWorld(reach, seed, true).Run(requests);
    f.violations = again.violations.empty() ? f.violations : again.violations;
    return f;
}

}  // namespace nalvexa::test::faults
