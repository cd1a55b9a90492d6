#include "intake/TableCollectorInputPin.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include "baseclasses/allocation.h"
#include "decode/SectionParser.h"
#include "filter/TableCollectorFilter.h"
#include "tables/AtscEitStore.h"
#include "tables/BatStore.h"
#include "tables/CatStore.h"
#include "tables/EitStore.h"
#include "tables/EttStore.h"
#include "tables/MgtStore.h"
#include "tables/NitStore.h"
#include "tables/PatStore.h"
#include "tables/PmtStore.h"
#include "tables/RstStore.h"
#include "tables/SdtStore.h"
#include "tables/SttStore.h"
#include "tables/TdtStore.h"
#include "tables/TotStore.h"
#include "tables/VctStore.h"

#include <stddef.h>
#include <string.h>

namespace {

// Delivered from connection on: PAT, NIT, SDT/BAT, EIT, RST, TDT/TOT, CAT and the ATSC base PID.
ULONG g_basePids[8] = {0x0000, 0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0001, 0x1FFB};

// The second major type is accepted by value; nothing here depends on what it stands for.
// A constant of this file, not a DEFINE_GUID: with the Windows SDK that only declares an identifier
// that some other unit must define.
const GUID kMediaTypeMpeg2SectionsAlt = {
    0x78C4E641, 0x0ED1, 0x11D3, {0xBC, 0x6B, 0x00, 0xA0, 0xC9, 0x0D, 0x63, 0xB5}};

constexpr DWORD kPidMask = 0x1FFF;

} // namespace

TableCollectorInputPin::TableCollectorInputPin(TableCollectorFilter* pFilter, CCritSec* pStateLock,
                                               CCritSec* pSectionLock, HRESULT* phr)
    : CRenderedInputPin(nullptr, pFilter, pStateLock, phr, L"Input"), m_pPidMap(nullptr), m_pFilter(pFilter),
      m_pSectionLock(pSectionLock), m_dwLastTsid(0), m_dwLastVersion(0), m_dwLastSectionNumber(0),
      m_bPatActedOn(FALSE), m_pPmtPids(nullptr), m_cPmtPids(0), m_pProgramNumbers(nullptr),
      m_cProgramNumbers(0), m_pRequestedPids(nullptr), m_pRequestedSeen(nullptr), m_cRequestedPids(0),
      m_pMgtTableTypes(nullptr), m_pMgtTablePids(nullptr), m_cMgtTables(0), m_pidRoles() {}

void TableCollectorInputPin::SetRoles(const DWORD* pids, DWORD count, BYTE role, bool on) {
    if (pids == nullptr) {
        return;
    }
    for (DWORD i = 0; i < count; ++i) {
        // A requested PID above 0x1FFF can match no sample's PID; it needs no role.
        if (pids[i] <= kPidMask) {
            m_pidRoles[pids[i]] = on ? static_cast<BYTE>(m_pidRoles[pids[i]] | role)
                                     : static_cast<BYTE>(m_pidRoles[pids[i]] & ~role);
        }
    }
}

TableCollectorInputPin::~TableCollectorInputPin() {
    // Nothing is unmapped upstream: the demultiplexer may already be gone with the graph.
    if (m_pPidMap != nullptr) {
        m_pPidMap->Release();
        m_pPidMap = nullptr;
    }
    FreePmtLists();
    FreeRequestedLists();
    FreeMgtLists();
}

HRESULT TableCollectorInputPin::CheckMediaType(const CMediaType* pmt) {
    if (pmt != nullptr && (IsEqualGUID(*pmt->Type(), MEDIATYPE_MPEG2_SECTIONS) ||
                           IsEqualGUID(*pmt->Type(), kMediaTypeMpeg2SectionsAlt))) {
        return S_OK;
    }
    return VFW_E_INVALIDMEDIATYPE;
}

