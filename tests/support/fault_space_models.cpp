// SPDX-License-Identifier: MIT
#include "fault_space_models.h"

#include <algorithm>
#include <map>

#include "adapters/lvt/lvt_crc.h"

namespace nalvexa::test::faults {

namespace {

uint8_t Sum(const Bytes& b, size_t n)
{
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i) s = static_cast<uint8_t>(s + b[i]);
    return s;
}

// A value that differs from the one before.
uint16_t Fresh16(Rng& rng, uint16_t old)
{
    uint16_t v;
    do v = static_cast<uint16_t>(rng());
    while (v == old);
    return v;
}

Bytes FreshBytes(Rng& rng, const Bytes& old, size_t n)
{
    Bytes b(n);
    do
        for (auto& x : b) x = static_cast<uint8_t>(rng());
    while (b == old);
    return b;
}

void Copy(DriverRequest& r, const Bytes& data) { std::copy(data.begin(), data.end(), r.data.begin()); }

// Parameters of 16 bits, read and written one at a time; the answer echoes the frame.
class Tr7100Model : public Model {
public:
    Expect Next(Rng& rng, DriverRequest& r, IRequestReply* sink) override
    {
        Expect e;
        const uint16_t p = static_cast<uint16_t>(1 + rng() % 3);
        const uint32_t address = static_cast<uint32_t>(Uniform(rng, 1, 6));
        const uint32_t plain = Chance(rng, 50) ? 1 : 0;  // slIndex2 1: bit 6 stays clear
        const uint8_t command = static_cast<uint8_t>(address | (plain ? 0 : 0x40));
        const int kind = Uniform(rng, 0, 99);
        if (kind < 60) {
            const uint16_t v = values_[p] = Fresh16(rng, values_[p]);
            r.FillRead(address, 2, p, plain, 0, sink);
            e.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
            e.frames = {{command, static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)}};
            e.what = "read " + std::to_string(p);
        } else if (kind < 95) {
            const uint16_t v = static_cast<uint16_t>(rng());
            r.FillWrite(address, 2, p, plain, 0, sink);
            Copy(r, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
            Bytes f = {static_cast<uint8_t>(command | 0x80), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p),
                       static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
            f.push_back(Sum(f, 5));
            e.frames = {f};
            e.what = "write " + std::to_string(p);
        } else {
            // The record still holds an earlier write's value: none of it may go out.
            r.FillWrite(address, static_cast<uint32_t>(Uniform(rng, 0, 1)), p, plain, 0, sink);
            e.refused = true;
            e.what = "write of fewer than 2 bytes";
        }
        return e;
    }

    Bytes Answer(const Bytes& f) override
    {
        const uint16_t p = static_cast<uint16_t>(f[1] << 8 | f[2]);
        if (f.size() == 6) {
            values_[p] = static_cast<uint16_t>(f[3] << 8 | f[4]);
            return f;
        }
        const uint16_t v = values_[p];
        Bytes a = {f[0], f[1], f[2], static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
        a.push_back(static_cast<uint8_t>(a[3] + a[4]));
        return a;
    }

    std::set<int> FailureStatuses() const override { return {3, 4, 5}; }

private:
    std::map<uint16_t, uint16_t> values_;
};

// Objects of the byte form (several of the same size) and of the index form.
class QmrModel : public Model {
public:
    static constexpr uint8_t kAddress = 3;

