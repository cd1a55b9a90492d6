// quenlix_host, the C face applications use to play a file into a filter: what it refuses, every
// allocation failure while it is built, and a file played to its end.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "baseclasses/allocation.h"
#include "host/api/quenlix_host.h"
#include "recording_sink.h"
#include "support/core/ts_packetizer.h"

using namespace qxtest;

namespace {

// An object that is no filter.
struct Plain : IUnknown {
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

class TempFile {
public:
    explicit TempFile(const Bytes& content) {
        char name[] = "/tmp/qx-stream-XXXXXX";
        int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        if (!content.empty()) {
            EXPECT_EQ(static_cast<ssize_t>(content.size()), write(fd, content.data(), content.size()));
        }
        close(fd);
        path = name;
    }
    ~TempFile() { unlink(path.c_str()); }
    std::string path;
};

// count copies of a one-program PAT, each in a packet of its own (188 bytes per section).
Bytes PatStream(int count) {
    SectionBuilder b;
    b.Table(0x00).Extension(1);
    b.body = {0x00, 0x01, 0xE1, 0x00};
    TsPacketizer t(0x0000);
    t.pack_together = false;
    return t.Packetize(std::vector<Bytes>(count, b.Build()));
}

struct SinkRef {
    RecordingSink* sink;
    explicit SinkRef(bool withPin) {
        HRESULT hr = S_OK;
        sink = new RecordingSink(&hr, withPin);
        if (withPin) {
            sink->pin->mapPatOnConnect = true;
        }
        sink->AddRef();
        EXPECT_EQ(S_OK, hr);
    }
    ~SinkRef() { EXPECT_EQ(0u, sink->Release()); } // the stream gave back its reference
    IUnknown* Unknown() const { return static_cast<IBaseFilter*>(sink); }
};

} // namespace

TEST(StreamApi, RefusesWhatItCannotPlay) {
    TempFile ts(PatStream(3)), empty(Bytes{}), text(Bytes(2000, 'x'));
    SinkRef filter(true), pinless(false);
    Plain plain;
    struct Case {
        const char* name;
        const char* path;
        IUnknown* filter;
        HRESULT want;
    } cases[] = {
        {"null path", nullptr, filter.Unknown(), E_POINTER},
        {"null filter", ts.path.c_str(), nullptr, E_POINTER},
        {"missing file", "/nonexistent/stream.ts", filter.Unknown(),
         HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {"empty file", empty.path.c_str(), filter.Unknown(), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)},
        {"not a transport stream", text.path.c_str(), filter.Unknown(), HRESULT_FROM_WIN32(ERROR_BAD_FORMAT)},
        {"no filter", ts.path.c_str(), &plain, E_NOINTERFACE},
        {"no input pin", ts.path.c_str(), pinless.Unknown(), VFW_E_NO_ACCEPTABLE_TYPES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QxStream* stream = reinterpret_cast<QxStream*>(1);
        EXPECT_EQ(c.want, QxStreamOpen(c.path, c.filter, &stream));
        EXPECT_EQ(nullptr, stream);
    }
    EXPECT_EQ(E_POINTER, QxStreamOpen(ts.path.c_str(), filter.Unknown(), nullptr));
    EXPECT_EQ(E_POINTER, QxStreamRun(nullptr));
    EXPECT_EQ(E_POINTER, QxStreamWait(nullptr, 0));
    QxStreamClose(nullptr);
}

TEST(StreamApi, WaitAnswersSFalseWhileTheInputStaysOpen) {
    // A pipe whose writer has not closed it: the stream runs on until the writer goes.
    std::string fifo = "/tmp/qx-stream-fifo-" + std::to_string(getpid());
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    Bytes ts = PatStream(6000); // more than the reader's first block, which it reads before it opens
    std::mutex lock;
    std::condition_variable cv;
    bool written = false, release = false;
    std::thread feed([&] {
        int writer = open(fifo.c_str(), O_WRONLY);
        EXPECT_EQ(static_cast<ssize_t>(ts.size()), write(writer, ts.data(), ts.size()));
        std::unique_lock<std::mutex> guard(lock);
        written = true;
        cv.notify_all();
        cv.wait(guard, [&] { return release; });
        close(writer);
    });
    SinkRef filter(true);
    QxStream* stream = nullptr;
    EXPECT_EQ(S_OK, QxStreamOpen(fifo.c_str(), filter.Unknown(), &stream));
    if (stream != nullptr) {
        EXPECT_EQ(S_OK, QxStreamRun(stream));
        {
            std::unique_lock<std::mutex> guard(lock);
            cv.wait(guard, [&] { return written; });
        }
        EXPECT_EQ(S_FALSE, QxStreamWait(stream, 20));
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
        cv.notify_all();
    }
    feed.join();
    EXPECT_EQ(S_OK, QxStreamWait(stream, INFINITE));
    QxStreamClose(stream);
    unlink(fifo.c_str());
}

TEST(StreamApi, EachFailedAllocationWhileOpeningLeavesNothingBehindThenTheFilePlaysOnce) {
    TempFile ts(PatStream(5));
    SinkRef filter(true);
    QxStream* stream = nullptr;
    unsigned long n = 1;
    for (;; ++n) {
        ASSERT_LT(n, 200u);
        MemFailAt(n);
        HRESULT hr = QxStreamOpen(ts.path.c_str(), filter.Unknown(), &stream);
        MemFailAt(0);
        if (hr == S_OK) {
            break;
        }
        EXPECT_EQ(E_OUTOFMEMORY, hr) << "allocation " << n;
        EXPECT_EQ(nullptr, stream);
    }
    EXPECT_GT(n, 2u); // the stream and the graph at least come from the allocation module

    EXPECT_EQ(VFW_E_WRONG_STATE, QxStreamWait(stream, 0)); // not started
    ASSERT_EQ(S_OK, QxStreamRun(stream));
    EXPECT_EQ(S_OK, QxStreamWait(stream, INFINITE));
    EXPECT_EQ(5u, filter.sink->pin->Count());
    EXPECT_EQ(S_OK, QxStreamStop(stream));
    EXPECT_EQ(VFW_E_WRONG_STATE, QxStreamRun(stream)); // the file is not read twice
    QxStreamClose(stream);
}