HRESULT TableCollectorInputPin::CompleteConnect(IPin* pReceivePin) {
    HRESULT hr = CRenderedInputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr)) {
        return hr;
    }
    // A new connection may be to another demultiplexer: map on the pin connected now, not on the
    // one a previous connection left behind.
    CAutoLock section(m_pSectionLock);
    if (m_pPidMap != nullptr) {
        m_pPidMap->Release();
        m_pPidMap = nullptr;
    }
    ResetPidMapping();
    return S_OK;
}

STDMETHODIMP TableCollectorInputPin::EndOfStream() {
    CAutoLock section(m_pSectionLock);
    return CRenderedInputPin::EndOfStream();
}

STDMETHODIMP TableCollectorInputPin::BeginFlush() {
    CAutoLock section(m_pSectionLock);
    static_cast<ITableCollector*>(m_pFilter)->ResetAllTables();
    return CBaseInputPin::BeginFlush();
}

STDMETHODIMP TableCollectorInputPin::EndFlush() {
    CAutoLock section(m_pSectionLock);
    // The input pin's own end flush: the rendered pin's end-of-stream state stays as it is.
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP TableCollectorInputPin::Receive(IMediaSample* pSample) {
    CAutoLock section(m_pSectionLock);

    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK) {
        return hr;
    }

    BYTE* data = nullptr;
    hr = pSample->GetPointer(&data);
    if (FAILED(hr)) {
        OutputDebugStringA("ERROR : pSample->GetPointer() failed");
        return hr;
    }
    if (data == nullptr) {
        OutputDebugStringA("ERROR : Invalid sample");
        return E_FAIL;
    }
    LONG actual = pSample->GetActualDataLength();
    DWORD length = actual > 0 ? static_cast<DWORD>(actual) : 0;

    DWORD pid = 0;
    IMediaSample2* pSample2 = nullptr;
    if (SUCCEEDED(pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&pSample2))) &&
        pSample2 != nullptr) {
        // Only cbData and dwTypeSpecificFlags are asked for.
        BYTE props[8] = {};
        pSample2->GetProperties(sizeof(props), props);
        DWORD typeSpecificFlags;
        memcpy(&typeSpecificFlags, props + offsetof(AM_SAMPLE2_PROPERTIES, dwTypeSpecificFlags),
               sizeof(typeSpecificFlags));
        pid = typeSpecificFlags & kPidMask;
        pSample2->Release();
        MarkRequestedPid(pid);
    }

    Dispatch(pid, data, length);
    return S_OK;
}

void TableCollectorInputPin::MarkRequestedPid(DWORD pid) {
    CheckLockHeld(m_pSectionLock);
    if (m_pRequestedPids == nullptr || (m_pidRoles[pid & kPidMask] & kRequestedRole) == 0) {
        return;
    }
    for (DWORD i = 0; i < m_cRequestedPids; ++i) {
        if (m_pRequestedPids[i] == pid) {
            m_pRequestedSeen[i] = 1;
        }
    }
}

