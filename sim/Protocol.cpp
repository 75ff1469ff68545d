#include "sim/Protocol.h"

namespace qoltsim {

const char* MessageKindName(MessageKind kind) {
    switch (kind) {
    case MessageKind::Identify:
        return "identify";
    case MessageKind::SerialQuery:
        return "serial-query";
    case MessageKind::InfoQuery:
        return "info-query";
    case MessageKind::PortTag:
        return "port-tag";
    case MessageKind::EndOfIdentification:
        return "end-of-identification";
    case MessageKind::Packet:
        return "packet";
    case MessageKind::StopStream:
        return "stop-stream";
    case MessageKind::Range:
        return "range";
    case MessageKind::Relays:
        return "relays";
    case MessageKind::VariableDcOffset:
        return "variable-dc-offset";
    case MessageKind::DcOffsetOff:
        return "dc-offset-off";
    case MessageKind::BaselineResetOn:
        return "baseline-reset-on";
    case MessageKind::PacingLevelLow:
        return "pacing-level-low";
    case MessageKind::PacingLevelHigh:
        return "pacing-level-high";
    case MessageKind::ConverterQuery:
        return "converter-query";
    case MessageKind::StoreBlock:
        return "store-block";
    case MessageKind::Close:
        return "close";
    case MessageKind::Unknown:
        return "unknown";
    }
    return "?";
}

MessageKind MessageKindForFirstByte(uint8_t first) {
    switch (first) {
    case 0xAA:
        return MessageKind::Identify;
    case 0x55:
        return MessageKind::SerialQuery;
    case 0x12:
        return MessageKind::InfoQuery;
    case 0x44:
        return MessageKind::PortTag;
    case 0x08:
        return MessageKind::EndOfIdentification;
    case 0x01:
        return MessageKind::Packet;
    case 0x53:
        return MessageKind::StopStream;
    case 0x00:
        return MessageKind::Range;
    case 0x07:
        return MessageKind::Relays;
    case 0x05:
        return MessageKind::VariableDcOffset;
    case 0x06:
        return MessageKind::DcOffsetOff;
    case 0x09:
        return MessageKind::PacingLevelLow;
    case 0x04:
        return MessageKind::PacingLevelHigh;
    case 0xAD:
        return MessageKind::ConverterQuery;
    case 0x43:
        return MessageKind::Close;
    default:
        return MessageKind::Unknown;
    }
}

size_t MessageLengthForFirstByte(uint8_t first) {
    switch (MessageKindForFirstByte(first)) {
    case MessageKind::Identify:
    case MessageKind::SerialQuery:
    case MessageKind::EndOfIdentification:
    case MessageKind::StopStream:
    case MessageKind::DcOffsetOff:
    case MessageKind::Close:
        return 1;
    case MessageKind::Range:
        return 2;
    case MessageKind::PortTag:
    case MessageKind::VariableDcOffset:
    case MessageKind::BaselineResetOn:
    case MessageKind::PacingLevelLow:
    case MessageKind::PacingLevelHigh:
        return 3;
    case MessageKind::ConverterQuery:
        return 4;
    case MessageKind::InfoQuery:
        return 5;
    case MessageKind::Relays:
        return 6;
    case MessageKind::StoreBlock:
        return kBlockSize;
    case MessageKind::Packet:
        return kPacketSize;
    case MessageKind::Unknown:
        return 0;
    }
    return 0;
}

} // namespace qoltsim
