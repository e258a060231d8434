#include "platform/fd_watch.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/evtloopsrc.h>

namespace platform
{

struct FdWatch::Impl : public wxEventLoopSourceHandler {
    std::function<void()> onReadable;
    wxEventLoopSource* source = nullptr;

    void OnReadWaiting() override { onReadable(); }
    void OnWriteWaiting() override {}
    void OnExceptionWaiting() override {}
};

FdWatch::FdWatch(int fd, std::function<void()> onReadable) : m_impl(std::make_unique<Impl>())
{
    m_impl->onReadable = std::move(onReadable);
    if (fd >= 0 && wxTheApp)
        m_impl->source = wxEventLoopBase::AddSourceForFD(fd, m_impl.get(), wxEVENT_SOURCE_INPUT);
}

FdWatch::~FdWatch()
{
    delete m_impl->source;
}

bool FdWatch::active() const
{
    return m_impl->source != nullptr;
}

} // namespace platform
