#include "bravik/core/uvc_xu.h"

#include "bravik/core/diagnostics.h"
#include "bravik/core/hresult.h"

#include <new>

namespace bravik
{

uint8_t* allocateControlBuffer(uint32_t size)
{
    return new (std::nothrow) uint8_t[size]();
}

CUVCXU::CUVCXU(int nodeId, IBaseFilter* filter, int* result, const Guid& guid,
               BufferAllocator allocate)
    : m_guid(guid), m_nodeId(nodeId)
{
    for (int i = 0; i < kSelectorRows; ++i)
        m_table[i].id = uint32_t(i);
    m_unit = std::make_unique<IExtensionUnit>(m_guid, uint32_t(nodeId));
    m_unit->Attach(filter);
    int r = InitPropertySize(*this, allocate);
    if (result)
        *result = r;
}

CUVCXU::~CUVCXU()
{
    for (auto& row : m_table) {
        row.buffer.reset();
        row.size = 0;
    }
}

bool CUVCXU::present(int selector) const
{
    return selector > 0 && selector < kSelectorRows && m_table[selector].buffer != nullptr;
}

namespace
{
// Answers that say the control is not there (uvcvideo's ENOENT for a selector or unit it does
// not know; the kernel-streaming "not found" codes): asking again would not change them.
bool controlMissing(int32_t result)
{
    return result == hresultFromError(2) || result == int32_t(0x80070490u) ||
           result == int32_t(0x80070492u);
}
} // namespace

int CUVCXU::requerySize(int selector, BufferAllocator allocate)
{
    if (selector <= 0 || selector >= kSelectorRows)
        return S_OK;
    SelectorEntry& row = m_table[selector];
    if (!row.askAgain)
        return S_OK;
    uint32_t size = 0;
    const int32_t result = m_unit->GetPropertySize(uint32_t(selector), &size);
    diagPrint(" prop %02u: size %lu again [%08X]\n", unsigned(selector), (unsigned long)size,
              unsigned(result));
    if (result < 0) {
        row.askAgain = !controlMissing(result);
        return row.askAgain ? result : S_OK;
    }
    row.askAgain = false;
    row.size = size;
    if (size >= 1 && size <= kMaxControlSize)
        row.buffer.reset(allocate(size));
    return S_OK;
}

int InitPropertySize(CUVCXU& xu, BufferAllocator allocate)
{
    diagPrint("prop GUID {%08X %04X %04X...}\n", unsigned(xu.m_guid.data1),
              unsigned(xu.m_guid.data2), unsigned(xu.m_guid.data3));
    int remembered = 0;
    bool fatal = false;
    bool timedOut = false;
    for (uint32_t s = 1; s < kSelectorRows; ++s) {
        SelectorEntry& row = xu.m_table[s];
        int result = xu.m_unit->GetPropertySize(s, &row.size);
        row.askAgain = result < 0 && !controlMissing(result);
        // E_FAIL is what a request that got no answer in time gives (errors the device
        // answers with carry their own codes).
        timedOut = timedOut || result == E_FAIL;
        if (xu.m_nodeId == 1 && s == 1 && result < 0) {
            remembered = result;
            fatal = true;
            diagPrint("0x80070492 -- Node ID failed\n");
            diagPrint("0x80070490 -- Prop ID failed\n");
            diagPrint("0x80070015 -- Delay time issue\n");
        }
        if (result != 0)
            diagPrint(" prop %02u: size %lu [%08X]\n", s, (unsigned long)row.size,
                      unsigned(result));
        else
            diagPrint(" prop %02u: size %lu\n", s, (unsigned long)row.size);
    }
    if (fatal)
        return remembered;
    // A unit that did not answer is not a unit without controls: say so at creation rather
    // than hand out a unit whose transfers would all report a missing control.
    if (timedOut) {
        diagPrint("InitPropertySize timeout\n");
        return E_FAIL;
    }
    for (uint32_t s = 1; s < kSelectorRows; ++s) {
        SelectorEntry& row = xu.m_table[s];
        if (row.size < 1 || row.size > kMaxControlSize)
            continue;
        row.buffer.reset(allocate(row.size));
        if (!row.buffer) {
            diagPrint("InitPropertySize OK!");
            return kBufferAllocFailed;
        }
    }
    diagPrint("InitPropertySize OK!");
    return S_OK;
}

} // namespace bravik