// Routes one section by PID, and by table_id where tables share a PID. The tests are independent: a
// PID that several of them match is filed by each. A sample too short for the byte a test reads is
// not routed by that test (no store could take it anyway); everything else is left to the stores,
// which validate what they are given.
void TableCollectorInputPin::Dispatch(DWORD pid, const BYTE* bytes, DWORD length) {
    CheckLockHeld(m_pSectionLock);
    TableCollectorFilter* f = m_pFilter;
    if (pid == 0x0000) {
        OnPatSection(bytes, length);
        return;
    }

    const BYTE roles = m_pidRoles[pid & kPidMask];
    if (m_pPmtPids != nullptr && length >= 5 && (roles & kPmtRole) != 0) {
        DWORD programNumber = (static_cast<DWORD>(bytes[3]) << 8) | bytes[4];
        for (DWORD i = 0; i < m_cPmtPids; ++i) {
            if (m_pPmtPids[i] == pid && IsKnownProgram(pid, programNumber) && f->m_pPmtStore != nullptr) {
                f->m_pPmtStore->AddSection(pid, m_cPmtPids, length, bytes);
            }
        }
    }

    const DWORD tableId = length >= 1 ? bytes[0] : 0x100; // 0x100: no table_id to route by
    switch (pid) {
    case 0x0010:
        if (f->m_pNitStore != nullptr) {
            f->m_pNitStore->AddSection(length, bytes);
        }
        break;
    case 0x0011:
        if (tableId == 0x4A) {
            if (f->m_pBatStore != nullptr) {
                f->m_pBatStore->AddSection(length, bytes);
            }
        } else if (tableId != 0x100 && f->m_pSdtStore != nullptr) {
            f->m_pSdtStore->AddSection(length, bytes);
        }
        break;
    case 0x0012:
        if (f->m_pEitStore != nullptr) {
            f->m_pEitStore->AddSection(length, bytes);
        }
        break;
    case 0x0014:
        if (tableId == 0x70) {
            if (f->m_pTdtStore != nullptr) {
                f->m_pTdtStore->AddSection(length, bytes);
            }
        } else if (tableId != 0x100 && f->m_pTotStore != nullptr) {
            f->m_pTotStore->AddSection(length, bytes);
        }
        break;
    case 0x0013:
        if (f->m_pRstStore != nullptr) {
            f->m_pRstStore->AddSection(length, bytes);
        }
        break;
    case 0x0001:
        if (f->m_pCatStore != nullptr) {
            f->m_pCatStore->AddSection(length, bytes);
        }
        break;
    case 0x1FFB:
        if (tableId == 0xCD) {
            if (f->m_pSttStore != nullptr) {
                f->m_pSttStore->AddSection(length, bytes);
            }
        } else if (tableId == 0xC7) {
            OnMgtSection(bytes, length);
        } else if (tableId == 0xC8) {
            if (f->m_pVctStore != nullptr) {
                f->m_pVctStore->AddSection(length, bytes);
            }
        }
        break;
    default:
        break;
    }

    if (m_pMgtTablePids != nullptr && (roles & kMgtRole) != 0) {
        SectionParser parser;
        for (DWORD i = 0; i < m_cMgtTables; ++i) {
            if (m_pMgtTablePids[i] != pid) {
                continue;
            }
            DWORD tableClass = parser.ClassifyTableType(m_pMgtTableTypes[i]);
            if (tableClass == kTableClassEit && f->m_pAtscEitStore != nullptr) {
                f->m_pAtscEitStore->AddSection(pid, m_pMgtTableTypes[i], length, bytes);
            }
            if (tableClass == kTableClassEventEtt && f->m_pEttStore != nullptr) {
                f->m_pEttStore->AddSection(pid, length, bytes);
            }
        }
    }
}

IMPEG2PIDMap* TableCollectorInputPin::QueryConnectedPidMap() {
    IPin* connected = GetConnected();
    if (connected == nullptr) {
        return nullptr;
    }
    IMPEG2PIDMap* pidMap = nullptr;
    if (FAILED(connected->QueryInterface(IID_IMPEG2PIDMap, reinterpret_cast<void**>(&pidMap)))) {
        return nullptr;
    }
    return pidMap;
}

BOOL TableCollectorInputPin::HoldPidMap() {
    if (m_pPidMap == nullptr) {
        m_pPidMap = QueryConnectedPidMap();
    }
    return m_pPidMap != nullptr;
}

void TableCollectorInputPin::FreePmtLists() {
    SetRoles(m_pPmtPids, m_cPmtPids, kPmtRole, false);
    m_cPmtPids = 0;
    MemFree(m_pPmtPids);
    m_pPmtPids = nullptr;
    m_cProgramNumbers = 0;
    MemFree(m_pProgramNumbers);
    m_pProgramNumbers = nullptr;
}

void TableCollectorInputPin::FreeRequestedLists() {
    SetRoles(m_pRequestedPids, m_cRequestedPids, kRequestedRole, false);
    m_cRequestedPids = 0;
    MemFree(m_pRequestedPids);
    m_pRequestedPids = nullptr;
    MemFree(m_pRequestedSeen);
    m_pRequestedSeen = nullptr;
}

