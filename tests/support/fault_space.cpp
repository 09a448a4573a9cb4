// SPDX-License-Identifier: MIT
#include "fault_space.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <queue>
#include <random>
#include <set>
#include <sstream>

#include "adapters/adapter_context.h"
#include "adapters/lvt/adapter_lvt.h"
#include "adapters/lvt/lvt_crc.h"
#include "adapters/qmr/adapter_qmr.h"
#include "adapters/tr7100/adapter_tr7100.h"
#include "fakes.h"
#include "fault_space_models.h"
#include "loopback_can_library.h"
#include "manual_clock.h"
#include "trace/trace.h"

namespace nalvexa::test::faults {

const char* Name(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Tr7100: return "TR7100";
    case Protocol::Qmr: return "QMR";
    case Protocol::Lvt: return "LVT";
    case Protocol::Can: return "CAN";
    }
    return "?";
}

const char* Name(Reach reach)
{
    switch (reach) {
    case Reach::Within: return "within the contract";
    case Reach::LateBeyond: return "answers later than response + quiet interval";
    case Reach::CopyBeyond: return "copies after the inter-frame silence";
    case Reach::NoQuiet: return "QuietInterval=0, late answers";
    case Reach::NoiseInside: return "stray bytes inside answers";
    }
    return "?";
}

void Findings::Add(const Findings& o)
{
    requests += o.requests;
    good += o.good;
    for (auto& [k, v] : o.statuses) statuses[k] += v;
    for (auto& [k, v] : o.faults) faults[k] += v;
    for (auto& [k, v] : o.lateness) lateness[k] += v;
    for (auto& [k, v] : o.wrong) wrong[k] += v;
    for (auto& [k, v] : o.requestsBy) requestsBy[k] += v;
    violations.insert(violations.end(), o.violations.begin(), o.violations.end());
}

std::string Findings::Summary() const
{
    std::ostringstream out;
    out << "requests " << requests << ", status 0 and right " << good << "; by status:";
    for (auto& [k, v] : statuses) out << " " << k << ": " << v;
    out << "\n  answers that met a fault:";
    for (auto& [k, v] : faults) out << " " << k << " " << v;
    out << "\n  answers by lateness:";
    for (auto& [k, v] : lateness) out << " " << k << " " << v;
    out << "\n  status 0 with wrong data, by where the faults lay:";
    for (auto& [k, v] : requestsBy) {
        auto w = wrong.find(k);
        out << "\n    " << k << ": " << (w == wrong.end() ? 0 : w->second) << " of " << v << " requests";
    }
    out << "\n  violations within the contract: " << violations.size() << "\n";
    return out.str();
}

