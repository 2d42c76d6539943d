// The IRIS worker on a thread of its own: closing its panel stops it for good.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "DirectBench.h"
#include "directaccess/Iris.h"

namespace ombrix {
namespace {

TEST(IrisWorker, StoppingEndsTheWorkerWithoutAnotherLine) {
    testing::DirectBench b({});
    b.bus.With(1, [](sim::SimProjector& p) { p.irisRunMs = 1000000000; });
    std::mutex mutex;
    std::vector<std::string> lines;
    std::atomic<bool> stopped{false}, lineAfterStop{false}, busySeen{false};
    {
        IrisControl iris(b.state, [&](int line, const std::string& text) {
            if (stopped) lineAfterStop = true;
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(std::to_string(line) + ":" + text);
            if (line == 2 && text == "busy ...") busySeen = true;
        });
        ASSERT_TRUE(iris.Start(IrisAction::Autoconvergence));
        ASSERT_TRUE(iris.StartWorker());
        while (!busySeen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        iris.Stop();
        stopped = true;
        EXPECT_FALSE(iris.WorkerActive());
    }
    EXPECT_FALSE(lineAfterStop);
    EXPECT_FALSE(b.state.direct.irisBusy);
}

TEST(IrisWorker, ANewCommandCutsTheLastOnesClosingPause) {
    testing::DirectBench b({});
    std::mutex mutex;
    std::vector<std::string> lines;
    IrisControl iris(b.state, [&](int line, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(std::to_string(line) + ":" + text);
    });
    ASSERT_TRUE(iris.Start(IrisAction::Focus));
    ASSERT_TRUE(iris.StartWorker());
    while (iris.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(iris.Start(IrisAction::Focus));
    ASSERT_TRUE(iris.StartWorker());
    while (iris.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    iris.Stop();
    std::lock_guard<std::mutex> lock(mutex);
    // From the second start until its worker reports, nothing clears the lines.
    const auto start = std::find(lines.rbegin(), lines.rend(), "1:>> Starting IRIS").base();
    ASSERT_NE(start, lines.begin());
    const auto busy = std::find(start, lines.end(), "2:busy ...");
    ASSERT_NE(busy, lines.end());
    EXPECT_EQ(std::find(start, busy, "1:"), busy);
}

}  // namespace
}  // namespace ombrix
