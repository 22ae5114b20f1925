#include <QCoreApplication>
#include <QLoggingCategory>
#include <QObject>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <variant>
#include <vector>

#include "platform/gui/OffThread.h"

namespace talvo::platform {
namespace {

using Outcome = std::variant<int, WorkFailure>;

TEST(OffThread, PostedTasksRunHereInOrderBeforeTheResult)
{
    QObject receiver;
    const std::thread::id here = std::this_thread::get_id();
    std::vector<int> seen;
    bool allHere = true;
    std::optional<Outcome> outcome;
    std::thread::id workedOn;
    runOffThread<int>(
        &receiver,
        [&seen, &allHere, &workedOn, here](const UiPost& post) {
            workedOn = std::this_thread::get_id();
            for (int i = 1; i <= 3; ++i)
                post([i, &seen, &allHere, here] {
                    allHere = allHere && std::this_thread::get_id() == here;
                    seen.push_back(i);
                });
            return 42;
        },
        [&](Outcome result) {
            allHere = allHere && std::this_thread::get_id() == here;
            seen.push_back(0);
            outcome = std::move(result);
        });
    EXPECT_FALSE(outcome) << "returns before the work is done";
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 5000));
    EXPECT_NE(workedOn, here);
    EXPECT_TRUE(allHere);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0}));
    ASSERT_TRUE(std::holds_alternative<int>(*outcome));
    EXPECT_EQ(std::get<int>(*outcome), 42);
}

TEST(OffThread, AnExceptionReachesTheCallerAndTheLog)
{
    static QStringList* lines = nullptr;
    QStringList logged;
    lines = &logged;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type == QtWarningMsg && QLatin1String(context.category) == QLatin1String("talvo.windows"))
                lines->push_back(message);
        });
    QObject receiver;
    std::optional<Outcome> outcome;
    runOffThread<int>(
        &receiver, [](const UiPost&) -> int { throw std::runtime_error("the disk is gone"); },
        [&](Outcome result) { outcome = std::move(result); });
    const bool ended = QTest::qWaitFor([&] { return outcome.has_value(); }, 5000);
    qInstallMessageHandler(previous);
    ASSERT_TRUE(ended);
    ASSERT_TRUE(std::holds_alternative<WorkFailure>(*outcome));
    EXPECT_EQ(std::get<WorkFailure>(*outcome).what, QStringLiteral("the disk is gone"));
    EXPECT_EQ(logged, QStringList{QStringLiteral("worker failed: the disk is gone")});
}

TEST(OffThread, NothingRunsOnceTheReceiverHasGone)
{
    auto receiver = std::make_unique<QObject>();
    auto release = std::make_shared<std::promise<void>>();
    auto finished = std::make_shared<std::promise<void>>();
    std::shared_future<void> go = release->get_future().share();
    std::future<void> workerDone = finished->get_future();
    int ran = 0;
    startOffThread(
        receiver.get(),
        [go, finished](const UiPost& post) {
            go.wait();
            post([] { ADD_FAILURE() << "a task ran for a receiver that has gone"; });
            finished->set_value();
        },
        [&ran](std::optional<WorkFailure>) { ++ran; });
    receiver.reset();
    release->set_value();
    ASSERT_EQ(workerDone.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    // Whatever the worker posted has had every chance to run.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);
}

} // namespace
} // namespace talvo::platform
