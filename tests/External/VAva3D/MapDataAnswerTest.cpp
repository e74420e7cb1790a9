#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MapDataAnswer.h"
#include "MapDataBytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> split(const Bytes& answer) {
    std::vector<Bytes> bodies;
    splitMapDataAnswer(answer,
                       [&](MapDataBody body) { bodies.emplace_back(body.begin(), body.end()); });
    return bodies;
}

// Every way of cutting the answer in two, and byte by byte, gives the splitter's bodies.
void expectStreamMatches(const Bytes& answer, const std::vector<Bytes>& expected) {
    for (std::size_t cut = 0; cut <= answer.size(); ++cut) {
        std::vector<Bytes> bodies;
        MapDataAnswerStream stream(
            [&](MapDataBody body) { bodies.emplace_back(body.begin(), body.end()); });
        stream.append(std::span(answer).first(cut));
        stream.append(std::span(answer).subspan(cut));
        EXPECT_EQ(bodies, expected) << "cut at " << cut;
    }
    std::vector<Bytes> bodies;
    MapDataAnswerStream stream(
        [&](MapDataBody body) { bodies.emplace_back(body.begin(), body.end()); });
    for (const auto byte : answer) stream.append(std::span(&byte, 1));
    EXPECT_EQ(bodies, expected);
}

TEST(MapDataAnswerTest, SplitsWholeRecordsAndNeverReadsOutside) {
    const Bytes a = testbytes::body("1320", "abc");
    const Bytes b = testbytes::body("1321", "");
    struct Case {
        const char* what;
        Bytes answer;
        bool accepted;
        std::vector<Bytes> bodies;
    };
    const std::vector<Case> cases = {
        {"empty", {}, false, {}},
        {"seven bytes", Bytes(7, 0), false, {}},
        {"status only", testbytes::answer(0, {}), true, {}},
        {"non-zero status", testbytes::answer(3, {testbytes::record(a)}), false, {}},
        {"two records",
         testbytes::answer(0, {testbytes::record(a), testbytes::record(b)}),
         true,
         {a, b}},
        {"length past the end",
         testbytes::cat(testbytes::answer(0, {testbytes::record(a)}), testbytes::header(100)),
         true,
         {a}},
        {"negative length stops",
         testbytes::cat(testbytes::answer(0, {}), testbytes::header(-8), testbytes::record(a)),
         true,
         {}},
        {"body shorter than 5 is skipped",
         testbytes::answer(0, {testbytes::record(Bytes{1, 2, 3}), testbytes::record(a)}),
         true,
         {a}},
        {"name past the body is skipped",
         testbytes::answer(0, {testbytes::record(Bytes{0, 0, 0, 0, 9, '1'}), testbytes::record(b)}),
         true,
         {b}},
        {"empty or undecodable names are skipped",
         testbytes::answer(0, {testbytes::record(testbytes::body("", "abc")),
                               testbytes::record(testbytes::body("\xff\xfe"
                                                                 "1",
                                                                 "abc")),
                               testbytes::record(b)}),
         true,
         {b}},
        {"trailing bytes shorter than a header",
         testbytes::cat(testbytes::answer(0, {testbytes::record(b)}), Bytes{1, 2, 3}),
         true,
         {b}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Bytes> bodies;
        const bool accepted = splitMapDataAnswer(
            c.answer, [&](MapDataBody body) { bodies.emplace_back(body.begin(), body.end()); });
        EXPECT_EQ(accepted, c.accepted);
        EXPECT_EQ(bodies, c.bodies);
        if (c.accepted) expectStreamMatches(c.answer, c.bodies);
    }
}

TEST(MapDataAnswerTest, StreamRefusesANonZeroStatusOnceEightBytesAreIn) {
    std::vector<Bytes> bodies;
    MapDataAnswerStream stream(
        [&](MapDataBody body) { bodies.emplace_back(body.begin(), body.end()); });
    const Bytes answer = testbytes::answer(1, {testbytes::record(testbytes::body("0", "x"))});
    EXPECT_TRUE(stream.append(std::span(answer).first(7)));
    EXPECT_FALSE(stream.statusKnown());
    EXPECT_FALSE(stream.append(std::span(answer).subspan(7, 1)));
    EXPECT_TRUE(stream.refused());
    EXPECT_FALSE(stream.append(std::span(answer).subspan(8)));
    EXPECT_TRUE(bodies.empty());
    EXPECT_EQ(split(answer).size(), 0u);
}

}  // namespace
