// One request issued to a kernel handle: it owns its data, so it may complete after the
// issuer stopped waiting for it.
#pragma once

#include "bravik/core/ks_request.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace bravik
{

class IoRequest
{
public:
    IoRequest(const KSP_NODE& request, const uint8_t* data, uint32_t size);

    const KSP_NODE& request() const { return m_request; }
    uint8_t* data() { return m_data.empty() ? nullptr : m_data.data(); }
    uint32_t size() const { return uint32_t(m_data.size()); }

    void complete(int32_t result, uint32_t bytesReturned);
    // False when the request has not completed within the time.
    bool waitFor(std::chrono::milliseconds time);
    bool done();
    int32_t result() const { return m_result; }
    uint32_t bytesReturned() const { return m_bytesReturned; }

private:
    KSP_NODE m_request;
    std::vector<uint8_t> m_data;
    std::mutex m_mutex;
    std::condition_variable m_completed;
    bool m_done = false;
    int32_t m_result = 0;
    uint32_t m_bytesReturned = 0;
};

} // namespace bravik
