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

int InitPropertySize(CUVCXU& xu, BufferAllocator allocate)
{
    diagPrint("prop GUID {%08X %04X %04X...}\n", unsigned(xu.m_guid.data1),
              unsigned(xu.m_guid.data2), unsigned(xu.m_guid.data3));
    int remembered = 0;
    bool fatal = false;
    for (uint32_t s = 1; s < kSelectorRows; ++s) {
        SelectorEntry& row = xu.m_table[s];
        int result = xu.m_unit->GetPropertySize(s, &row.size);
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
