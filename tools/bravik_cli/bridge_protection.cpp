#include "tools/bravik_cli/bridge_protection.h"

#include "devctl/scope_registers.h"

namespace bravik::cli
{
int BridgeProtection::save()
{
    int result =
        m_api.readReg(m_unit, BV_MODE_A8D8, scope::kBridge, scope::kBridgeControl, &m_control);
    if (result == BV_OK)
        result =
            m_api.readReg(m_unit, BV_MODE_A8D8, scope::kBridge, scope::kBridgeEnable, &m_enable);
    m_saved = result == BV_OK;
    return result;
}

int BridgeProtection::restore()
{
    if (!m_saved)
        return BV_E_FAIL;
    // Both are tried: one failed write must not leave the other open.
    const int first =
        m_api.writeReg(m_unit, BV_MODE_A8D8, scope::kBridge, scope::kBridgeControl, &m_control);
    const int second =
        m_api.writeReg(m_unit, BV_MODE_A8D8, scope::kBridge, scope::kBridgeEnable, &m_enable);
    return first != BV_OK ? first : second;
}

} // namespace bravik::cli
