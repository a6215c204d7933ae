// One parameter set of the Kestrin module, as it travels between the
// window and the module link.
#pragma once

#include <cstdint>

struct ModuleParams
{
    std::uint8_t McuBaudRate = 0;  // baud-rate code of the module's own UART (1..8, 0 reads as 115200)
    std::uint8_t McuParity = 0;    // 0 none, 1 odd, 2 even
    double RfFrequency = 0.0;      // MHz
    std::uint8_t RfFactor = 0;     // code n stands for 2^n chips (7..12)
    std::uint8_t RfMode = 0;       // 0 normal, 1 saving
    std::uint8_t RfBw = 0;         // 6..9: 62.5K, 125K, 250K, 500K
    std::uint8_t CustID_H = 0;     // node ID, high byte
    std::uint8_t CustID_L = 0;     // node ID, low byte
    std::uint8_t NetID = 0;
    std::uint8_t Power = 0;        // 1..7

    friend bool operator==(const ModuleParams&, const ModuleParams&) = default;
};

// The set the window shows when it starts (9600 baud, no parity,
// 434.00 MHz, 2048 chips, normal mode, 125K, node 0/0, net 0, power 7);
// the virtual module starts with it too.
inline ModuleParams WindowDefaults()
{
    ModuleParams p;
    p.McuBaudRate = 4;
    p.McuParity = 0;
    p.RfFrequency = 434.00;
    p.RfFactor = 11;
    p.RfMode = 0;
    p.RfBw = 7;
    p.CustID_H = 0;
    p.CustID_L = 0;
    p.NetID = 0;
    p.Power = 7;
    return p;
}
