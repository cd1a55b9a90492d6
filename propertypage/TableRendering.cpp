#include "propertypage/TableRendering.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Formats into a cleared cell buffer; a text too long for the cell is cut, never overrun.
void FormatCell(char (&text)[kCellTextSize], LPCSTR format, va_list args) {
    std::memset(text, 0, sizeof text);
    std::vsnprintf(text, sizeof text, format, args);
}

void FormatCellF(char (&text)[kCellTextSize], LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatCell(text, format, args);
    va_end(args);
}

int AsInt(DWORD value) {
    return static_cast<int>(value);
}

DWORD Crc(ULONGLONG crc) {
    return static_cast<DWORD>(crc & 0xFFFFFFFFu);
}

LPCSTR Flag(DWORD value) {
    return value != 0 ? "TRUE" : "FALSE";
}

} // namespace

void TableRenderer::AddRowItem(int row, LPCSTR format, ...) {
    char text[kCellTextSize];
    va_list args;
    va_start(args, format);
    FormatCell(text, format, args);
    va_end(args);
    m_pTarget->InsertRow(row, text);
}

void TableRenderer::SetRowValue(int row, LPCSTR format, ...) {
    char text[kCellTextSize];
    va_list args;
    va_start(args, format);
    FormatCell(text, format, args);
    va_end(args);
    m_pTarget->SetRowText(row, text);
}

void TableRenderer::AddRow(int* row, LPCSTR indent, LPCSTR name, LPCSTR format, ...) {
    char text[kCellTextSize];
    va_list args;
    va_start(args, format);
    FormatCell(text, format, args);
    va_end(args);
    AddRowItem(*row, indent, name);
    SetRowValue(*row, "%s", text);
    ++*row;
}

void TableRenderer::AddFlagRow(int* row, LPCSTR name, DWORD flag) {
    AddRow(row, "%s", name, "%s", Flag(flag));
}

void TableRenderer::RenderPat(const PatRecord* pat) {
    if (pat == nullptr) {
        return;
    }
    m_pTarget->DeleteAllRows();
    // A program array that could not be allocated leaves nothing to list.
    const DWORD n = pat->programs != nullptr ? pat->program_count : 0;
    int row = 0;
    AddFlagRow(&row, "section_syntax_indicator", pat->section_syntax_indicator);
    AddRow(&row, "%s", "section_length", "%d", AsInt(pat->section_length));
    AddRow(&row, "%s", "transport_stream_id", "0x%x (= %d)", pat->transport_stream_id,
           AsInt(pat->transport_stream_id));
    AddRow(&row, "%s", "version_number", "0x%x (= %d)", pat->version_number, AsInt(pat->version_number));
    AddFlagRow(&row, "current_next_indicator", pat->current_next_indicator);
    AddRow(&row, "%s", "last_section_number", "%d", AsInt(pat->last_section_number));
    AddRow(&row, "  %s", "program descriptor count", "%d", AsInt(n));
    for (DWORD i = 0; i < n; ++i) {
        const PatProgram& program = pat->programs[i];
        AddRowItem(row, "  #%d program_number", AsInt(i));
        SetRowValue(row, "%d", AsInt(program.program_number));
        ++row;
        AddRow(&row, "  %s", program.program_number == 0 ? "  network_PID" : "  program_map_PID",
               "0x%04x (= %d)", program.PID, AsInt(program.PID));
    }
    AddRow(&row, "%s", "CRC_32", "0x%08x", Crc(pat->CRC_32));
}

