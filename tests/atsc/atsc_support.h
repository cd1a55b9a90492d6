// Shared by the ATSC store tests.
#pragma once
#include "decode/decode_support.h"
#include "tables/section.h"

#include <gtest/gtest.h>

#include <functional>
#include <pthread.h>

namespace qxtest {

inline void SetSectionLengthField(Bytes& s, uint16_t value) {
    s[1] = static_cast<uint8_t>((s[1] & 0xF0) | ((value >> 8) & 0x0F));
    s[2] = static_cast<uint8_t>(value & 0xFF);
}

// One way to break a valid section, named for the failure message. Edits keep the CRC_32 correct unless
// the edit is to the CRC itself, so that exactly one test fails.
struct Breakage {
    const char* name;
    std::function<void(Bytes&)> edit;
    bool fix_crc = true;
};

inline Bytes Broken(const Bytes& valid, const Breakage& b) {
    Bytes s = valid;
    b.edit(s);
    if (b.fix_crc && s.size() >= 4) {
        FixCrc(s);
    }
    return s;
}

// The header breakages every PSIP store refuses: syntax 0, private 0, current_next 0,
// section_number above last_section_number, a section_length below 3, a wrong CRC_32.
inline std::vector<Breakage> CommonPsipBreakages() {
    return {
        {"syntax 0", [](Bytes& s) { s[1] &= 0x7F; }},
        {"private 0", [](Bytes& s) { s[1] &= ~0x40; }},
        {"current_next 0", [](Bytes& s) { s[5] &= 0xFE; }},
        {"section_number above last", [](Bytes& s) { s[6] = s[7] + 1; }},
        {"section_length 2", [](Bytes& s) { SetSectionLengthField(s, 2); }},
    };
}

// A copy's fields against what was handed in.
inline void ExpectCopy(const StoredSection* copy, DWORD pid, DWORD sectionNumber, const Bytes& bytes) {
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->pid, pid);
    EXPECT_EQ(copy->section_number, sectionNumber);
    ASSERT_EQ(copy->length, bytes.size());
    EXPECT_EQ(Bytes(copy->bytes, copy->bytes + copy->length), bytes);
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

} // namespace qxtest
