#include "sim/VirtualInstrument.h"

#include <cstdio>

namespace qoltsim {

std::array<uint8_t, kBlockSize> BuildInformationBlock(const Config& config) {
    if (config.block) {
        return *config.block;
    }
    std::array<uint8_t, kBlockSize> block{};
    // Bytes 0-2 repeat the head of the query, so a block sent back for storing starts 12 55 AA FF and can
    // be told from the query (12 55 AA 00 00) by its fourth byte alone.
    block[0] = 0x12;
    block[1] = 0x55;
    block[2] = 0xAA;
    block[6] = 'E';
    block[7] = 'E';
    block[8] = config.serialYear;
    block[9] = config.model == Model::Enhanced ? 2 : 1;
    int group = config.formGroup;
    if (group < 0) {
        group = config.serialForm == SerialForm::Newer ? 17 : 15;
    }
    block[10] = static_cast<uint8_t>(group);
    block[11] = static_cast<uint8_t>(config.unitNumber >> 8);
    block[12] = static_cast<uint8_t>(config.unitNumber & 0xFF);
    block[13] = config.hardwareVersion;
    block[14] = config.firmwareMajor;
    block[15] = config.firmwareMinor;
    for (size_t i = 0; i < config.manufacturingRecord.size(); ++i) {
        block[48 + i] = config.manufacturingRecord[i];
    }
    return block;
}

std::string FormatSerialNumber(const std::array<uint8_t, kBlockSize>& block) {
    char text[64];
    const unsigned unit = (static_cast<unsigned>(block[11]) << 8) | block[12];
    if (block[10] >= 17) {
        std::snprintf(text, sizeof text, "K%c%c%02d%02d-%02d%04u", block[6], block[7], block[8], block[9],
                      block[10], unit);
    } else {
        std::snprintf(text, sizeof text, "K%c%c%d%02d%03u", block[6], block[7], block[10], block[9], unit);
    }
    return text;
}

} // namespace qoltsim