namespace {

std::string Hex(const Bytes& b)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < b.size(); ++i) {
        if (i) s += ' ';
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

// What the line does with one answer: pieces at times after the frame, and
// stray bytes around it.
struct Piece {
    int64_t at;
    Bytes bytes;
    bool stray = false;
};

// The settings of a scenario, and the faults its answers meet.
class Faults {
public:
    Faults(Reach reach, const Settings& s, Rng& rng) : reach_(reach), s_(s), rng_(rng) {}

    // Turns the drive's answer to a frame heard at `now` into pieces on the line.
    std::vector<Piece> Plan(Bytes answer, int64_t now, Findings& f, std::string& note)
    {
        std::vector<Piece> out;
        if (answer.empty()) return out;
        if (Chance(rng_, 4)) {
            ++f.faults["silent"];
            note = "silent";
            return out;
        }
        int64_t delay = Uniform(rng_, 0, 2);
        if (Chance(rng_, 18)) {
            delay = Late();
            ++f.faults["late"];
            note += " late " + std::to_string(delay);
        }
        ++f.lateness[Band(delay)];
        if (Chance(rng_, 6)) {
            const size_t at = static_cast<size_t>(Uniform(rng_, 0, static_cast<int>(answer.size()) - 1));
            answer[at] ^= static_cast<uint8_t>(Uniform(rng_, 1, 255));
            ++f.faults["corrupt"];
            note += " corrupt byte " + std::to_string(at);
        }
        const int gapMax = std::max(s_.quiet - 1, 0);
        Split(answer, now + delay, Chance(rng_, 15) ? gapMax : -1, out, f, note);
        if (Chance(rng_, 10)) Copy(answer, out, f, note);
        if (Chance(rng_, 5)) {
            // Stray bytes shortly before or after the answer.
            const int64_t at = std::max<int64_t>(now, out.front().at + Uniform(rng_, -s_.response, s_.response));
            Bytes stray(static_cast<size_t>(Uniform(rng_, 1, 3)));
            for (auto& b : stray) b = static_cast<uint8_t>(rng_());
            out.push_back({at, stray, true});
            ++f.faults["stray bytes"];
            note += " stray " + std::to_string(at - now);
        }
        return out;
    }

    std::string Band(int64_t delay) const
    {
        if (delay < s_.response) return "on time";
        if (delay < s_.response + s_.quiet) return "after the response interval, within the quiet interval";
        return "after response + quiet interval";
    }

private:
    int64_t Late()
    {
        const int r = s_.response, q = s_.quiet;
        const bool beyond = (reach_ == Reach::LateBeyond || reach_ == Reach::NoQuiet) && Chance(rng_, 50);
        if (reach_ == Reach::NoQuiet && beyond) return Uniform(rng_, r, 2 * r + 1);
        if (beyond) {
            const int bounds[] = {r + q, r + q + 1, r + q + 2, 2 * r + q};
            return Chance(rng_, 50) ? bounds[Uniform(rng_, 0, 3)] : Uniform(rng_, r + q, 4 * r + q);
        }
        // Up to the last moment that is still told apart, boundaries included.
        const int last = std::max(r + q - 1, 0);
        const int bounds[] = {std::max(r - 1, 0), r, std::min(r + 1, last), last};
        return std::min(Chance(rng_, 50) ? bounds[Uniform(rng_, 0, 3)] : Uniform(rng_, 0, last), last);
    }

    // `gapMax` < 0: in one piece; otherwise at random bytes with gaps up to it.
    void Split(const Bytes& bytes, int64_t at, int gapMax, std::vector<Piece>& out, Findings& f, std::string& note)
    {
        if (gapMax < 0 || bytes.size() < 2) {
            out.push_back({at, bytes});
            return;
        }
        ++f.faults["split"];
        note += " split";
        size_t from = 0;
        while (from < bytes.size()) {
            const size_t n = static_cast<size_t>(Uniform(rng_, 1, static_cast<int>(bytes.size() - from)));
            out.push_back({at, Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + n))});
            from += n;
            at += Uniform(rng_, 0, gapMax);
        }
    }

    void Copy(const Bytes& bytes, std::vector<Piece>& out, Findings& f, std::string& note)
    {
        ++f.faults["copy"];
        const int safe = std::min(s_.silenceMs, s_.quiet);  // gaps the silence still covers
        const int64_t end = out.back().at;
        if (reach_ == Reach::CopyBeyond && Chance(rng_, 50)) {
            const int64_t at = end + Uniform(rng_, safe, safe + 3 * s_.response);
            out.push_back({at, bytes});
            note += " copy after " + std::to_string(at - end);
            return;
        }
        if (safe <= 0) {
            // Without a silence only a copy in the same piece is told apart.
            out.back().bytes.insert(out.back().bytes.end(), bytes.begin(), bytes.end());
            note += " copy in the same piece";
            return;
        }
        const int64_t at = end + Uniform(rng_, 0, safe - 1);
        Split(bytes, at, Chance(rng_, 30) ? safe - 1 : -1, out, f, note);
        note += " copy after " + std::to_string(at - end);
    }

    Reach reach_;
    Settings s_;
    Rng& rng_;
};