void TableCollectorInputPin::FreeMgtLists() {
    SetRoles(m_pMgtTablePids, m_cMgtTables, kMgtRole, false);
    m_cMgtTables = 0;
    MemFree(m_pMgtTableTypes);
    m_pMgtTableTypes = nullptr;
    MemFree(m_pMgtTablePids);
    m_pMgtTablePids = nullptr;
}

void TableCollectorInputPin::OnPatSection(const BYTE* bytes, DWORD length) {
    CheckLockHeld(m_pSectionLock);
    if (m_pFilter->m_pPatStore == nullptr) {
        return;
    }
    if (m_pFilter->m_pPatStore->AddSection(length, bytes) != S_OK) {
        return; // a repeat, a refusal or no memory: the lists stay as they are
    }

    SectionParser parser;
    PatRecord* record = parser.CreatePatRecord();
    if (record == nullptr) {
        return;
    }
    parser.ParsePat(bytes, length, record); // the store has validated the section, CRC_32 included

    const bool sameSection = m_bPatActedOn && record->transport_stream_id == m_dwLastTsid &&
                             record->version_number == m_dwLastVersion &&
                             record->section_number == m_dwLastSectionNumber;
    if (!sameSection) {
        FreePmtLists();
        const DWORD programs = record->program_count;
        m_pPmtPids = static_cast<DWORD*>(MemAlloc(programs * sizeof(DWORD)));
        m_pProgramNumbers = static_cast<DWORD*>(MemAlloc(programs * sizeof(DWORD)));
        if (m_pPmtPids != nullptr && m_pProgramNumbers != nullptr) {
            for (DWORD i = 0; i < programs; ++i) {
                const PatProgram& program = record->programs[i];
                if (program.program_number == 0) {
                    continue; // the network PID
                }
                m_pPmtPids[m_cPmtPids++] = program.PID;
                m_pProgramNumbers[m_cProgramNumbers++] = program.program_number;
            }
            SetRoles(m_pPmtPids, m_cPmtPids, kPmtRole, true);
            if (HoldPidMap() && m_cPmtPids != 0) {
                m_pPidMap->MapPID(m_cPmtPids, m_pPmtPids, MEDIA_MPEG2_PSI);
            }
            m_dwLastTsid = record->transport_stream_id;
            m_dwLastVersion = record->version_number;
            m_dwLastSectionNumber = record->section_number;
            m_bPatActedOn = TRUE;
        } else {
            // Out of memory: no lists, nothing mapped, the identity kept, so the next PAT section
            // stored tries again.
            FreePmtLists();
        }
    }
    parser.FreePatRecord(&record);
}

BOOL TableCollectorInputPin::IsKnownProgram(DWORD pid, DWORD programNumber) {
    CheckLockHeld(m_pSectionLock);
    if (m_cPmtPids == 0 || m_cProgramNumbers == 0 || m_pPmtPids == nullptr || m_pProgramNumbers == nullptr) {
        return FALSE;
    }
    for (DWORD j = 0; j < m_cPmtPids; ++j) {
        if (m_pPmtPids[j] == pid && m_pProgramNumbers[j] == programNumber) {
            return TRUE;
        }
    }
    return FALSE;
}

void TableCollectorInputPin::ResetPidMapping() {
    CheckLockHeld(m_pSectionLock);
    if (!IsConnected()) {
        return;
    }
    if (HoldPidMap()) {
        IEnumPIDMap* pEnum = nullptr;
        if (SUCCEEDED(m_pPidMap->EnumPIDMap(&pEnum)) && pEnum != nullptr) {
            pEnum->Reset();
            PID_MAP entry;
            ULONG fetched = 0;
            while (pEnum->Next(1, &entry, &fetched) == S_OK) {
                ULONG pid = entry.ulPID;
                m_pPidMap->UnmapPID(1, &pid);
            }
            pEnum->Release();
        }
        m_pPidMap->MapPID(ARRAYSIZE(g_basePids), g_basePids, MEDIA_MPEG2_PSI);
    }
    m_dwLastTsid = 0;
    m_dwLastVersion = 0;
    m_dwLastSectionNumber = 0;
    m_bPatActedOn = FALSE;
}

