// The scan report: what the filter holds, read through ITableCollector, decoded through si/ and written
// as text or JSON one section at a time.
#pragma once
#include <windows.h>
#include <quenlix.h>

#include <cstdio>
#include <set>
#include <string>

#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"

namespace quenlix {

// What the report prints, and how.
struct ReportOptions {
    bool json = false;
    bool detail = false;
    bool hex = false;
    std::set<std::string> tables; // lower-case table names ("pat", "atsc_eit"); empty for every table
};

// What the scan saw on the way to the filter.
struct ScanFacts {
    std::string input; // as shown: the file name, or "(standard input)"
    unsigned packet_size = 0;
    qxhost::TsReaderStats reader;
    SectionDemuxStats demux;
    std::string module; // where the filter came from
};

// A scan reports the newest version of every EIT sub-table: with the filter's default, one service's
// new present/following version would empty both EIT stores of every other service's schedule.
void KeepEveryEitVersion(ITableCollector* tc);

// One section, decoded and written as the report writes a section: JSON on one line, else indented text.
// For callers that hold bytes rather than a filter.
void WriteSection(const uint8_t* bytes, size_t length, uint32_t pid, bool json, FILE* out);

// Reads what the filter holds through ITableCollector only and prints it with the scan's facts.
void WriteReport(ITableCollector* tc, const ReportOptions& o, const ScanFacts& f, FILE* out);

} // namespace quenlix