    Expect Next(Rng& rng, DriverRequest& r, IRequestReply* sink) override
    {
        Expect e;
        const bool write = Chance(rng, 35);
        if (Chance(rng, 3)) {
            r.FillRead(kAddress, 300, 0, 1, 1, sink);
            e.refused = true;
            e.what = "read of 300 bytes";
            return e;
        }
        if (Chance(rng, 30)) {
            // The index form: index 7 holds 2 bytes, index 8 holds 4.
            const uint16_t index = static_cast<uint16_t>(Chance(rng, 50) ? 7 : 8);
            const uint32_t n = index == 7 ? 2 : 4;
            Bytes head = {kAddress, static_cast<uint8_t>(write ? 0x02 : 0x01), static_cast<uint8_t>(index),
                          static_cast<uint8_t>(index >> 8)};
            Bytes& stored = values_[Key(0, index)];
            if (write) {
                Bytes data = FreshBytes(rng, {}, n);
                r.FillWrite(kAddress, n, 1, index, 0, sink);
                Copy(r, data);
                head.insert(head.end(), data.begin(), data.end());
            } else {
                stored = FreshBytes(rng, stored, n);
                r.FillRead(kAddress, n, 1, index, 0, sink);
                e.data = stored;
                head.push_back(static_cast<uint8_t>(n));
            }
            e.frames = {Seal(head)};
            e.what = std::string(write ? "write" : "read") + " index " + std::to_string(index);
            return e;
        }
        const uint8_t sub = static_cast<uint8_t>(Uniform(rng, 1, 2));
        const uint8_t index = static_cast<uint8_t>(Uniform(rng, 1, 3));
        const uint32_t n = static_cast<uint32_t>(Chance(rng, 60) ? 2 : Uniform(rng, 1, 6));
        Bytes head = {kAddress, static_cast<uint8_t>(write ? 0x12 : 0x11), sub, index};
        if (write) {
            Bytes data = FreshBytes(rng, {}, n);
            r.FillWrite(kAddress, n, 0, index, sub, sink);
            Copy(r, data);
            head.insert(head.end(), data.begin(), data.end());
        } else {
            Bytes& stored = values_[Key(sub, index)];
            Bytes old = stored;
            old.resize(n, 0);
            stored = FreshBytes(rng, old, n);
            r.FillRead(kAddress, n, 0, index, sub, sink);
            e.data = stored;
            head.push_back(static_cast<uint8_t>(n));
        }
        e.frames = {Seal(head)};
        e.what = std::string(write ? "write " : "read ") + std::to_string(sub) + "/" + std::to_string(index) + " of " +
                 std::to_string(n);
        return e;
    }

    Bytes Answer(const Bytes& f) override
    {
        const uint8_t command = f[2];
        Bytes payload;
        if (command == 0x01 || command == 0x11) {
            const uint32_t key = command == 0x01 ? Key(0, static_cast<uint16_t>(f[3] | f[4] << 8)) : Key(f[3], f[4]);
            payload = values_[key];
            payload.resize(f[5], 0);
        } else {
            const uint32_t key = command == 0x02 ? Key(0, static_cast<uint16_t>(f[3] | f[4] << 8)) : Key(f[3], f[4]);
            values_[key].assign(f.begin() + 5, f.end() - 1);
        }
        Bytes a = {static_cast<uint8_t>(3 + payload.size() + 1), f[1], command, 0};
        a.insert(a.end(), payload.begin(), payload.end());
        a.push_back(Sum(a, a.size()));
        return a;
    }

    // 2: the error flag, which a stray byte in the right place can set.
    std::set<int> FailureStatuses() const override { return {2, 3, 4, 5}; }

private:
    static uint32_t Key(uint8_t sub, uint16_t index) { return uint32_t{sub} << 16 | index; }
    static Bytes Seal(Bytes head)
    {
        head.insert(head.begin(), static_cast<uint8_t>(head.size() + 1));
        head.push_back(Sum(head, head.size()));
        return head;
    }
    std::map<uint32_t, Bytes> values_;
};

// Object 0x10 of 300 elements of 2 bytes, object 0x20 of 40 of 4 bytes:
// transfers above 128 bytes go in several frames.
class LvtModel : public Model {
public:
    LvtModel()
    {
        objects_[0x10] = {2, std::vector<uint32_t>(300)};
        objects_[0x20] = {4, std::vector<uint32_t>(40)};
    }