void TableRenderer::RenderPmt(const PmtRecord* pmt) {
    if (pmt == nullptr) {
        return;
    }
    m_pTarget->DeleteAllRows();
    int row = 0;
    AddFlagRow(&row, "section_syntax_indicator", pmt->section_syntax_indicator);
    AddRow(&row, "%s", "section_length", "%d", AsInt(pmt->section_length));
    AddRow(&row, "%s", "program_number", "%d", AsInt(pmt->program_number));
    AddRow(&row, "%s", "version_number", "0x%x (= %d)", pmt->version_number, AsInt(pmt->version_number));
    AddFlagRow(&row, "current_next_indicator", pmt->current_next_indicator);
    AddRow(&row, "%s", "last_section_number", "%d", AsInt(pmt->last_section_number));
    AddRow(&row, "%s", "PCR_PID", "0x%04x (= %d)", pmt->PCR_PID, AsInt(pmt->PCR_PID));
    AddRow(&row, "%s", "program_info_length", "%d", AsInt(pmt->program_info_length));
    RenderDescriptors(&row, pmt->program_info.descriptor_count, pmt->program_info.descriptors,
                      "program info descriptor count", "  %s");
    const DWORD streams =
        pmt->elementary_stream_count < kMaxPmtStreams ? pmt->elementary_stream_count : kMaxPmtStreams;
    if (streams != 0) {
        AddRow(&row, "  %s", "elementary stream info count", "%d", AsInt(streams));
    }
    for (DWORD i = 0; i < streams; ++i) {
        const PmtStream& s = pmt->streams[i];
        AddRow(&row, "  %s", "stream_type", "0x%02x (= %d)", s.stream_type, AsInt(s.stream_type));
        AddRow(&row, "  %s", "elementary_PID", "0x%04x (= %d)", s.elementary_PID, AsInt(s.elementary_PID));
        AddRow(&row, "  %s", "ES_info_length", "%d", AsInt(s.ES_info_length));
        RenderDescriptors(&row, s.descriptors.descriptor_count, s.descriptors.descriptors, "descriptor count",
                          "    %s");
    }
    AddRow(&row, "%s", "CRC_32", "0x%08x", Crc(pmt->CRC_32));
}

void TableRenderer::RenderNit(const NitRecord* nit) {
    if (nit == nullptr) {
        return;
    }
    m_pTarget->DeleteAllRows();
    int row = 0;
    AddFlagRow(&row, "section_syntax_indicator", nit->section_syntax_indicator);
    AddRow(&row, "%s", "section_length", "%d", AsInt(nit->section_length));
    AddRow(&row, "%s", "network_id", "0x%x (= %d)", nit->network_id, AsInt(nit->network_id));
    AddRow(&row, "%s", "version_number", "0x%x (= %d)", nit->version_number, AsInt(nit->version_number));
    AddFlagRow(&row, "current_next_indicator", nit->current_next_indicator);
    AddRow(&row, "%s", "last_section_number", "%d", AsInt(nit->last_section_number));
    AddRow(&row, "%s", "network_descriptors_length", "%d", AsInt(nit->network_descriptors_length));
    RenderDescriptors(&row, nit->network_descriptors.descriptor_count, nit->network_descriptors.descriptors,
                      "network_descriptors_count", "  %s");
    AddRow(&row, "%s", "transport_stream_loop_length", "%d", AsInt(nit->transport_stream_loop_length));
    const DWORD streams = nit->transport_stream_count < kMaxNitTransportStreams ? nit->transport_stream_count
                                                                                : kMaxNitTransportStreams;
    if (streams != 0) {
        AddRow(&row, "  %s", "transport_stream_loop_count", "%d", AsInt(streams));
    }
    for (DWORD i = 0; i < streams; ++i) {
        const NitTransportStream& t = nit->transport_streams[i];
        AddRow(&row, "  %s", "transport_stream_id", "0x%x (= %d)", t.transport_stream_id,
               AsInt(t.transport_stream_id));
        AddRow(&row, "  %s", "original_network_id", "0x%x (= %d)", t.original_network_id,
               AsInt(t.original_network_id));
        AddRow(&row, "  %s", "transport_descriptors_length", "%d", AsInt(t.transport_descriptors_length));
        RenderDescriptors(&row, t.descriptors.descriptor_count, t.descriptors.descriptors, "descriptor count",
                          "    %s");
    }
    AddRow(&row, "%s", "CRC_32", "0x%08x", Crc(nit->CRC_32));
}

