#include <gtest/gtest.h>

#include "browser/logic/LoadFailure.h"

using namespace talvo::browserlogic;
using namespace std::chrono_literals;

TEST(LoadFailure, KindsOfMainFrameFailures)
{
    struct Row {
        FailureDomain domain;
        int code;
        std::optional<FailureKind> kind;
    };
    const Row rows[] = {
        {FailureDomain::Connection, -102, FailureKind::Refused},
        {FailureDomain::Connection, 102, FailureKind::Refused}, // sign does not matter
        {FailureDomain::Dns, -105, FailureKind::HostUnknown},
        {FailureDomain::Connection, -137, FailureKind::HostUnknown},
        {FailureDomain::Connection, -118, FailureKind::TimedOut},
        {FailureDomain::Internal, -7, FailureKind::TimedOut},
        {FailureDomain::Connection, -101, FailureKind::Reset},
        {FailureDomain::Http, -324, FailureKind::Reset}, // empty response
        {FailureDomain::Connection, -106, FailureKind::Offline},
        {FailureDomain::Certificate, -202, FailureKind::Insecure},  // authority invalid
        {FailureDomain::Certificate, -200, FailureKind::Insecure},  // name mismatch
        {FailureDomain::Certificate, -201, FailureKind::Insecure},  // expired
        {FailureDomain::Certificate, -9999, FailureKind::Insecure}, // unknown, by domain
        {FailureDomain::Connection, -107, FailureKind::TlsFailed},
        {FailureDomain::Connection, -130, FailureKind::ProxyFailed},
        {FailureDomain::Connection, -111, FailureKind::ProxyFailed},
        {FailureDomain::Connection, -115, FailureKind::ProxyAuth},
        {FailureDomain::Connection, -127, FailureKind::ProxyAuth},
        {FailureDomain::Connection, -999, FailureKind::Other},
        // Not ours to show: replaced or stopped loads, and the server's own answers.
        {FailureDomain::Internal, -3, std::nullopt},
        {FailureDomain::Connection, -3, std::nullopt},
        {FailureDomain::HttpStatus, 404, std::nullopt},
        {FailureDomain::HttpStatus, 503, std::nullopt},
        {FailureDomain::None, 0, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(classifyFailure(row.domain, row.code), row.kind) << "code " << row.code;
}

TEST(LoadFailure, WordsNameTheHostAndSayWhetherRetryingHelps)
{
    const FailureWords insecure = describeFailure(FailureKind::Insecure, u"app.example");
    EXPECT_NE(insecure.headline.find(u"不安全"), std::u16string::npos);
    EXPECT_NE(insecure.headline.find(u"app.example"), std::u16string::npos);
    EXPECT_EQ(insecure.advice.find(u"重试"), std::u16string::npos); // no retry offered for it
    EXPECT_FALSE(retryMayHelp(FailureKind::Insecure));

    for (FailureKind kind : {FailureKind::Refused, FailureKind::HostUnknown, FailureKind::TimedOut, FailureKind::Reset,
                             FailureKind::TlsFailed, FailureKind::Other}) {
        const FailureWords words = describeFailure(kind, u"127.0.0.1");
        EXPECT_NE(words.headline.find(u"127.0.0.1"), std::u16string::npos) << int(kind);
        EXPECT_NE(words.advice.find(u"重试"), std::u16string::npos) << int(kind);
        EXPECT_TRUE(retryMayHelp(kind));
    }
    // No host known: still a sentence, never a blank where the name goes.
    EXPECT_NE(describeFailure(FailureKind::Refused, u"").headline.find(u"服务器"), std::u16string::npos);
}

TEST(RetrySchedule, BacksOffFrom15sTo2MinutesAndStartsOverAfterSuccess)
{
    RetrySchedule schedule;
    const auto t0 = RetrySchedule::Clock::time_point{} + 1h;
    std::vector<std::chrono::milliseconds> waits;
    for (int i = 0; i < 6; ++i)
        waits.push_back(schedule.failed(t0 + i * 1min));
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{15s, 30s, 60s, 120s, 120s, 120s}));
    schedule.succeeded();
    EXPECT_EQ(schedule.failed(t0 + 1h), 15s);
}

TEST(RetrySchedule, NetworkBackRetriesAtOnceButNeverFasterThanTheGap)
{
    RetrySchedule schedule(15s, 2min, 3s);
    const auto t0 = RetrySchedule::Clock::time_point{} + 1h;
    EXPECT_EQ(schedule.networkBack(t0), 0ms); // nothing failed yet
    schedule.failed(t0);
    EXPECT_EQ(schedule.networkBack(t0 + 1s), 2s);
    EXPECT_EQ(schedule.networkBack(t0 + 3s), 0ms);
    EXPECT_EQ(schedule.networkBack(t0 + 10s), 0ms);
    // A schedule set shorter than the gap still waits the gap.
    RetrySchedule quick(1s, 2s, 3s);
    EXPECT_EQ(quick.failed(t0), 3s);
}