// The client, the adapter, the model drive and the line, on the manual clock.
class World : public IRequestReply {
public:
    World(Protocol protocol, Reach reach, uint64_t seed, bool verbose)
        : protocol_(protocol), reach_(reach), seed_(seed), rng_(seed), verbose_(verbose)
    {
        s_ = DrawSettings();
        model_ = MakeModel(protocol, s_);
        files_ = std::make_unique<MemoryFiles>(IniText());
        ini_ = std::make_unique<IniFile>("Nalvexa.ini", *files_);
        AdapterContext context{clock_, notifier_, *ini_, device_, can_};
        switch (protocol) {
        case Protocol::Tr7100: adapter_ = std::make_unique<CAdapterTR7100>(context); break;
        case Protocol::Qmr: adapter_ = std::make_unique<CAdapterQMR>(context); break;
        default: adapter_ = std::make_unique<CAdapterLVT>(context); break;
        }
        s_.silenceMs = adapter_->port().CharactersMs(s_.silenceChars);
        faults_ = std::make_unique<Faults>(reach, s_, rng_);
        device_.onWrite = [this](const Bytes& bytes) { Heard(bytes); };
        request_ = std::make_unique<DriverRequest>();
    }

    Findings Run(long count)
    {
        f_.requestsBy[Name(reach_)] = 0;
        if (Chance(rng_, 30)) StartNeverQuiet();
        Schedule(clock_.nowMs(), {}, Kind::Client);
        while (issued_ < count || outstanding_) {
            if (!Step()) break;
            if (outstanding_ && clock_.nowMs() - issuedAt_ > bound_) {
                Violation("no answer within " + std::to_string(bound_) + " ms");
                break;
            }
            if (!f_.violations.empty()) break;
        }
        // Whatever is still on its way arrives; no request may be answered again.
        const int64_t end = clock_.nowMs() + 20 * (s_.response + s_.quiet + 250);
        neverQuietUntil_ = 0;
        while (f_.violations.empty() && Step(end)) {
        }
        f_.requestsBy[Name(reach_)] += issued_;
        return f_;
    }

private:
    enum class Kind { Bytes, Stray, Client, Noise };
    struct Event {
        int64_t at;
        uint64_t order;
        bool beforeTimers;
        Kind kind;
        Bytes bytes;
        uint64_t answer = 0;  // which answer the piece belongs to
        bool last = false;    // its last piece
        bool operator>(const Event& o) const { return at != o.at ? at > o.at : order > o.order; }
    };

    Settings DrawSettings()
    {
        Settings s;
        static const int responses[] = {20, 50, 100, 200, 500};
        static const int repetitions[] = {0, 0, 1, 2, 5};
        s.response = responses[Uniform(rng_, 0, 4)];
        s.repetitions = repetitions[Uniform(rng_, 0, 4)];
        switch (Uniform(rng_, 0, 3)) {
        case 0: s.quietSetting = s.response / 2 + 1; break;
        case 1: s.quietSetting = 2 * s.response; break;
        default: s.quietSetting = -1; break;  // the response interval
        }
        if (reach_ == Reach::NoQuiet) s.quietSetting = 0;
        s.quiet = s.quietSetting < 0 ? s.response : s.quietSetting;
        static const int silences[] = {0, 0, 4, 30};
        s.silenceChars = silences[Uniform(rng_, 0, 3)];
        static const int bauds[] = {9600, 19200, 115200};
        s.baud = bauds[Uniform(rng_, 0, 2)];
        return s;
    }

    std::string IniText() const
    {
        return "[TR7100]\nSerialPort=/dev/ttyS0\nBaudRate=" + std::to_string(s_.baud) +
               "\nRetryTimeout=" + std::to_string(s_.response) + "\nMaxNoOfRetries=" + std::to_string(s_.repetitions) +
               "\nQuietInterval=" + std::to_string(s_.quietSetting) +
               "\nInterFrameSilence=" + std::to_string(s_.silenceChars) + "\n";
    }

    std::string Describe() const
    {
        std::ostringstream o;
        o << Name(protocol_) << " seed " << seed_ << " (" << Name(reach_) << "): RetryTimeout=" << s_.response
          << " MaxNoOfRetries=" << s_.repetitions << " QuietInterval=" << s_.quietSetting
          << " InterFrameSilence=" << s_.silenceChars << " (" << s_.silenceMs << " ms at " << s_.baud << " baud)";
        return o.str();
    }

