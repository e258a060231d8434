// The program started for key tests: its window up, the keyboard going to it without a click
// (given by a window manager, or following the pointer on a bare server) and the scope's
// pictures arriving. What the program prints is kept for the end.
#pragma once

#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_input.h"
#include "support/x_windows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/wait.h>

namespace e2e
{

class KeySession
{
public:
    // How long a key's effect may take before a test calls it lost: a guard against a hang,
    // far above what a loaded machine takes.
    static constexpr int kEffectBound = 90000;

    // Settings beyond the storage folder, which is the user's own DCIM.
    explicit KeySession(std::string settings = {}) : m_settings(std::move(settings)) {}

    static bool programBuilt() { return fs::exists(programDir() + "/orvex"); }
    // Why a key test cannot run here (empty when it can): for GTEST_SKIP.
    static std::string cannotRun()
    {
        if (!programBuilt())
            return "the program is not built";
        if (!xinput::available())
            return "no X display";
        return {};
    }

    // Use with ASSERT_NO_FATAL_FAILURE.
    void start(bool windowManager)
    {
        m_program = std::make_unique<Program>(home.str(),
                                              "PATH " + dcim.string() + "\n" + m_settings, output);
        ASSERT_GT(m_program->pid(), 0);
        ASSERT_TRUE(waitFor(
            [&] { return (m_window = xwindows::viewableWindowOf(m_program->pid())); },
            kEffectBound))
            << "no window\n"
            << readFile(output);
        if (windowManager) {
            // The window manager gives the new window the focus, as for any program.
            ASSERT_TRUE(waitFor([&] { return xwindows::hasFocus(m_window); }, kEffectBound))
                << "the window manager did not focus the window";
        } else {
            // Without one the keyboard follows the pointer: over the window, no click.
            xwindows::Rect r;
            ASSERT_TRUE(xwindows::placeOf(m_window, r));
            ASSERT_TRUE(xinput::moveTo(r.x + r.width / 2, r.y + r.height / 2));
        }
        ASSERT_TRUE(waitFor([&] { return log().find("QueryFrame OK") != std::string::npos; },
                            kEffectBound))
            << log();
    }

    // Waits for a key's effect, bounded, and says how long it took: the margin to the bound
    // shows in the test's output.
    bool awaitEffect(const char* what, const std::function<bool()>& happened) const
    {
        const auto begun = std::chrono::steady_clock::now();
        const bool seen = waitFor(happened, kEffectBound);
        std::printf("%s: %s after %.1f s\n", what, seen ? "seen" : "NOT seen",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count());
        return seen;
    }

    // Each key pressed once.
    void press(std::initializer_list<const char*> keys)
    {
        for (const char* k : keys)
            ASSERT_TRUE(xinput::key(k)) << k;
    }

    pid_t pid() const { return m_program ? m_program->pid() : -1; }
    std::string log() const { return readFile((data / "log.txt").string()); }
    std::string printed() const { return readFile(output); }

    // Ends it as a logout would: it must close cleanly, having printed no toolkit complaint.
    void finish()
    {
        const int status = m_program->stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n"
                                                                   << printed();
        EXPECT_EQ(toolkitComplaints(printed()), "");
    }

    TempDir home;
    const fs::path data = home.path() / "Orvex";
    const fs::path dcim = data / "DCIM";
    const std::string output = (home.path() / "output.txt").string();

private:
    std::string m_settings;
    std::unique_ptr<Program> m_program;
    unsigned long m_window = 0;
};

} // namespace e2e
