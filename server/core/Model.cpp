#include "server/core/Model.h"

namespace navilonix::server {

long carFlags(std::uint16_t inputs, std::uint16_t status) {
    long flags = 0;
    if (inputs & 0x01)
        flags |= 0x02;
    if (inputs & 0x02)
        flags |= 0x01;
    if (status & StatusExternalPower)
        flags |= 0x04;
    if (status & StatusValidFix)
        flags |= 0x08;
    for (int sensor = 3; sensor <= SensorCount; ++sensor)
        if (inputs & (1u << (sensor - 1)))
            flags |= 1L << (sensor + 1);
    return flags;
}

} // namespace navilonix::server
