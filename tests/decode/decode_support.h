// Shared by the decoder tests: exactly sized heap copies of sections, so that the sanitizer build
// reports any byte a decoder reads past the end, and small RAII holders for records.
#pragma once
#include "baseclasses/allocation.h"
#include "decode/SectionParser.h"
#include "support/core/atsc_builder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace qxtest {

class ExactBuffer {
public:
    explicit ExactBuffer(const Bytes& b) : size_(b.size()), data_(new BYTE[b.size() ? b.size() : 1]) {
        if (!b.empty()) {
            std::memcpy(data_.get(), b.data(), b.size());
        }
    }
    const BYTE* data() const { return data_.get(); }
    DWORD size() const { return static_cast<DWORD>(size_); }

private:
    size_t size_;
    std::unique_ptr<BYTE[]> data_;
};

// A record decoded from an exactly sized copy of a section, freed with the holder; ok is the decoder's
// answer.
template <class Record, Record* (SectionParser::*Create)(),
          bool (SectionParser::*Parse)(const BYTE*, DWORD, Record*), void (SectionParser::*Free)(Record**)>
struct Holder {
    explicit Holder(const Bytes& section) : record((parser.*Create)()) {
        ExactBuffer buf(section);
        ok = (parser.*Parse)(buf.data(), buf.size(), record);
    }
    ~Holder() { (parser.*Free)(&record); }
    Record* operator->() const { return record; }
    SectionParser parser;
    Record* record;
    bool ok = false;
};
using PatHolder = Holder<PatRecord, &SectionParser::CreatePatRecord, &SectionParser::ParsePat,
                         &SectionParser::FreePatRecord>;
using PmtHolder = Holder<PmtRecord, &SectionParser::CreatePmtRecord, &SectionParser::ParsePmt,
                         &SectionParser::FreePmtRecord>;
using NitHolder = Holder<NitRecord, &SectionParser::CreateNitRecord, &SectionParser::ParseNit,
                         &SectionParser::FreeNitRecord>;
using MgtHolder = Holder<MgtRecord, &SectionParser::CreateMgtRecord, &SectionParser::ParseMgt,
                         &SectionParser::FreeMgtRecord>;

inline Bytes Head(const Bytes& b, size_t keep) {
    return Bytes(b.begin(), b.begin() + static_cast<long>(keep));
}

// Turns the allocation-failure hook off when a test ends, whatever it asserted.
struct MemFailGuard {
    ~MemFailGuard() { MemFailAt(0); }
};

template <class T> bool AllZero(const T* record) {
    const auto* p = reinterpret_cast<const unsigned char*>(record);
    return std::all_of(p, p + sizeof(T), [](unsigned char b) { return b == 0; });
}

// Sets the 12-bit length field whose first byte is at `at`, keeping the four bits above it.
inline void SetLength12(Bytes& s, size_t at, uint16_t value) {
    s[at] = static_cast<uint8_t>((s[at] & 0xF0) | ((value >> 8) & 0x0F));
    s[at + 1] = static_cast<uint8_t>(value & 0xFF);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// A PMT whose streams carry ES descriptors: (stream_type, PID, descriptor bytes).
struct PmtStreamEntry {
    uint8_t type;
    uint16_t pid;
    Bytes descriptors;
};
inline Bytes BuildPmtWithDescriptors(uint16_t program, uint16_t pcrPid, const Bytes& programInfo,
                                     const std::vector<PmtStreamEntry>& streams, uint8_t version = 0) {
    SectionBuilder b;
    b.Table(0x02).Extension(program).Version(version);
    b.Append16(0xE000 | pcrPid);
    b.Append16(0xF000 | static_cast<uint16_t>(programInfo.size()));
    b.body.insert(b.body.end(), programInfo.begin(), programInfo.end());
    for (const PmtStreamEntry& s : streams) {
        b.body.push_back(s.type);
        b.Append16(0xE000 | s.pid);
        b.Append16(0xF000 | static_cast<uint16_t>(s.descriptors.size()));
        b.body.insert(b.body.end(), s.descriptors.begin(), s.descriptors.end());
    }
    return b.Build();
}

} // namespace qxtest
