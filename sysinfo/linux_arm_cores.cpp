#include "sysinfo/linux_arm_cores.h"

namespace {

constexpr uint32_t implementer_arm = 0x41;
constexpr uint32_t implementer_apple = 0x61;
constexpr uint32_t implementer_ampere = 0xc0;

// Main ID register values as the vendors publish them in their manuals.
constexpr ArmCoreName arm_cores[] = {
    {implementer_arm, 0xd03, "ARM", "Cortex-A53"},
    {implementer_arm, 0xd04, "ARM", "Cortex-A35"},
    {implementer_arm, 0xd05, "ARM", "Cortex-A55"},
    {implementer_arm, 0xd07, "ARM", "Cortex-A57"},
    {implementer_arm, 0xd08, "ARM", "Cortex-A72"},
    {implementer_arm, 0xd09, "ARM", "Cortex-A73"},
    {implementer_arm, 0xd0a, "ARM", "Cortex-A75"},
    {implementer_arm, 0xd0b, "ARM", "Cortex-A76"},
    {implementer_arm, 0xd0c, "ARM", "Neoverse-N1"},
    {implementer_arm, 0xd0d, "ARM", "Cortex-A77"},
    {implementer_arm, 0xd40, "ARM", "Neoverse-V1"},
    {implementer_arm, 0xd41, "ARM", "Cortex-A78"},
    {implementer_arm, 0xd44, "ARM", "Cortex-X1"},
    {implementer_arm, 0xd46, "ARM", "Cortex-A510"},
    {implementer_arm, 0xd47, "ARM", "Cortex-A710"},
    {implementer_arm, 0xd48, "ARM", "Cortex-X2"},
    {implementer_arm, 0xd49, "ARM", "Neoverse-N2"},
    {implementer_arm, 0xd4d, "ARM", "Cortex-A715"},
    {implementer_arm, 0xd4e, "ARM", "Cortex-X3"},
    {implementer_arm, 0xd4f, "ARM", "Neoverse-V2"},
    {implementer_arm, 0xd80, "ARM", "Cortex-A520"},
    {implementer_arm, 0xd81, "ARM", "Cortex-A720"},
    {implementer_arm, 0xd82, "ARM", "Cortex-X4"},
    {implementer_apple, 0x022, "Apple", "M1 Icestorm"},
    {implementer_apple, 0x023, "Apple", "M1 Firestorm"},
    {implementer_apple, 0x024, "Apple", "M1 Pro Icestorm"},
    {implementer_apple, 0x025, "Apple", "M1 Pro Firestorm"},
    {implementer_apple, 0x028, "Apple", "M1 Max Icestorm"},
    {implementer_apple, 0x029, "Apple", "M1 Max Firestorm"},
    {implementer_apple, 0x032, "Apple", "M2 Blizzard"},
    {implementer_apple, 0x033, "Apple", "M2 Avalanche"},
    {implementer_apple, 0x034, "Apple", "M2 Pro Blizzard"},
    {implementer_apple, 0x035, "Apple", "M2 Pro Avalanche"},
    {implementer_apple, 0x038, "Apple", "M2 Max Blizzard"},
    {implementer_apple, 0x039, "Apple", "M2 Max Avalanche"},
    {implementer_ampere, 0xac3, "Ampere", "Ampere-1"},
    {implementer_ampere, 0xac4, "Ampere", "Ampere-1a"},
};

}  // namespace

const ArmCoreName* sysinfo_find_arm_core(uint32_t implementer, uint32_t part) {
    for (const ArmCoreName& row : arm_cores) {
        if (row.implementer == implementer && row.part == part) {
            return &row;
        }
    }
    return nullptr;
}