void TableRenderer::RenderDescriptors(int* row, LONG count, const DescriptorRecord* list, LPCSTR label,
                                      LPCSTR indent) {
    if (list == nullptr || count <= 0) {
        return;
    }
    AddRow(row, indent, label, "%d", static_cast<int>(count));
    for (LONG i = 0; i < count; ++i) {
        const DescriptorRecord& d = list[i];
        AddRow(row, indent, "descriptor_tag", "0x%x (= %d)", static_cast<unsigned>(d.descriptor_tag),
               static_cast<int>(d.descriptor_tag));
        AddRow(row, indent, "descriptor_length", "%d", static_cast<int>(d.descriptor_length));
        char data[kCellTextSize];
        FormatDescriptorData(d, data);
        AddRow(row, indent, "descriptor_data", "%s", data);
    }
}

void FormatDescriptorData(const DescriptorRecord& descriptor, char (&text)[kCellTextSize]) {
    std::memset(text, 0, sizeof text);
    const DWORD length = descriptor.descriptor_data != nullptr ? descriptor.descriptor_length : 0;
    if (length == 0) {
        std::strcpy(text, "(none)");
        return;
    }
    const DWORD shown = length < kDescriptorBytesShown ? length : kDescriptorBytesShown;
    const bool cut = shown < length;
    // 24 bytes: 71 hex characters, "...", two bars with 24 characters between them, "(255 bytes)".
    size_t at = 0;
    auto put = [&](char c) {
        if (at + 1 < sizeof text) {
            text[at++] = c;
        }
    };
    static const char kHex[] = "0123456789abcdef";
    for (DWORD i = 0; i < shown; ++i) {
        if (i != 0) {
            put(' ');
        }
        BYTE b = descriptor.descriptor_data[i];
        put(kHex[b >> 4]);
        put(kHex[b & 0x0F]);
    }
    if (cut) {
        put(' ');
        put('.');
        put('.');
        put('.');
    }
    put(' ');
    put(' ');
    put('|');
    for (DWORD i = 0; i < shown; ++i) {
        BYTE b = descriptor.descriptor_data[i];
        put(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.');
    }
    if (cut) {
        put('.');
        put('.');
        put('.');
    }
    put('|');
    if (cut) {
        char count[24];
        std::snprintf(count, sizeof count, " (%u bytes)", static_cast<unsigned>(length));
        for (const char* p = count; *p != '\0'; ++p) {
            put(*p);
        }
    }
}

void AddPatViewEntries(const PatRecord* pat, SelectorTarget* target) {
    char text[kCellTextSize];
    target->AddEntry(kPidSelector, "0x0000");
    FormatCellF(text, "0x%02x", pat->table_id);
    target->AddEntry(kTableIdSelector, text);
    for (DWORD i = 0; i <= pat->last_section_number && i < 256; ++i) {
        FormatCellF(text, "%02d", AsInt(i));
        target->AddEntry(kSectionSelector, text);
    }
}

void AddPmtViewEntries(const PmtRecord* pmt, const DWORD* programPids, DWORD programCount,
                       SelectorTarget* target) {
    char text[kCellTextSize];
    for (DWORD i = 0; i < programCount; ++i) {
        FormatCellF(text, "0x%04x", programPids[i]);
        target->AddEntry(kPidSelector, text);
    }
    FormatCellF(text, "0x%02x", pmt->table_id);
    target->AddEntry(kTableIdSelector, text);
    // Decimal digits after "0x", as the page has always shown the PMT's section number.
    FormatCellF(text, "0x%02d", AsInt(pmt->section_number));
    target->AddEntry(kSectionSelector, text);
}

void AddNitViewPidEntry(SelectorTarget* target) {
    char text[kCellTextSize];
    FormatCellF(text, "0x%04x", 16u);
    target->AddEntry(kPidSelector, text);
}

void AddNitViewTableIdEntry(SelectorTarget* target) {
    char text[kCellTextSize];
    FormatCellF(text, "0x%02x", 0x40u);
    target->AddEntry(kTableIdSelector, text);
}

void AddNitViewSectionEntries(const NitRecord* nit, SelectorTarget* target) {
    char text[kCellTextSize];
    for (DWORD i = 0; i <= nit->last_section_number && i < 256; ++i) {
        FormatCellF(text, "%02d", AsInt(i));
        target->AddEntry(kSectionSelector, text);
    }
}
