// The decoding of one section: si/'s, rendered as text and as JSON as the scan report renders it, and
// the filter's own parser, whose records the pin and the property page read.
#include "decode/SectionParser.h"
#include "si/Time.h"
#include "tools/report.h"

#include <cstdio>
#include <cstdlib>

namespace {

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
    // The section as the scan report shows it, in both forms, with every field si/ decodes.
    quenlix::WriteSection(data, size, 0x1FFF, false, sink);
    quenlix::WriteSection(data, size, 0x1FFF, true, sink);
    Parse(data, size);
    if (size >= 5) {
        fputs(quenlix::si::DecodeDvbTime(std::span<const uint8_t, 5>(data, 5)).Iso().c_str(), sink);
        const uint32_t gps =
            (uint32_t(data[0]) << 24) | (uint32_t(data[1]) << 16) | (uint32_t(data[2]) << 8) | data[3];
        fputs(quenlix::si::FormatUnix(quenlix::si::GpsToUnix(gps, data[4])).c_str(), sink);
    }
    return 0;
}
