#include "baseclasses/mtype.h"

#include <string.h>

#include <uuids.h>

CMediaType::CMediaType() {
    InitMediaType();
}

CMediaType::CMediaType(const GUID* type) {
    InitMediaType();
    majortype = *type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& rt, HRESULT* phr) {
    InitMediaType();
    HRESULT hr = CopyMediaType(this, &rt);
    if (FAILED(hr) && phr != NULL) {
        *phr = hr;
    }
}

CMediaType::CMediaType(const CMediaType& rt, HRESULT* phr)
    : CMediaType(static_cast<const AM_MEDIA_TYPE&>(rt), phr) {}

CMediaType::~CMediaType() {
    FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& rt) {
    Set(rt);
    return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& rt) {
    Set(rt);
    return *this;
}

HRESULT CMediaType::Set(const CMediaType& rt) {
    return Set(static_cast<const AM_MEDIA_TYPE&>(rt));
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& rt) {
    if (&rt == this) {
        return S_OK;
    }
    FreeMediaType(*this);
    return CopyMediaType(this, &rt);
}

bool CMediaType::operator==(const CMediaType& rt) const {
    // Equal when the GUIDs agree and the format blocks hold the same bytes.
    return IsEqualGUID(majortype, rt.majortype) && IsEqualGUID(subtype, rt.subtype) &&
           IsEqualGUID(formattype, rt.formattype) && cbFormat == rt.cbFormat &&
           (cbFormat == 0 || pbFormat == rt.pbFormat || memcmp(pbFormat, rt.pbFormat, cbFormat) == 0);
}

bool CMediaType::operator!=(const CMediaType& rt) const {
    return !(*this == rt);
}

BOOL CMediaType::IsValid() const {
    return !IsEqualGUID(majortype, GUID_NULL);
}

ULONG CMediaType::GetSampleSize() const {
    return IsFixedSize() ? lSampleSize : 0;
}

void CMediaType::SetSampleSize(ULONG sz) {
    if (sz == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = sz;
    }
}

void CMediaType::SetVariableSize() {
    bFixedSizeSamples = FALSE;
}

void CMediaType::SetTemporalCompression(BOOL bCompressed) {
    bTemporalCompression = bCompressed;
}

BOOL CMediaType::SetFormat(BYTE* pformat, ULONG cb) {
    if (cb == 0) {
        ResetFormatBuffer();
        return TRUE;
    }
    if (AllocFormatBuffer(cb) == NULL) {
        return FALSE;
    }
    memcpy(pbFormat, pformat, cb);
    return TRUE;
}

void CMediaType::ResetFormatBuffer() {
    if (pbFormat != NULL) {
        CoTaskMemFree(pbFormat);
    }
    cbFormat = 0;
    pbFormat = NULL;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
    if (cbFormat == length && pbFormat != NULL) {
        return pbFormat;
    }
    BYTE* pNew = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (pNew == NULL) {
        // The old block no longer fits what the caller is about to write.
        ResetFormatBuffer();
        return NULL;
    }
    ResetFormatBuffer();
    pbFormat = pNew;
    cbFormat = length;
    return pbFormat;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) {
    if (cbFormat == length && pbFormat != NULL) {
        return pbFormat;
    }
    BYTE* pNew = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (pNew == NULL) {
        return NULL;
    }
    if (pbFormat != NULL) {
        memcpy(pNew, pbFormat, cbFormat < length ? cbFormat : length);
        CoTaskMemFree(pbFormat);
    }
    pbFormat = pNew;
    cbFormat = length;
    return pbFormat;
}

void CMediaType::InitMediaType() {
    memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
    // Fixed-size samples of one byte is the framework's default for an unspecified type.
    lSampleSize = 1;
    bFixedSizeSamples = TRUE;
}

BOOL CMediaType::IsPartiallySpecified() const {
    return IsEqualGUID(majortype, GUID_NULL) || IsEqualGUID(formattype, GUID_NULL);
}

BOOL CMediaType::MatchesPartial(const CMediaType* ppartial) const {
    if (!IsEqualGUID(ppartial->majortype, GUID_NULL) && !IsEqualGUID(majortype, ppartial->majortype)) {
        return FALSE;
    }
    if (!IsEqualGUID(ppartial->subtype, GUID_NULL) && !IsEqualGUID(subtype, ppartial->subtype)) {
        return FALSE;
    }
    if (!IsEqualGUID(ppartial->formattype, GUID_NULL)) {
        if (!IsEqualGUID(formattype, ppartial->formattype)) {
            return FALSE;
        }
        if (cbFormat != ppartial->cbFormat) {
            return FALSE;
        }
        if (cbFormat != 0 && memcmp(pbFormat, ppartial->pbFormat, cbFormat) != 0) {
            return FALSE;
        }
    }
    return TRUE;
}

void WINAPI FreeMediaType(AM_MEDIA_TYPE& mt) {
    if (mt.cbFormat != 0 || mt.pbFormat != NULL) {
        CoTaskMemFree(mt.pbFormat);
        mt.cbFormat = 0;
        mt.pbFormat = NULL;
    }
    if (mt.pUnk != NULL) {
        mt.pUnk->Release();
        mt.pUnk = NULL;
    }
}

void WINAPI DeleteMediaType(AM_MEDIA_TYPE* pmt) {
    if (pmt == NULL) {
        return;
    }
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
}

AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* pSrc) {
    auto* pMediaType = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (pMediaType == NULL) {
        return NULL;
    }
    if (FAILED(CopyMediaType(pMediaType, pSrc))) {
        CoTaskMemFree(pMediaType);
        return NULL;
    }
    return pMediaType;
}

HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource) {
    if (pmtTarget == pmtSource) {
        return S_OK;
    }
    *pmtTarget = *pmtSource;
    if (pmtSource->cbFormat != 0 && pmtSource->pbFormat != NULL) {
        pmtTarget->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(pmtSource->cbFormat));
        if (pmtTarget->pbFormat == NULL) {
            pmtTarget->cbFormat = 0;
            pmtTarget->pUnk = NULL;
            return E_OUTOFMEMORY;
        }
        memcpy(pmtTarget->pbFormat, pmtSource->pbFormat, pmtSource->cbFormat);
    } else {
        pmtTarget->cbFormat = 0;
        pmtTarget->pbFormat = NULL;
    }
    if (pmtTarget->pUnk != NULL) {
        pmtTarget->pUnk->AddRef();
    }
    return S_OK;
}