    void Log(const std::string& line)
    {
        if (!verbose_) return;
        log_.push_back("t=" + std::to_string(clock_.nowMs()) + " " + line);
        if (log_.size() > 400) log_.pop_front();
    }

    void Violation(const std::string& what)
    {
        std::string text = Describe() + ", request " + std::to_string(issued_) + ": " + what;
        if (verbose_) {
            text += "\n  events:";
            for (const std::string& line : log_) text += "\n    " + line;
        }
        f_.violations.push_back(text);
    }

    void Schedule(int64_t at, Bytes bytes, Kind kind, uint64_t answer = 0, bool last = false)
    {
        events_.push({at, ++order_, Chance(rng_, 50), kind, std::move(bytes), answer, last});
    }

    // Within the contract stray bytes never fall inside an answer: an
    // answer's own bytes are guarded only by its 8-bit sum or CRC-16.
    bool Interleaves() const { return !arriving_.empty() && reach_ != Reach::NoiseInside; }

    // One event, or the timers due first; false when nothing is left before `until`.
    bool Step(int64_t until = ManualClock::kNever)
    {
        const int64_t timer = clock_.nowMs() > until ? ManualClock::kNever : clock_.nextDue();
        const int64_t event = events_.empty() ? ManualClock::kNever : events_.top().at;
        if (std::min(timer, event) >= until || (timer == ManualClock::kNever && event == ManualClock::kNever))
            return false;
        if (event < timer || (event == timer && events_.top().beforeTimers)) {
            Event e = events_.top();
            events_.pop();
            clock_.AdvanceBefore(e.at);
            Handle(e);
        } else {
            clock_.Advance(timer - clock_.nowMs());
        }
        return true;
    }

    void Handle(const Event& e)
    {
        switch (e.kind) {
        case Kind::Client: Issue(); break;
        case Kind::Bytes:
            Log("line < " + Hex(e.bytes));
            if (e.last) arriving_.erase(e.answer);
            else arriving_.insert(e.answer);
            device_.Arrive(e.bytes);
            break;
        case Kind::Stray:
            if (Interleaves()) {
                Schedule(clock_.nowMs() + 1, e.bytes, Kind::Stray);
                break;
            }
            Log("line < " + Hex(e.bytes) + " (stray)");
            device_.Arrive(e.bytes);
            break;
        case Kind::Noise:
            if (clock_.nowMs() >= neverQuietUntil_) break;
            if (!Interleaves()) device_.Arrive({static_cast<uint8_t>(rng_())});
            Schedule(clock_.nowMs() + noiseEvery_, {}, Kind::Noise);
            break;
        }
    }

    // A line that is not quiet for a while: a byte every few milliseconds.
    void StartNeverQuiet()
    {
        const int longest = std::max({s_.response, s_.quiet, s_.silenceMs});
        noiseEvery_ = Uniform(rng_, 1, std::max(std::min(s_.quiet, s_.response) - 1, 1));
        const int64_t start = clock_.nowMs() + Uniform(rng_, 0, 40 * longest);
        neverQuietUntil_ = start + Uniform(rng_, 5 * longest, 30 * longest);
        ++f_.faults["never quiet"];
        Schedule(start, {}, Kind::Noise);
    }

    void Issue()
    {
        expect_ = model_->Next(rng_, *request_, this);
        request_->replySink = this;
        heard_.clear();
        device_.writes.clear();
        outstanding_ = true;
        issuedAt_ = clock_.nowMs();
        ++issued_;
        ++f_.requests;
        // Generous: every frame, every attempt, each with its pause and its wait for a quiet line.
        const int64_t attempts = std::max(s_.repetitions, 2) + 1;
        const int64_t hold = 11 * int64_t{std::max({s_.response, s_.quiet, s_.silenceMs})};
        bound_ = static_cast<int64_t>(std::max<size_t>(expect_.frames.size(), 1)) * attempts *
                     (s_.response + 250 + hold) + hold;
        Log("client > " + expect_.what);
        adapter_->Execute(request_.get());
    }

