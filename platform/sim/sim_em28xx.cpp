// The rig's EM28xx camera behind the property interface.
#include "platform/sim/sim_backends.h"

#include <scopesim/rig.h>

namespace platform
{

namespace
{

class SimEm28xxProperties : public Em28xxProperties
{
public:
    explicit SimEm28xxProperties(int id) : m_id(id) {}

    int32_t setProperty(uint32_t id, void* data) override
    {
        if (id == kEmPropRegSelect && data) {
            auto* p = static_cast<Em28xxRegisterRequest*>(data);
            scopesim::Em28xxRegisterRequest r{p->selector, p->length, p->data};
            return scopesim::em28xxSetProperty(m_id, id, &r);
        }
        if (id == kEmPropI2cSelect && data) {
            auto* p = static_cast<Em28xxI2cRequest*>(data);
            scopesim::Em28xxI2cRequest r{p->selector, p->data, p->write};
            return scopesim::em28xxSetProperty(m_id, id, &r);
        }
        return scopesim::em28xxSetProperty(m_id, id, data);
    }

    int32_t getProperty(uint32_t id, void* data) override
    {
        return scopesim::em28xxGetProperty(m_id, id, data);
    }

private:
    int m_id;
};

class SimEm28xx : public Em28xxAccess
{
public:
    std::unique_ptr<Em28xxProperties> open(const VideoInput& input, std::string*) override
    {
        for (const scopesim::VideoInputInfo& i : scopesim::videoInputs())
            if (i.devicePath == input.devicePath && scopesim::isEm28xx(i.id))
                return std::make_unique<SimEm28xxProperties>(i.id);
        return nullptr;
    }
};

} // namespace

std::unique_ptr<Em28xxAccess> makeSimEm28xx()
{
    return std::make_unique<SimEm28xx>();
}

} // namespace platform
