// The decoding of one section: the command-line program's, rendered as text and as JSON (decoder
// chosen by table_id as the program chooses it by group), and the filter's own parser, whose records
// the pin and the property page read.
#include "decode/SectionParser.h"
#include "tools/report.h"

#include <cstdio>
#include <cstdlib>

namespace {

using Decoder = quenlix::Node (*)(const uint8_t*, size_t);

Decoder ForTable(uint8_t tableId) {
    switch (tableId) {
    case 0x00:
        return quenlix::DecodePat;
    case 0x01:
        return quenlix::DecodeCat;
    case 0x02:
        return quenlix::DecodePmt;
    case 0x40:
    case 0x41:
    case 0x4A:
        return quenlix::DecodeNit;
    case 0x42:
    case 0x46:
        return quenlix::DecodeSdt;
    case 0x70:
        return quenlix::DecodeTdt;
    case 0x71:
        return quenlix::DecodeRst;
    case 0x73:
        return quenlix::DecodeTot;
    case 0xC7:
        return quenlix::DecodeMgt;
    case 0xC8:
    case 0xC9:
        return quenlix::DecodeVct;
    case 0xCB:
        return quenlix::DecodeAtscEit;
    case 0xCC:
        return quenlix::DecodeEtt;
    case 0xCD:
        return quenlix::DecodeStt;
    default:
        return tableId >= 0x4E && tableId <= 0x6F ? quenlix::DecodeDvbEit : nullptr;
    }
}

// Every parse the filter makes, on any bytes; each record is walked and freed whole.
void Parse(const uint8_t* data, size_t size) {
    SectionParser parser;
    const DWORD length = static_cast<DWORD>(size);
    PatRecord* pat = parser.CreatePatRecord();
    PmtRecord* pmt = parser.CreatePmtRecord();
    NitRecord* nit = parser.CreateNitRecord();
    MgtRecord* mgt = parser.CreateMgtRecord();
    if (pat && pmt && nit && mgt) {
        parser.ParsePat(data, length, pat);
        parser.ParsePmt(data, length, pmt);
        parser.ParseNit(data, length, nit);
        parser.ParseMgt(data, length, mgt);
        // Counts that index the records' fixed arrays never pass their bounds.
        if (pmt->elementary_stream_count > kMaxPmtStreams ||
            nit->transport_stream_count > kMaxNitTransportStreams || mgt->tables_defined > kMaxMgtTables) {
            abort();
        }
    }
    if (pat) {
        parser.FreePatRecord(&pat);
    }
    if (pmt) {
        parser.FreePmtRecord(&pmt);
    }
    if (nit) {
        parser.FreeNitRecord(&nit);
    }
    if (mgt) {
        parser.FreeMgtRecord(&mgt);
    }
    DescriptorRecord* descriptors = nullptr;
    LONG count = 0;
    if (parser.ParseDescriptors(data, length, &descriptors, &count)) {
        parser.FreeDescriptors(count, &descriptors);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* sink = fopen("/dev/null", "w");
    if (size == 0) {
        return 0;
    }
    if (Decoder decode = ForTable(data[0])) {
        quenlix::Node node = decode(data, size);
        node.PrintText(sink);
        node.PrintJson(sink);
    }
    Parse(data, size);
    if (size >= 5) {
        fputs(quenlix::DvbTime(data).c_str(), sink);
        uint32_t gps =
            (uint32_t(data[0]) << 24) | (uint32_t(data[1]) << 16) | (uint32_t(data[2]) << 8) | data[3];
        fputs(quenlix::GpsTime(gps, data[4]).c_str(), sink);
    }
    return 0;
}