    void Heard(const Bytes& frame)
    {
        Log("line > " + Hex(frame));
        const auto it = std::find(expect_.frames.begin(), expect_.frames.end(), frame);
        if (!outstanding_ || it == expect_.frames.end()) {
            Violation("a frame the client did not ask for: " + Hex(frame));
            return;
        }
        heard_.insert(static_cast<size_t>(it - expect_.frames.begin()));
        std::string note;
        std::vector<Piece> pieces = faults_->Plan(model_->Answer(frame), clock_.nowMs(), f_, note);
        ++answers_;
        // Pieces of one moment arrive in the order they are scheduled: the
        // last is the latest of them scheduled last.
        size_t last = pieces.size();
        for (size_t i = 0; i < pieces.size(); ++i)
            if (!pieces[i].stray && (last == pieces.size() || pieces[i].at >= pieces[last].at)) last = i;
        for (size_t i = 0; i < pieces.size(); ++i)
            Schedule(pieces[i].at, std::move(pieces[i].bytes), pieces[i].stray ? Kind::Stray : Kind::Bytes, answers_,
                     i == last);
        if (!note.empty()) Log("fault" + note);
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
        Bytes data(r.data.begin(), r.data.begin() + std::min<size_t>(r.length, 64));
        Log("client < status " + std::to_string(r.status) + (r.kind == Read ? " data " + Hex(data) : ""));
        if (expect_.refused) {
            if (r.status != 1 || !heard_.empty()) Violation("a request that cannot be framed was not refused");
        } else if (r.status == 0) {
            bool right;
            if (r.kind == Read) {
                Bytes want = expect_.data;
                want.resize(std::min<size_t>(r.length, 64), 0);
                right = data == want;
            } else {
                right = heard_.size() == expect_.frames.size();  // every frame reached the drive
            }
            if (right) {
                ++f_.good;
            } else if (reach_ == Reach::Within) {
                Violation("status 0 with wrong data: " + Hex(data) + " instead of " + Hex(expect_.data));
            } else {
                ++f_.wrong[Name(reach_)];
            }
        } else if (!model_->FailureStatuses().count(r.status)) {
            Violation("an unexpected status " + std::to_string(r.status));
        }
        Schedule(clock_.nowMs() + (Chance(rng_, 50) ? 0 : Uniform(rng_, 0, s_.response + s_.quiet + 50)), {},
                 Kind::Client);
    }
    void SendBlock(const uint8_t*, uint32_t) override { Violation("a block in normal mode"); }

    Protocol protocol_;
    Reach reach_;
    uint64_t seed_;
    Rng rng_;
    bool verbose_;
    Settings s_;
    Findings f_;
    ManualClock clock_;
    FakeNotifier notifier_;
    FakeSerialDevice device_;
    LoopbackCanLibrary can_;
    std::unique_ptr<MemoryFiles> files_;
    std::unique_ptr<IniFile> ini_;
    std::unique_ptr<SerialAdapterBase> adapter_;
    std::unique_ptr<Model> model_;
    std::unique_ptr<Faults> faults_;
    std::unique_ptr<DriverRequest> request_;
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> events_;
    uint64_t order_ = 0;
    Expect expect_;
    std::set<size_t> heard_;
    bool outstanding_ = false;
    long issued_ = 0;
    int64_t issuedAt_ = 0, bound_ = 0;
    int64_t neverQuietUntil_ = 0;
    int noiseEvery_ = 1;
    std::deque<std::string> log_;
    uint64_t answers_ = 0;
    std::set<uint64_t> arriving_;  // answers whose first piece came and their last not yet
};

}  // namespace

Findings Explore(Protocol protocol, Reach reach, uint64_t seed, long requests)
{
    if (protocol == Protocol::Can) return ExploreCan(reach, seed, requests);
    Findings f = World(protocol, reach, seed, false).Run(requests);
    if (f.violations.empty()) return f;
    // Again with every event written down, for the report.
    Findings again = World(protocol, reach, seed, true).Run(requests);
    f.violations = again.violations.empty() ? f.violations : again.violations;
    return f;
}

}  // namespace nalvexa::test::faults
