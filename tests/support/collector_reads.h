// Reads everything an ITableCollector holds through every status, count, get and free method, for the
// tests, fuzz targets and stress runs that must reach every read path. Keys that select a section
// (PMT PID and program, EIT and ATSC EIT lists, ETM ids) are the caller's: each call tries them all.
#pragma once
#include <windows.h>
#include <quenlix.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace qxtest {

struct ReadKeys {
    std::vector<std::pair<ULONG, ULONG>> pmt;      // (PID, program_number)
    std::vector<ULONG> eit_tables;                 // DVB EIT table_ids
    std::vector<std::pair<ULONG, ULONG>> eit;      // (section_number, service_id)
    std::vector<ULONG> atsc_table_types;           // ATSC EIT table_types
    std::vector<std::pair<ULONG, ULONG>> atsc_eit; // (section_number, source_id)
    std::vector<ULONG> etm_ids;
};

// Called with each copy handed out, before it is freed; the name says which group it came from.
using CopySeen = std::function<void(const char* group, const StoredSection& copy)>;

// Every read method in slot order. Answers the number of calls that broke their own promise: a status
// or count that fails, a copy handed out with a failure code or without bytes, a free that fails or
// leaves the pointer set. Copies are always freed through the group's own free method.
int ReadAllGroups(ITableCollector* itf, const ReadKeys& keys, const CopySeen& seen = {});

// Keys as a section on pid would need them to be found again (table_id extension, section_number,
// ETM_id), added to keys.
void LearnKeys(ReadKeys& keys, ULONG pid, const uint8_t* section, size_t length);

} // namespace qxtest
