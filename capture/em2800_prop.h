// Register, indirect-register and I2C access to an EM28xx video bridge through its driver's
// property interface.
#pragma once

#include "platform/em28xx.h"

#include <cstdint>
#include <memory>
#include <string>

class CEM2800Prop
{
public:
    // Results beside the driver's own codes.
    static constexpr int32_t kNotOpen = 6;
    static constexpr int32_t kBusy = 5;

    CEM2800Prop() = default;
    // An instance already holding a property interface (how tests reach a bridge of their own).
    explicit CEM2800Prop(std::unique_ptr<platform::Em28xxProperties> props)
        : m_props(std::move(props))
    {
    }

    // The bridge's configured device name; 1 when the driver left one.
    int GetTwainName(std::string* narrow, std::string* wide);
    // Finds the bridge among the video inputs and takes its property interface; null when none.
    platform::Em28xxProperties* Open();
    int32_t ReadReg(uint8_t reg, uint32_t length, uint8_t* data);
    int32_t WriteReg(uint8_t reg, uint32_t length, uint8_t* data);
    int32_t WriteIndirect(uint8_t index, const uint16_t* value);
    // A snapshot press latched by the bridge; reading it consumes it.
    bool CheckSnapButton();
    int32_t ReadGpio(uint8_t* value);
    int32_t SetI2C(uint8_t address, uint8_t reg, uint32_t length, uint8_t* data);

    int32_t lastResult() const { return m_result; }

private:
    void deselect(uint32_t property);
    int32_t registerTransfer(uint8_t reg, uint32_t length, uint8_t* data, bool write);
    std::unique_ptr<platform::Em28xxProperties> m_props;
    int32_t m_result = 0;
};

// The bridge's property object while a K1100 is in use: set up by the camera search, asked
// for the camera buttons, given up with the camera. The log names it as it always has.
class EM2800PropHolder
{
public:
    CEM2800Prop* get() const { return m_prop.get(); }
    // Opens the bridge and sets up its sensor; nothing is kept when there is no bridge.
    void init();
    void destroy();

private:
    std::unique_ptr<CEM2800Prop> m_prop;
};
