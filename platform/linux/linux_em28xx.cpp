// The EM28xx property interface on Linux: bridge registers through the V4L2 debug register
// ioctls (kernels built with advanced debugging, and privilege), I2C through i2c-dev.
#include "platform/linux/linux_backends.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <vector>

namespace platform
{

namespace fs = std::filesystem;

namespace
{

class LinuxEm28xxProperties : public Em28xxProperties
{
public:
    LinuxEm28xxProperties(const LinuxContext& ctx, int fd, fs::path usbPath)
        : m_ctx(ctx), m_fd(fd), m_usbPath(std::move(usbPath))
    {
    }
    ~LinuxEm28xxProperties() override { m_ctx.ops.close(m_ctx.ops.ctx, m_fd); }

    int32_t setProperty(uint32_t id, void* data) override
    {
        if (!data)
            return kEmInvalidArg;
        switch (id) {
        case kEmPropRegSelect:
            return selectRegister(*static_cast<Em28xxRegisterRequest*>(data));
        case kEmPropRegData:
            return registerData(static_cast<uint8_t*>(data), true);
        case kEmPropI2cSelect:
            return selectI2c(*static_cast<Em28xxI2cRequest*>(data));
        case kEmPropI2cData:
            return i2cData(static_cast<uint8_t*>(data), true);
        default:
            return kEmNotImplemented;
        }
    }

    int32_t getProperty(uint32_t id, void* data) override
    {
        if (!data)
            return kEmInvalidArg;
        switch (id) {
        case kEmPropRegData:
            return registerData(static_cast<uint8_t*>(data), false);
        case kEmPropI2cData:
            return i2cData(static_cast<uint8_t*>(data), false);
        default:
            // The driver-information words of other systems have no counterpart here.
            return kEmNotImplemented;
        }
    }

private:
    int32_t selectRegister(const Em28xxRegisterRequest& rq)
    {
        if (rq.selector == 0) {
            m_regLen = 0;
            return 0;
        }
        uint32_t len = rq.selector & 0xFF, reg = (rq.selector >> 8) & 0xFF;
        if (len == 0 || len != rq.length || (rq.selector >> 16) || reg + len > 256)
            return kEmInvalidArg;
        m_reg = reg;
        m_regLen = len;
        return 0;
    }

    // The driver moves two bytes at a time for a few registers (0x30, 0x32, 0x40: the
    // low byte of a pair), one elsewhere.
    static bool pairedRegister(uint32_t reg) { return reg == 0x30 || reg == 0x32 || reg == 0x40; }

    int32_t debugRegister(unsigned long request, uint32_t reg, uint64_t& val)
    {
        v4l2_dbg_register r{};
        r.match.type = V4L2_CHIP_MATCH_BRIDGE;
        r.match.addr = 0;
        r.size = pairedRegister(reg) ? 2 : 1;
        r.reg = reg;
        r.val = val;
        if (m_ctx.ops.ioctl(m_ctx.ops.ctx, m_fd, request, &r) < 0)
            return emErrno(errno);
        val = r.val;
        return 0;
    }

    int32_t registerData(uint8_t* bytes, bool write)
    {
        if (!m_regLen)
            return kEmNotSelected;
        for (uint32_t i = 0; i < m_regLen;) {
            const uint32_t reg = m_reg + i;
            const bool pair = pairedRegister(reg);
            const bool both = pair && i + 1 < m_regLen;
            uint64_t val = 0;
            if (write) {
                if (pair && !both) {
                    // Only the low byte was asked for: keep the high one as it is.
                    if (int32_t e = debugRegister(VIDIOC_DBG_G_REGISTER, reg, val))
                        return e;
                    val = (val & 0xFF00) | bytes[i];
                } else {
                    val = bytes[i] | (both ? bytes[i + 1] << 8 : 0);
                }
                if (int32_t e = debugRegister(VIDIOC_DBG_S_REGISTER, reg, val))
                    return e;
            } else {
                if (int32_t e = debugRegister(VIDIOC_DBG_G_REGISTER, reg, val))
                    return e;
                bytes[i] = static_cast<uint8_t>(val);
                if (both)
                    bytes[i + 1] = static_cast<uint8_t>(val >> 8);
            }
            i += both ? 2 : 1;
        }
        return 0;
    }

    int32_t selectI2c(const Em28xxI2cRequest& rq)
    {
        if (rq.selector == 0) {
            m_i2cLen = 0;
            return 0;
        }
        if ((rq.selector >> 24) != 0x01 || (rq.selector & 0xFF) == 0)
            return kEmInvalidArg;
        m_i2cAddr = static_cast<uint8_t>(rq.selector >> 16);
        m_i2cReg = static_cast<uint8_t>(rq.selector >> 8);
        m_i2cLen = rq.selector & 0xFF;
        m_i2cWrite = rq.write == 1;
        return 0;
    }

