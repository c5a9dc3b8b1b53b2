#include "work/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvane::work {
namespace {

// Tasks append their number here; read once the worker has run them.
struct Log {
    std::mutex mutex;
    std::vector<int> order;
    void add(int n) {
        const std::lock_guard lock(mutex);
        order.push_back(n);
    }
    std::vector<int> taken() {
        const std::lock_guard lock(mutex);
        return order;
    }
};

TEST(Worker, StartsNoThreadUntilTheFirstTask) {
    Worker worker("idle");
    EXPECT_FALSE(worker.running());
    worker.flush(); // nothing to wait for
    EXPECT_FALSE(worker.running());
    std::promise<std::thread::id> ran;
    worker.post([&] { ran.set_value(std::this_thread::get_id()); });
    EXPECT_NE(ran.get_future().get(), std::this_thread::get_id());
    EXPECT_TRUE(worker.running());
}

TEST(Worker, RunsTasksInTheOrderPostedAndFlushWaitsForThem) {
    Worker worker("order");
    Log log;
    // The first task holds the queue up until another thread lets it go, so a flush that did
    // not wait would find the later tasks not yet run.
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    worker.post([&, open] {
        open.wait();
        log.add(0);
    });
    for (int n = 1; n <= 100; ++n) {
        worker.post([&log, n] { log.add(n); });
    }
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gate.set_value();
    });
    worker.flush();
    const std::vector<int> order = log.taken();
    opener.join();
    ASSERT_EQ(order.size(), 101u);
    for (int n = 0; n <= 100; ++n) {
        EXPECT_EQ(order[static_cast<std::size_t>(n)], n);
    }
}

TEST(Worker, ThreadCarriesItsName) {
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"config writer", "config writer"},
        {"fifteen bytes!!", "fifteen bytes!!"},
        // The system keeps 15 bytes: a longer name is cut, not refused.
        {"a name longer than fifteen", "a name longer t"},
    };
    for (const auto& c : cases) {
        Worker worker(c.name);
        std::promise<std::string> seen;
        worker.post([&] { seen.set_value(thisThreadName()); });
        EXPECT_EQ(seen.get_future().get(), c.shown) << c.name;
    }
}

// Tasks run on this thread so far; a new thread starts at 0.
thread_local int tasksOnThisThread = 0;

TEST(Worker, StopRunsWhatIsQueuedAndALaterTaskStartsANewThread) {
    Worker worker("stopping");
    Log log;
    for (int n = 0; n < 50; ++n) {
        worker.post([&log, n] { log.add(tasksOnThisThread++); });
    }
    worker.stop();
    EXPECT_FALSE(worker.running());
    ASSERT_EQ(log.taken().size(), 50u);
    EXPECT_EQ(log.taken().back(), 49); // all on one thread

    std::promise<int> second;
    worker.post([&] { second.set_value(tasksOnThisThread++); });
    EXPECT_EQ(second.get_future().get(), 0);
    EXPECT_TRUE(worker.running());
}

TEST(Worker, TasksPostedByTasksWhileStoppingStillRun) {
    Log log;
    {
        // Declared before the worker, so it outlives the worker's last task.
        std::function<void(int)> step;
        Worker worker("chain");
        // Each task posts the next, also while the destructor stops the worker.
        step = [&](int n) {
            log.add(n);
            if (n < 20) {
                worker.post([&step, n] { step(n + 1); });
            }
        };
        worker.post([&step] { step(0); });
    }
    EXPECT_EQ(log.taken().size(), 21u);
}

TEST(Worker, FlushAndStopFromItsOwnTaskReturn) {
    Worker worker("self");
    std::promise<bool> done;
    worker.post([&] {
        worker.flush();
        worker.stop();
        done.set_value(worker.onWorkerThread());
    });
    EXPECT_TRUE(done.get_future().get());
    worker.flush();
}

TEST(Worker, PostsFromManyThreadsAllRunOnce) {
    Worker worker("many");
    std::atomic<int> sum{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&] {
            for (int n = 1; n <= 250; ++n) {
                worker.post([&sum, n] { sum += n; });
            }
        });
    }
    // A stop in the middle of the posting loses nothing either.
    worker.stop();
    for (std::thread& poster : posters) {
        poster.join();
    }
    worker.flush();
    EXPECT_EQ(sum.load(), 4 * 250 * 251 / 2);
}

} // namespace
} // namespace zorvane::work
