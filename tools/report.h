// A small tree of named values that the scan fills and prints either as indented text or as JSON.
#pragma once
#include <windows.h>
#include <quenlix.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/SectionDemuxFilter.h"
#include "host/TsReader.h"

namespace quenlix {

class Node {
public:
    enum class Kind { Null, Bool, Int, Text, Array, Object };

    Node() = default;
    static Node Int(int64_t v, bool hex = false);
    static Node Bool(bool v);
    static Node Text(std::string v);
    static Node Array();
    static Node Object();

    // Object: sets key (keys keep their insertion order). Array: appends. Both answer the new child.
    Node& Set(const std::string& key, Node value);
    Node& Push(Node value);
    const Node* Find(const std::string& key) const;
    Node* Find(const std::string& key) {
        return const_cast<Node*>(static_cast<const Node*>(this)->Find(key));
    }

    Kind kind() const { return m_kind; }
    int64_t AsInt() const { return m_int; }
    const std::string& AsText() const { return m_text; }
    const std::vector<Node>& Items() const { return m_items; }
    std::vector<Node>& Items() { return m_items; }
    const std::vector<std::pair<std::string, Node>>& Fields() const { return m_fields; }

    void PrintJson(FILE* out, int indent = 0) const;
    // Indented "key: value" lines; numbers marked hex print as hexadecimal.
    void PrintText(FILE* out, int indent = 0) const;

private:
    Kind m_kind = Kind::Null;
    int64_t m_int = 0;
    bool m_hex = false;
    std::string m_text;
    std::vector<Node> m_items;
    std::vector<std::pair<std::string, Node>> m_fields;
};

// Decoded summary fields of one section, by table. Each reads only within length bytes and marks a
// section it cannot walk to its end as "malformed".
Node DecodePat(const uint8_t* p, size_t n);
Node DecodePmt(const uint8_t* p, size_t n);
Node DecodeNit(const uint8_t* p, size_t n); // NIT and BAT share their layout
Node DecodeSdt(const uint8_t* p, size_t n);
Node DecodeCat(const uint8_t* p, size_t n);
Node DecodeDvbEit(const uint8_t* p, size_t n);
Node DecodeTdt(const uint8_t* p, size_t n);
Node DecodeTot(const uint8_t* p, size_t n);
Node DecodeRst(const uint8_t* p, size_t n);
Node DecodeMgt(const uint8_t* p, size_t n);
Node DecodeVct(const uint8_t* p, size_t n);
Node DecodeStt(const uint8_t* p, size_t n);
Node DecodeAtscEit(const uint8_t* p, size_t n);
Node DecodeEtt(const uint8_t* p, size_t n);

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

// Reads what the filter holds through ITableCollector only and prints it with the scan's facts.
void WriteReport(ITableCollector* tc, const ReportOptions& o, const ScanFacts& f, FILE* out);

// "YYYY-MM-DD hh:mm:ss" from 16-bit MJD and 24-bit BCD time.
std::string DvbTime(const uint8_t* p5);
// "YYYY-MM-DD hh:mm:ss" UTC from GPS seconds and the GPS-UTC offset.
std::string GpsTime(uint32_t gpsSeconds, unsigned gpsUtcOffset);

} // namespace quenlix
