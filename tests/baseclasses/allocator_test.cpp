// CMemAllocator and CMediaSample: properties, commit and decommit with samples out, waiting for a
// free buffer, sample properties through IMediaSample2, and running out of memory.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sink_filter.h"

namespace {

class AllocatorTest : public qxtest::BaseLayerTest {
protected:
    void SetUp() override {
        BaseLayerTest::SetUp();
        ASSERT_EQ(CreateMemoryAllocator(&m_alloc), S_OK);
    }
    void TearDown() override {
        if (m_alloc != nullptr) {
            m_alloc->Decommit();
            EXPECT_EQ(m_alloc->Release(), 0u);
        }
        BaseLayerTest::TearDown();
    }
    HRESULT Set(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
        ALLOCATOR_PROPERTIES want{count, size, align, prefix};
        return m_alloc->SetProperties(&want, &m_actual);
    }

    IMemAllocator* m_alloc = nullptr;
    ALLOCATOR_PROPERTIES m_actual{};
};

} // namespace

TEST_F(AllocatorTest, PropertiesAreCheckedAndRounded) {
    IMediaSample* s = nullptr;
    EXPECT_EQ(m_alloc->Commit(), VFW_E_SIZENOTSET);
    EXPECT_EQ(m_alloc->GetBuffer(&s, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(Set(2, 100, 3), VFW_E_BADALIGN);
    EXPECT_EQ(Set(2, 100, 0), VFW_E_BADALIGN);
    ASSERT_EQ(Set(2, 100, 16, 4), S_OK);
    EXPECT_EQ(m_actual.cBuffers, 2);
    EXPECT_EQ(m_actual.cbBuffer, 108); // prefix plus buffer rounded up to the alignment
    EXPECT_EQ(m_actual.cbAlign, 16);
    EXPECT_EQ(m_actual.cbPrefix, 4);

    ASSERT_EQ(m_alloc->Commit(), S_OK);
    EXPECT_EQ(Set(2, 100), VFW_E_ALREADY_COMMITTED);
    ASSERT_EQ(m_alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    BYTE* p = nullptr;
    ASSERT_EQ(s->GetPointer(&p), S_OK);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(s->GetSize(), 108);
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    // Decommitted with a sample out: properties stay fixed until it comes back.
    EXPECT_EQ(Set(2, 100), VFW_E_BUFFERS_OUTSTANDING);
    s->Release();
    EXPECT_EQ(Set(3, 50), S_OK);
}

TEST_F(AllocatorTest, BuffersRunOutAndComeBack) {
    ASSERT_EQ(Set(2, 64), S_OK);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* a = nullptr;
    IMediaSample* b = nullptr;
    IMediaSample* c = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(m_alloc->GetBuffer(&b, nullptr, nullptr, 0), S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(m_alloc->GetBuffer(&c, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    EXPECT_EQ(c, nullptr);

    // A waiting GetBuffer wakes when a sample comes back...
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        IMediaSample* got = nullptr;
        EXPECT_EQ(m_alloc->GetBuffer(&got, nullptr, nullptr, 0), S_OK);
        if (got != nullptr) {
            got->Release();
        }
        done = true;
    });
    a->Release();
    waiter.join();
    EXPECT_TRUE(done);

    // ...and when the allocator is decommitted.
    ASSERT_EQ(m_alloc->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
    std::thread refused([&] { EXPECT_EQ(m_alloc->GetBuffer(&c, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED); });
    // Give the thread time to start waiting; the answer is the same if it has not yet.
    Sleep(20);
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    refused.join();

    // The samples still out keep the allocator (and their buffers) alive.
    IMemAllocator* alloc = m_alloc;
    m_alloc = nullptr;
    EXPECT_EQ(alloc->Release(), 1u);
    BYTE* p = nullptr;
    ASSERT_EQ(a->GetPointer(&p), S_OK);
    p[0] = 1;
    a->Release();
    b->Release(); // the last sample back frees everything
}

TEST_F(AllocatorTest, RecommitAfterDecommitWithSamplesOut) {
    ASSERT_EQ(Set(1, 16), S_OK);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* a = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    a->Release();
    ASSERT_EQ(m_alloc->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
    a->Release();
}

TEST_F(AllocatorTest, SampleKeepsItsProperties) {
    ASSERT_EQ(Set(1, 32), S_OK);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* s = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    IMediaSample2* s2 = nullptr;
    ASSERT_EQ(s->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&s2)), S_OK);

    EXPECT_EQ(s->SetActualDataLength(33), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetActualDataLength(10), S_OK);
    EXPECT_EQ(s->SetSyncPoint(TRUE), S_OK);
    EXPECT_EQ(s->IsSyncPoint(), S_OK);

    // The first two fields alone: size and type-specific flags.
    DWORD head[2] = {8, 0x1234};
    ASSERT_EQ(s2->SetProperties(sizeof(head), reinterpret_cast<const BYTE*>(head)), S_OK);
    DWORD back[2] = {};
    ASSERT_EQ(s2->GetProperties(sizeof(back), reinterpret_cast<BYTE*>(back)), S_OK);
    EXPECT_EQ(back[0], 8u);
    EXPECT_EQ(back[1], 0x1234u);

    AM_SAMPLE2_PROPERTIES props{};
    ASSERT_EQ(s2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), S_OK);
    EXPECT_EQ(props.lActual, 10);
    EXPECT_EQ(props.cbBuffer, 32);
    EXPECT_TRUE(props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT);
    EXPECT_EQ(props.pMediaType, nullptr);

    // A length beyond the buffer is refused without a change.
    AM_SAMPLE2_PROPERTIES bad = props;
    bad.lActual = 33;
    bad.dwTypeSpecificFlags = 7;
    EXPECT_EQ(s2->SetProperties(sizeof(bad), reinterpret_cast<const BYTE*>(&bad)), E_INVALIDARG);
    EXPECT_EQ(s->GetActualDataLength(), 10);

    // A media type change set through the properties, then cleared.
    CMediaType mt(&MEDIATYPE_MPEG2_SECTIONS);
    BYTE format[3] = {1, 2, 3};
    ASSERT_TRUE(mt.SetFormat(format, sizeof(format)));
    props.dwTypeSpecificFlags = 0x55;
    props.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
    props.pMediaType = &mt;
    ASSERT_EQ(s2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props)), S_OK);
    AM_MEDIA_TYPE* got = nullptr;
    ASSERT_EQ(s->GetMediaType(&got), S_OK);
    EXPECT_TRUE(static_cast<CMediaType&>(*got) == mt);
    DeleteMediaType(got);
    TaskMemFailAt(1);
    EXPECT_EQ(s->GetMediaType(&got), E_OUTOFMEMORY);
    TaskMemFailAt(1);
    EXPECT_EQ(s2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props)), E_OUTOFMEMORY);
    TaskMemFailAt(0);
    EXPECT_EQ(s->SetMediaType(nullptr), S_OK);
    EXPECT_EQ(s->GetMediaType(&got), S_FALSE);
    EXPECT_EQ(got, nullptr);

    // Back in the allocator a sample forgets its flags and its type.
    ASSERT_EQ(s->SetMediaType(&mt), S_OK);
    s2->Release();
    s->Release();
    ASSERT_EQ(m_alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(s->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&s2)), S_OK);
    ASSERT_EQ(s2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), S_OK);
    EXPECT_EQ(props.dwTypeSpecificFlags, 0u);
    EXPECT_EQ(props.dwSampleFlags, 0u);
    EXPECT_EQ(props.pMediaType, nullptr);
    s2->Release();
    s->Release();
}

