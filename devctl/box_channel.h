// The box's calls into Bravik, run on a thread of their own: a unit that stopped answering
// holds that thread for as long as the driver waits, never the window's. The window hands over
// a job and waits a short while for it; a job still running after that stays outstanding, and
// no further job is taken until it ended and, after a failure, a back-off has passed.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class BoxChannel
{
public:
    // A job returns the Bravik result of its calls: negative when one of them failed.
    using Job = std::function<int()>;
    using Clock = std::chrono::steady_clock;

    // Longer than any answering unit takes for a job, short beside a timer tick.
    static constexpr std::chrono::milliseconds kWait{50};
    // How long a unit that failed a request is left alone.
    static constexpr std::chrono::milliseconds kBackOff{1000};

    enum class Outcome {
        Done,    // ended within the wait and succeeded
        Failed,  // ended within the wait with a failure: backing off now
        Pending, // still running: outstanding
        Refused  // not taken: a job is outstanding or the back-off runs
    };

    // wait: how long run and queue wait for a job when not told.
    explicit BoxChannel(std::chrono::milliseconds wait = kWait);
    // Ends the worker as shutdown does, with no wait beyond the running job.
    ~BoxChannel();
    BoxChannel(const BoxChannel&) = delete;
    BoxChannel& operator=(const BoxChannel&) = delete;

    // Takes job only when the unit is free (see ready) and waits up to wait for it.
    Outcome run(Job job, std::chrono::milliseconds wait);
    Outcome run(Job job) { return run(std::move(job), m_wait); }
    // Takes job whatever runs, after the jobs already taken (releasing a unit must happen
    // even while it stalls); waits up to wait for it.
    Outcome queue(Job job, std::chrono::milliseconds wait);
    Outcome queue(Job job) { return queue(std::move(job), m_wait); }
    // Nothing outstanding and no back-off running.
    bool ready();
    // A job is taken or running.
    bool busy();
    // The last job that ended failed and nothing succeeded since.
    bool failing();

    // Runs the jobs taken, then ends the worker. False when they did not end within wait:
    // the worker is then left to finish them on its own, and everything they use must stay.
    bool shutdown(std::chrono::milliseconds wait);

private:
    struct Ticket;
    struct Shared; // outlives the channel when the worker is left behind
    Outcome take(Job job, std::chrono::milliseconds wait, bool whateverRuns);
    static void serve(std::shared_ptr<Shared> s);

    std::chrono::milliseconds m_wait;
    std::shared_ptr<Shared> m_s;
    std::thread m_worker;
};
