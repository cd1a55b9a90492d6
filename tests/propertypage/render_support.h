// Shared by the property page tests: row and selector collectors, decoded records from built
// sections, and the expected rows written as plain pairs.
#pragma once
#include "decode/decode_support.h"
#include "propertypage/TableRendering.h"
#include "support/core/atsc_builder.h"

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace qxtest {

using Row = std::pair<std::string, std::string>;
using Rows = std::vector<Row>;

// Keeps rows as a list view would: insertion at an index shifts the rows after it.
class RowCollector : public RowTarget {
public:
    void DeleteAllRows() override {
        rows.clear();
        ++clears;
    }
    void InsertRow(int row, LPCSTR item) override { rows.insert(rows.begin() + row, Row{item, ""}); }
    void SetRowText(int row, LPCSTR value) override { rows.at(static_cast<size_t>(row)).second = value; }
    Rows rows;
    int clears = 0;
};

class SelectorCollector : public SelectorTarget {
public:
    void AddEntry(PageSelector selector, LPCSTR text) override { entries[selector].push_back(text); }
    std::vector<std::string> entries[3];
};

// The rows a record renders to, and those of a built section.
template <class Record> Rows RowsOf(const Record* record) {
    RowCollector rows;
    TableRenderer renderer(&rows);
    if constexpr (std::is_same_v<Record, PatRecord>) {
        renderer.RenderPat(record);
    } else if constexpr (std::is_same_v<Record, PmtRecord>) {
        renderer.RenderPmt(record);
    } else {
        renderer.RenderNit(record);
    }
    return rows.rows;
}
inline Rows PatRows(const Bytes& s) {
    return RowsOf<PatRecord>(PatHolder(s).record);
}
inline Rows PmtRows(const Bytes& s) {
    return RowsOf<PmtRecord>(PmtHolder(s).record);
}
inline Rows NitRows(const Bytes& s) {
    return RowsOf<NitRecord>(NitHolder(s).record);
}

inline std::string Crc32Text(const Bytes& section) {
    char text[16];
    size_t n = section.size();
    snprintf(text, sizeof text, "0x%02x%02x%02x%02x", section[n - 4], section[n - 3], section[n - 2],
             section[n - 1]);
    return text;
}

} // namespace qxtest
