// CRefTime: a REFERENCE_TIME (100 ns units) with the arithmetic the filter and pin classes use.
#pragma once
#include <windows.h>
#include <strmif.h>

const LONGLONG MILLISECONDS = 1000;       // 10 ^ 3
const LONGLONG NANOSECONDS = 1000000000;  // 10 ^ 9
const LONGLONG UNITS = NANOSECONDS / 100; // 10 ^ 7
// The largest stream time: "no stop time".
#define MAX_TIME ((REFERENCE_TIME)0x7FFFFFFFFFFFFFFFLL)

class CRefTime {
public:
    REFERENCE_TIME m_time;

    CRefTime() : m_time(0) {}
    explicit CRefTime(LONG msecs) : m_time(static_cast<REFERENCE_TIME>(msecs) * (UNITS / MILLISECONDS)) {}
    CRefTime(REFERENCE_TIME rt) : m_time(rt) {}

    operator REFERENCE_TIME() const { return m_time; }
    CRefTime& operator=(const CRefTime& rt) = default;
    CRefTime& operator=(const LONGLONG ll) {
        m_time = ll;
        return *this;
    }
    CRefTime& operator+=(const CRefTime& rt) {
        m_time += rt.m_time;
        return *this;
    }
    CRefTime& operator-=(const CRefTime& rt) {
        m_time -= rt.m_time;
        return *this;
    }
    LONG Millisecs() const { return static_cast<LONG>(m_time / (UNITS / MILLISECONDS)); }
    LONGLONG GetUnits() const { return m_time; }
};
