// Shared helpers of the store and interface tests: exactly-sized heap samples (so the sanitizer build
// catches any read past a sample's end), a guard for the allocation-failure hook, copies that free
// themselves, and section builders for the DVB tables the general section builder does not know.
#pragma once
#include "baseclasses/allocation.h"
#include "decode/decode_support.h"
#include "support/core/section_builder.h"
#include "tables/section.h"

#include <windows.h>
#include <quenlix.h>

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <vector>

namespace qxtest {

// Hands a section to a store through an exactly-sized heap sample, after the keys the store takes first.
template <class Store, class... Keys> HRESULT Add(Store& store, const Bytes& bytes, Keys... keys) {
    ExactBuffer buf(bytes);
    return store.AddSection(static_cast<DWORD>(keys)..., buf.size(), buf.data());
}

// Runs work on a thread with a small stack: a release that recursed once per node would overflow it.
inline void OnSmallStack(std::function<void()> work) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    auto body = [](void* arg) -> void* {
        (*static_cast<std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &work), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// Makes the nth allocation from now fail for the life of the guard.
struct FailAllocation {
    explicit FailAllocation(unsigned long n) { MemFailAt(n); }
    ~FailAllocation() { MemFailAt(0); }
};

// Owns a copy handed out by a store.
struct Copy {
    StoredSection* p = nullptr;
    ~Copy() {
        if (p != nullptr) {
            FreeSection(&p);
        }
    }
    StoredSection** out() { return &p; }
    Bytes bytes() const { return p == nullptr ? Bytes() : Bytes(p->bytes, p->bytes + p->length); }
};

// A copy's fields against what was handed in.
inline void ExpectCopy(const StoredSection* copy, DWORD pid, DWORD sectionNumber, const Bytes& bytes) {
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->pid, pid);
    EXPECT_EQ(copy->section_number, sectionNumber);
    ASSERT_EQ(copy->length, bytes.size());
    EXPECT_EQ(Bytes(copy->bytes, copy->bytes + copy->length), bytes);
}

inline Bytes Bytes12(uint16_t v) {
    return {static_cast<uint8_t>(0xF0 | ((v >> 8) & 0x0F)), static_cast<uint8_t>(v & 0xFF)};
}

// NIT (0x40/0x41) or BAT (0x4A): first descriptor loop, then the transport stream loop.
inline Bytes BuildNitLike(uint8_t tableId, uint16_t id, uint8_t version, uint8_t section, uint8_t last,
                          const Bytes& descriptors = {}, const Bytes& tsLoop = {}) {
    SectionBuilder b;
    b.Table(tableId).Extension(id).Version(version).Number(section, last);
    Bytes body = Bytes12(static_cast<uint16_t>(descriptors.size()));
    body.insert(body.end(), descriptors.begin(), descriptors.end());
    Bytes loopLength = Bytes12(static_cast<uint16_t>(tsLoop.size()));
    body.insert(body.end(), loopLength.begin(), loopLength.end());
    body.insert(body.end(), tsLoop.begin(), tsLoop.end());
    return b.Body(body).Build();
}

// SDT (0x42/0x46) with service entries given as raw bytes.
inline Bytes BuildSdt(uint8_t tableId, uint16_t tsid, uint8_t version, uint8_t section, uint8_t last,
                      const Bytes& services = {}) {
    SectionBuilder b;
    b.Table(tableId).Extension(tsid).Version(version).Number(section, last);
    b.Append16(0x1234).Append({0xFF});
    b.body.insert(b.body.end(), services.begin(), services.end());
    return b.Build();
}

inline Bytes BuildCat(uint8_t version, uint8_t section, uint8_t last, uint16_t reserved = 0xFFFF,
                      const Bytes& descriptors = {}) {
    SectionBuilder b;
    b.Table(0x01).Extension(reserved).Version(version).Number(section, last).Body(descriptors);
    return b.Build();
}

// EIT with its fixed fields and optional event bytes.
inline Bytes BuildEit(uint8_t tableId, uint16_t serviceId, uint8_t version, uint8_t section, uint8_t last,
                      uint8_t segmentLast, const Bytes& events = {}) {
    SectionBuilder b;
    b.Table(tableId).Extension(serviceId).Version(version).Number(section, last);
    b.Append16(0x0001).Append16(0x0002).Append({segmentLast, tableId});
    b.body.insert(b.body.end(), events.begin(), events.end());
    return b.Build();
}

inline Bytes BuildTdt(uint8_t second = 0x56) {
    return {0x70, 0x70, 0x05, 0xE8, 0x3C, 0x12, 0x34, second};
}

// TOT with descriptors; CRC_32 correct.
inline Bytes BuildTot(const Bytes& descriptors = {}) {
    Bytes s = {0x73, 0x70, 0x00, 0xE8, 0x3C, 0x12, 0x34, 0x56};
    Bytes loop = Bytes12(static_cast<uint16_t>(descriptors.size()));
    s.insert(s.end(), loop.begin(), loop.end());
    s.insert(s.end(), descriptors.begin(), descriptors.end());
    s.insert(s.end(), 4, 0);
    uint16_t sectionLength = static_cast<uint16_t>(s.size() - 3);
    s[1] = 0x70 | (sectionLength >> 8);
    s[2] = sectionLength & 0xFF;
    FixCrc(s);
    return s;
}

// RST with entries of 9 bytes each.
inline Bytes BuildRst(size_t entries = 1) {
    Bytes s = {0x71, 0x70, 0x00};
    for (size_t i = 0; i < entries; ++i) {
        Bytes e = {0x00, 0x01, 0x00, 0x02, 0x00, static_cast<uint8_t>(i), 0x00, 0x10, 0xF4};
        s.insert(s.end(), e.begin(), e.end());
    }
    uint16_t sectionLength = static_cast<uint16_t>(s.size() - 3);
    s[1] = 0x70 | (sectionLength >> 8);
    s[2] = sectionLength & 0xFF;
    return s;
}

} // namespace qxtest