    // The bridge's first I2C adapter, as i2c-dev shows it.
    fs::path i2cNode() const
    {
        std::error_code ec;
        std::vector<fs::path> dirs{m_usbPath};
        for (fs::directory_iterator it(m_usbPath, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_directory(ec))
                dirs.push_back(it->path());
        for (const fs::path& d : dirs) {
            std::error_code ec2;
            for (fs::directory_iterator it(d, ec2), end; !ec2 && it != end; it.increment(ec2)) {
                std::string n = it->path().filename().string();
                if (n.rfind("i2c-", 0) == 0 && n.size() > 4)
                    return m_ctx.root.dev() / n;
            }
        }
        return {};
    }

    int32_t i2cData(uint8_t* bytes, bool write)
    {
        if (!m_i2cLen)
            return kEmNotSelected;
        if (write != m_i2cWrite)
            return kEmInvalidArg;
        fs::path node = m_usbPath.empty() ? fs::path() : i2cNode();
        if (node.empty())
            return emErrno(ENODEV);
        std::vector<uint8_t> out(1 + (write ? m_i2cLen : 0));
        out[0] = m_i2cReg;
        if (write)
            std::memcpy(out.data() + 1, bytes, m_i2cLen);
        i2c_msg msgs[2]{};
        const uint16_t addr7 = static_cast<uint16_t>(m_i2cAddr >> 1);
        msgs[0] = {addr7, 0, static_cast<uint16_t>(out.size()), out.data()};
        msgs[1] = {addr7, I2C_M_RD, static_cast<uint16_t>(m_i2cLen), bytes};
        i2c_rdwr_ioctl_data rq{msgs, write ? 1u : 2u};
        int err = 0;
        int r = withNode(m_ctx.ops, node.c_str(), O_RDWR, [&](int fd) {
            int x = m_ctx.ops.ioctl(m_ctx.ops.ctx, fd, I2C_RDWR, &rq);
            err = errno;
            return x;
        });
        if (r < 0)
            return emErrno(err ? err : errno);
        return 0;
    }

    LinuxContext m_ctx;
    int m_fd;
    fs::path m_usbPath;
    uint32_t m_reg = 0, m_regLen = 0;
    uint8_t m_i2cAddr = 0, m_i2cReg = 0;
    uint32_t m_i2cLen = 0;
    bool m_i2cWrite = false;
};

class LinuxEm28xx : public Em28xxAccess
{
public:
    explicit LinuxEm28xx(const LinuxContext& ctx) : m_ctx(ctx) {}

    std::unique_ptr<Em28xxProperties> open(const VideoInput& input, std::string* why) override
    {
        if (input.devicePath.empty())
            return nullptr;
        int fd = m_ctx.ops.open(m_ctx.ops.ctx, input.devicePath.c_str(), O_RDWR | O_NONBLOCK);
        if (fd < 0)
            return nullptr;
        // The debug-register ioctls exist only in kernels built with CONFIG_VIDEO_ADV_DEBUG
        // (ENOTTY otherwise) and need CAP_SYS_ADMIN (EPERM): without them the bridge cannot
        // be reached, and the camera runs without its register set-up and button poll.
        v4l2_dbg_register probe{};
        probe.match.type = V4L2_CHIP_MATCH_BRIDGE;
        probe.match.addr = 0;
        probe.size = 1;
        probe.reg = 0;
        if (m_ctx.ops.ioctl(m_ctx.ops.ctx, fd, VIDIOC_DBG_G_REGISTER, &probe) < 0) {
            const int err = errno;
            m_ctx.ops.close(m_ctx.ops.ctx, fd);
            if (why)
                *why = err == ENOTTY  ? "bridge registers need a kernel built with "
                                        "CONFIG_VIDEO_ADV_DEBUG"
                       : err == EPERM ? "bridge registers need CAP_SYS_ADMIN"
                                      : std::string("bridge registers: ") + std::strerror(err);
            return nullptr;
        }
        return std::make_unique<LinuxEm28xxProperties>(m_ctx, fd, input.usbPath);
    }

private:
    LinuxContext m_ctx;
};

class LinuxRegistry : public Registry
{
public:
    // Linux drivers leave no such values behind.
    std::optional<std::string> readString(const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
};

} // namespace

std::unique_ptr<Em28xxAccess> makeLinuxEm28xx(const LinuxContext& ctx)
{
    return std::make_unique<LinuxEm28xx>(ctx);
}

std::unique_ptr<Registry> makeLinuxRegistry()
{
    return std::make_unique<LinuxRegistry>();
}

} // namespace platform
