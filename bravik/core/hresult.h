// Result codes in the COM convention that the library's callers expect.
#pragma once

#include <cstdint>

namespace bravik
{

constexpr int32_t hresult(uint32_t bits)
{
    return static_cast<int32_t>(bits);
}

constexpr int32_t S_OK = 0;
constexpr int32_t S_FALSE = 1;
constexpr int32_t kControlAbsent = 1;
constexpr int32_t kBufferAllocFailed = 1450;
constexpr int32_t E_FAIL = hresult(0x80004005);
constexpr int32_t E_POINTER = hresult(0x80004003);
constexpr int32_t E_NOINTERFACE = hresult(0x80004002);
constexpr int32_t E_INVALIDARG = hresult(0x80070057);
constexpr int32_t E_OUTOFMEMORY = hresult(0x8007000E);
constexpr int32_t kMoreData = hresult(0x800700EA); // error 234: the size query's answer
constexpr int32_t kIoPending = hresult(0x800703E5);

// A positive system error code as a result; zero and negatives pass unchanged.
constexpr int32_t hresultFromError(int32_t e)
{
    return e > 0 ? hresult(0x80070000u | (static_cast<uint32_t>(e) & 0xFFFFu)) : e;
}

// The system error code inside a result built by hresultFromError, else the result itself.
constexpr int32_t errorFromHresult(int32_t hr)
{
    return (static_cast<uint32_t>(hr) & 0xFFFF0000u) == 0x80070000u ? (hr & 0xFFFF) : hr;
}

} // namespace bravik
