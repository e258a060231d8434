#include "bravik/core/io_request.h"

#include <algorithm>

namespace bravik
{

IoRequest::IoRequest(const KSP_NODE& request, const uint8_t* data, uint32_t size)
    : m_request(request), m_data(size)
{
    if (data && size)
        std::copy(data, data + size, m_data.begin());
}

void IoRequest::complete(int32_t result, uint32_t bytesReturned)
{
    std::lock_guard lock(m_mutex);
    m_result = result;
    m_bytesReturned = bytesReturned;
    m_done = true;
    m_completed.notify_all();
}

bool IoRequest::waitFor(std::chrono::milliseconds time)
{
    std::unique_lock lock(m_mutex);
    return m_completed.wait_for(lock, time, [this] { return m_done; });
}

bool IoRequest::done()
{
    std::lock_guard lock(m_mutex);
    return m_done;
}

} // namespace bravik
