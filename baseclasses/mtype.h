// CMediaType: an AM_MEDIA_TYPE that owns its format block and its pUnk reference, and the helpers
// for bare AM_MEDIA_TYPE structures.
//
// Media types cross interfaces (IPin::ConnectionMediaType, IEnumMediaTypes::Next,
// IMediaSample::GetMediaType) and are released by whoever receives them, so their format blocks and
// the structures that CreateMediaType makes live in COM task memory, as the platform requires.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <strmif.h>

class CMediaType : public AM_MEDIA_TYPE {
public:
    CMediaType();
    explicit CMediaType(const GUID* majortype);
    // Copy constructors: *phr receives E_OUTOFMEMORY when the format block cannot be copied.
    CMediaType(const AM_MEDIA_TYPE& mt, HRESULT* phr = NULL);
    CMediaType(const CMediaType& mt, HRESULT* phr = NULL);
    ~CMediaType();

    // Assignment leaves a type without format block when the copy runs out of memory; Set reports it.
    CMediaType& operator=(const CMediaType& mt);
    CMediaType& operator=(const AM_MEDIA_TYPE& mt);
    bool operator==(const CMediaType& mt) const;
    bool operator!=(const CMediaType& mt) const;

    HRESULT Set(const CMediaType& rt);
    HRESULT Set(const AM_MEDIA_TYPE& rt);

    BOOL IsValid() const;

    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* ptype) { majortype = *ptype; }
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* ptype) { subtype = *ptype; }

    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    ULONG GetSampleSize() const;

    void SetSampleSize(ULONG sz);
    void SetVariableSize();
    void SetTemporalCompression(BOOL bCompressed);

    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* pformattype) { formattype = *pformattype; }
    ULONG FormatLength() const { return cbFormat; }
    BYTE* Format() const { return pbFormat; }

    // Replaces the format block with a copy of cb bytes at pFormat; FALSE when out of memory.
    BOOL SetFormat(BYTE* pFormat, ULONG length);
    void ResetFormatBuffer();
    // A format block of length bytes (the old one is kept when it is that size); null when out of memory.
    BYTE* AllocFormatBuffer(ULONG length);
    // Grows or shrinks the format block keeping its start; null (old block kept) when out of memory.
    BYTE* ReallocFormatBuffer(ULONG length);

    void InitMediaType();

    // Whether this type matches ppartial in every field that ppartial specifies (GUID_NULL = any).
    BOOL MatchesPartial(const CMediaType* ppartial) const;
    BOOL IsPartiallySpecified() const;
};

// Releases the format block and pUnk of a media type (not the structure itself).
void WINAPI FreeMediaType(AM_MEDIA_TYPE& mt);
// Releases a media type made by CreateMediaType: its contents, then the structure.
void WINAPI DeleteMediaType(AM_MEDIA_TYPE* pmt);
// A new task-memory copy of a media type; null when out of memory.
AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* pSrc);
// Deep copy into a caller's structure; E_OUTOFMEMORY leaves pmtTarget without format block.
HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
