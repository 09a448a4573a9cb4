// SPDX-License-Identifier: MIT
// Requests through the real driver, and what their answers were: the status
// 0 answers that did not carry the expected data are counted as wrong.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "harness.h"

namespace nalvexa::it {

inline uint32_t StatusOf(const Bytes& answer)
{
    return answer.size() < 4 ? 0xFFFFFFFF
                             : uint32_t{answer[0]} << 24 | uint32_t{answer[1]} << 16 | uint32_t{answer[2]} << 8 |
                                   answer[3];
}

struct Tally {
    int wrong = 0;
    std::map<uint32_t, int> statuses;

    void Ask(Client& client, const Bytes& request, const Bytes& want, int timeoutMs = 15000)
    {
        client.Send(request);
        Bytes answer = client.Receive(4 + want.size(), timeoutMs);
        ASSERT_EQ(answer.size(), 4 + want.size()) << "every request gets its answer";
        const uint32_t status = StatusOf(answer);
        ++statuses[status];
        if (status == 0 && !std::equal(want.begin(), want.end(), answer.begin() + 4)) ++wrong;
        // A failed read carries zeros: part of an answer is no answer.
        if (status != 0) {
            EXPECT_EQ(Bytes(answer.begin() + 4, answer.end()), Bytes(want.size(), 0));
        }
    }
};

// Two reads of one drive, asked in turn: the answer to one taken for the
// other would show as wrong data.
struct TwoReads {
    const char* drive;
    const char* keyword;
    std::vector<std::string> sim;
    Bytes first, firstData, second, secondData;

    void Ask(Client& client, Tally& tally, int rounds) const
    {
        for (int i = 0; i < rounds; ++i) {
            tally.Ask(client, first, firstData);
            tally.Ask(client, second, secondData);
        }
    }
};

}  // namespace nalvexa::it
