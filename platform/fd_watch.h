// A file descriptor watched by the toolkit's event loop: the callback runs on the GUI thread
// whenever the fd is readable.
#pragma once

#include <functional>
#include <memory>

namespace platform
{

class FdWatch
{
public:
    // Needs the application object; active() tells whether the fd joined the loop.
    FdWatch(int fd, std::function<void()> onReadable);
    ~FdWatch();
    FdWatch(const FdWatch&) = delete;
    FdWatch& operator=(const FdWatch&) = delete;
    bool active() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform
