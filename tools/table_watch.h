// What the filter holds, table by table, as far as following a stream needs it: whether each table
// is held, its version and whether it is complete. Read through ITableCollector only.
#pragma once
#include <windows.h>
#include <quenlix.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quenlix {

struct TableState {
    ULONG status = TABLE_STATUS_NONE;
    int version = -1; // -1: the table carries none (TDT, TOT, RST, STT, ETT) or nothing is held
    ULONG sections = 0;
};

// Table names ("pat", "pmt 0x0001", "eit 0x4E", "atsc_eit 0x0100") of every table held now.
std::map<std::string, TableState> HeldTables(ITableCollector* tc);

// True once the PAT and every PMT it lists are complete, and so is every other table held.
bool CollectionComplete(ITableCollector* tc);

struct TableEvent {
    std::string table;
    std::string event; // "appeared", "version", "complete"
    TableState state;
    int previous_version = -1; // for "version"
};

// Reports what changed between two looks.
class TableWatch {
public:
    std::vector<TableEvent> Look(ITableCollector* tc);

private:
    std::map<std::string, TableState> m_last;
};

// One line per event: text, or one JSON object.
void PrintEvent(FILE* out, const TableEvent& e, bool json);

} // namespace quenlix