HRESULT TableCollectorInputPin::SetRequestedPids(DWORD count, const DWORD* pids) {
    CheckLockHeld(m_pSectionLock);
    if (count == 0 || pids == nullptr) {
        return E_INVALIDARG;
    }
    IMPEG2PIDMap* pidMap = QueryConnectedPidMap();
    if (pidMap == nullptr) {
        return S_OK; // nowhere to map them: the list stays as it was
    }
    FreeRequestedLists();
    m_pRequestedPids = static_cast<DWORD*>(MemAlloc(count * sizeof(DWORD)));
    m_pRequestedSeen = static_cast<DWORD*>(MemAllocZero(count * sizeof(DWORD)));
    if (m_pRequestedPids == nullptr || m_pRequestedSeen == nullptr) {
        FreeRequestedLists();
        pidMap->Release();
        return E_OUTOFMEMORY;
    }
    memcpy(m_pRequestedPids, pids, count * sizeof(DWORD));
    m_cRequestedPids = count;
    SetRoles(m_pRequestedPids, m_cRequestedPids, kRequestedRole, true);
    pidMap->MapPID(m_cRequestedPids, m_pRequestedPids, MEDIA_MPEG2_PSI);
    pidMap->Release();
    return S_OK;
}

BOOL TableCollectorInputPin::IsRequestedPidSeen(DWORD pid) {
    CheckLockHeld(m_pSectionLock);
    if (m_cRequestedPids == 0 || m_pRequestedPids == nullptr) {
        return FALSE;
    }
    for (DWORD i = 0; i < m_cRequestedPids; ++i) {
        if (m_pRequestedPids[i] == pid && m_pRequestedSeen[i] != 0) {
            return TRUE;
        }
    }
    return FALSE;
}

void TableCollectorInputPin::UnmapRequestedPids() {
    CheckLockHeld(m_pSectionLock);
    IMPEG2PIDMap* pidMap = QueryConnectedPidMap();
    if (pidMap != nullptr) {
        pidMap->UnmapPID(m_cRequestedPids, m_pRequestedPids);
        pidMap->Release();
    }
    FreeRequestedLists();
}

void TableCollectorInputPin::OnMgtSection(const BYTE* bytes, DWORD length) {
    CheckLockHeld(m_pSectionLock);
    if (m_pFilter->m_pMgtStore == nullptr) {
        return;
    }
    if (m_pFilter->m_pMgtStore->AddSection(length, bytes) != S_OK) {
        return;
    }
    SectionParser parser;
    MgtRecord* record = parser.CreateMgtRecord();
    if (record == nullptr) {
        return;
    }
    parser.ParseMgt(bytes, length, record);

    if (HoldPidMap()) {
        if (m_cMgtTables > 0) {
            m_pPidMap->UnmapPID(m_cMgtTables, m_pMgtTablePids);
        }
        FreeMgtLists();
        // An MGT announcing more tables than its section holds (or than a record keeps) still has
        // its decoded entries followed: the EITs it does carry are worth collecting.
        const DWORD tables = record->tables_defined < kMaxMgtTables ? record->tables_defined : kMaxMgtTables;
        m_pMgtTableTypes = static_cast<DWORD*>(MemAlloc(tables * sizeof(DWORD)));
        m_pMgtTablePids = static_cast<DWORD*>(MemAlloc(tables * sizeof(DWORD)));
        if (m_pMgtTableTypes != nullptr && m_pMgtTablePids != nullptr) {
            for (DWORD i = 0; i < tables; ++i) {
                m_pMgtTableTypes[i] = record->tables[i].table_type;
                m_pMgtTablePids[i] = record->tables[i].table_type_PID;
            }
            m_cMgtTables = tables;
            SetRoles(m_pMgtTablePids, m_cMgtTables, kMgtRole, true);
        } else {
            FreeMgtLists();
        }
        m_pPidMap->MapPID(m_cMgtTables, m_pMgtTablePids, MEDIA_MPEG2_PSI);
    }
    parser.FreeMgtRecord(&record);
}