TEST_F(AllocatorTest, OutOfMemoryAtCommit) {
    ASSERT_EQ(Set(3, 128), S_OK);
    // The buffer block, then each sample: every failure leaves the allocator decommitted and clean.
    for (unsigned long n = 1; n <= 4; n++) {
        MemFailAt(n);
        EXPECT_EQ(m_alloc->Commit(), E_OUTOFMEMORY) << n;
        MemFailAt(0);
        IMediaSample* s = nullptr;
        EXPECT_EQ(m_alloc->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_NOT_COMMITTED);
    }
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* s = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    s->Release();

    // The allocator object itself.
    IMemAllocator* other = reinterpret_cast<IMemAllocator*>(1);
    MemFailAt(1);
    EXPECT_EQ(CreateMemoryAllocator(&other), E_OUTOFMEMORY);
    EXPECT_EQ(other, nullptr);

    // Its semaphore for waiters: without one there is no allocator, and nothing is left behind.
    other = reinterpret_cast<IMemAllocator*>(1);
    KernelObjectFailAt(1);
    EXPECT_EQ(CreateMemoryAllocator(&other), E_OUTOFMEMORY);
    EXPECT_EQ(other, nullptr);
}

TEST(MediaTypeTest, CopiesOwnTheirFormatBlock) {
    long taskMem = TaskMemOutstanding();
    {
        CMediaType a(&MEDIATYPE_MPEG2_SECTIONS);
        EXPECT_TRUE(a.IsValid());
        EXPECT_TRUE(a.IsPartiallySpecified()); // no format type yet
        a.SetSubtype(&MEDIASUBTYPE_DVB_SI);
        a.SetFormatType(&FORMAT_None);
        BYTE format[4] = {9, 8, 7, 6};
        ASSERT_TRUE(a.SetFormat(format, sizeof(format)));
        CMediaType b(a);
        EXPECT_TRUE(a == b);
        EXPECT_NE(a.Format(), b.Format());
        b.Format()[0] = 0;
        EXPECT_TRUE(a != b);

        CMediaType partial(&MEDIATYPE_MPEG2_SECTIONS);
        EXPECT_TRUE(a.MatchesPartial(&partial));
        partial.SetSubtype(&MEDIASUBTYPE_ATSC_SI);
        EXPECT_FALSE(a.MatchesPartial(&partial));

        AM_MEDIA_TYPE* c = CreateMediaType(&a);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->cbFormat, 4u);
        DeleteMediaType(c);
        TaskMemFailAt(2); // the structure, then its format block
        EXPECT_EQ(CreateMediaType(&a), nullptr);
        TaskMemFailAt(1);
        HRESULT hr = S_OK;
        CMediaType d(a, &hr);
        EXPECT_EQ(hr, E_OUTOFMEMORY);
        EXPECT_EQ(d.FormatLength(), 0u);
        TaskMemFailAt(1);
        EXPECT_EQ(d.Set(a), E_OUTOFMEMORY);
        TaskMemFailAt(0);
        EXPECT_EQ(d.Set(a), S_OK);
        EXPECT_TRUE(d == a);
        d.ResetFormatBuffer();
        EXPECT_EQ(d.Format(), nullptr);
    }
    EXPECT_EQ(TaskMemOutstanding(), taskMem);
}
