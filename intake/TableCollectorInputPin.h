// The filter's one input pin: takes one whole section per sample from a demultiplexer's section pin,
// files it with the table store that collects it, and keeps the demultiplexer's PID mapping in step
// with what the PAT and the ATSC MGT announce.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <bdaiface.h>

#include "baseclasses/streams.h"

class TableCollectorFilter;

class TableCollectorInputPin : public CRenderedInputPin {
public:
    TableCollectorInputPin(TableCollectorFilter* pFilter, CCritSec* pStateLock, CCritSec* pSectionLock,
                           HRESULT* phr);
    ~TableCollectorInputPin() override;

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;

    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP Receive(IMediaSample* pSample) override;

    // Program tracking and PID mapping; every one runs with the section lock held.
    void OnPatSection(const BYTE* bytes, DWORD length);
    BOOL IsKnownProgram(DWORD pid, DWORD programNumber);
    void ResetPidMapping();
    HRESULT SetRequestedPids(DWORD count, const DWORD* pids);
    BOOL IsRequestedPidSeen(DWORD pid);
    void UnmapRequestedPids();

    // ATSC table-PID tracking, with the section lock held.
    void OnMgtSection(const BYTE* bytes, DWORD length);

private:
    void Dispatch(DWORD pid, const BYTE* bytes, DWORD length);
    void MarkRequestedPid(DWORD pid);
    BOOL HoldPidMap();                    // obtains m_pPidMap from the connected pin when missing
    IMPEG2PIDMap* QueryConnectedPidMap(); // a new reference, or null
    void FreePmtLists();
    void FreeRequestedLists();
    void FreeMgtLists();

    IMPEG2PIDMap* m_pPidMap;
    TableCollectorFilter* m_pFilter;
    CCritSec* m_pSectionLock;

    DWORD m_dwLastTsid;
    DWORD m_dwLastVersion;
    DWORD m_dwLastSectionNumber;
    // The identity above is (0, 0, 0) both before any PAT section was acted on and for a stream whose
    // first PAT really is transport_stream_id 0, version 0, section 0; this flag tells the two apart
    // so that such a stream still has its PMTs collected.
    BOOL m_bPatActedOn;

    DWORD* m_pPmtPids;
    DWORD m_cPmtPids;
    DWORD* m_pProgramNumbers;
    DWORD m_cProgramNumbers;

    DWORD* m_pRequestedPids;
    DWORD* m_pRequestedSeen;
    DWORD m_cRequestedPids;

    DWORD* m_pMgtTableTypes;
    DWORD* m_pMgtTablePids;
    DWORD m_cMgtTables;

    // Which of the lists above name each PID, kept in step with them, so that a section on a PID none
    // of them names is routed without walking them.
    enum : BYTE { kPmtRole = 1, kMgtRole = 2, kRequestedRole = 4 };
    void SetRoles(const DWORD* pids, DWORD count, BYTE role, bool on);
    BYTE m_pidRoles[0x2000];
};