    Expect Next(Rng& rng, DriverRequest& r, IRequestReply* sink) override
    {
        Expect e;
        const uint16_t number = Chance(rng, 70) ? 0x10 : 0x20;
        Object& o = objects_[number];
        const uint32_t size = static_cast<uint32_t>(o.elements.size());
        const uint32_t n = static_cast<uint32_t>(Chance(rng, 60) ? Uniform(rng, 1, 2) : Uniform(rng, 1, std::min<int>(100, static_cast<int>(size))));
        const uint32_t first = static_cast<uint32_t>(Uniform(rng, 0, static_cast<int>(size - n)));
        const uint32_t length = n * o.size;
        const bool write = Chance(rng, 35);
        if (write && n >= 2 && Chance(rng, 5)) {
            r.FillWrite(0, length + 1, number, first, n, sink);
            e.refused = true;
            e.what = "write of bytes that are no whole number of elements";
            return e;
        }
        Bytes data;
        if (write) {
            data = FreshBytes(rng, {}, length);
            r.FillWrite(0, length, number, first, n, sink);
            Copy(r, data);
        } else {
            for (uint32_t j = first; j < first + n; ++j) {
                uint32_t v;
                do v = static_cast<uint32_t>(rng()) & Mask(o.size);
                while (v == o.elements[j]);
                o.elements[j] = v;
                for (uint32_t b = 0; b < o.size; ++b) e.data.push_back(static_cast<uint8_t>(v >> (8 * b)));
            }
            r.FillRead(0, length, number, first, n, sink);
        }
        // The frames of the split, each element high byte first.
        const uint32_t per = length > 128 ? 128 / o.size : n;
        for (uint32_t done = 0; done < n; done += per) {
            const uint32_t offset = first + done, count = std::min(per, n - done);
            Bytes p = {static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number), static_cast<uint8_t>(offset >> 16),
                       static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset), static_cast<uint8_t>(count)};
            if (write)
                for (uint32_t j = done; j < done + count; ++j)
                    for (uint32_t b = o.size; b-- > 0;) p.push_back(data[j * o.size + b]);
            e.frames.push_back(Frame(p));
        }
        e.what = std::string(write ? "write " : "read ") + std::to_string(n) + " of object " + std::to_string(number) +
                 " from " + std::to_string(first);
        return e;
    }

    Bytes Answer(const Bytes& f) override
    {
        const uint16_t number = static_cast<uint16_t>(f[1] << 8 | f[2]);
        const uint32_t offset = uint32_t{f[3]} << 16 | uint32_t{f[4]} << 8 | f[5];
        const uint32_t count = f[6];
        Object& o = objects_[number];
        Bytes p = {f[1], f[2], f[3], f[4], f[5], 0};
        const bool write = f.size() > 9;  // a read frame is 9 bytes
        for (uint32_t j = 0; j < count; ++j) {
            if (write) {
                uint32_t v = 0;
                for (uint32_t b = 0; b < o.size; ++b) v = v << 8 | f[7 + j * o.size + b];
                o.elements[offset + j] = v;
            } else {
                for (uint32_t b = o.size; b-- > 0;) p.push_back(static_cast<uint8_t>(o.elements[offset + j] >> (8 * b)));
            }
        }
        return Frame(p);
    }

    // 42 to 85: a controller's status, which garbage can carry.
    std::set<int> FailureStatuses() const override
    {
        std::set<int> s = {1, 3, 4, 5};
        for (int c = 42; c <= 85; ++c) s.insert(c);
        return s;
    }

private:
    struct Object {
        uint32_t size;
        std::vector<uint32_t> elements;
    };
    static uint32_t Mask(uint32_t size) { return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }
    Bytes Frame(Bytes p) const
    {
        p.insert(p.begin(), static_cast<uint8_t>(p.size() + 2));
        const uint16_t c = crc_.Compute(p.data(), p.size());
        p.push_back(static_cast<uint8_t>(c >> 8));
        p.push_back(static_cast<uint8_t>(c));
        return p;
    }
    std::map<uint16_t, Object> objects_;
    LvtCrc16 crc_;
};

}  // namespace

std::unique_ptr<Model> MakeModel(Protocol protocol, const Settings&)
{
    switch (protocol) {
    case Protocol::Tr7100: return std::make_unique<Tr7100Model>();
    case Protocol::Qmr: return std::make_unique<QmrModel>();
    default: return std::make_unique<LvtModel>();
    }
}

}  // namespace nalvexa::test::faults
