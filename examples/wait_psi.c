/* Waits until the PAT and the PMT of every program are complete, then stops the stream and prints
   the programs: ITableCollector through its C view.

     wait_psi FILE.ts

   The filter is created by its class (run `quenlix register` once). The tables are read while the
   demultiplexer still delivers sections on its own thread: the filter takes its lock for every call,
   so an application may ask at any time. */
#define CINTERFACE /* the C view also in a C++ compiler */
#define COBJMACROS /* ITableCollector_GetPatStatus(tc, ...) instead of tc->lpVtbl->GetPatStatus(tc, ...) */
#include <windows.h>
#include <objbase.h>
#include <quenlix.h>
#include <quenlix_host.h>

#include <stdio.h>

static unsigned U16(const BYTE* p) {
    return (unsigned)(p[0] << 8 | p[1]);
}

/* Complete means: the PAT has all its sections, and the PMT group a section for every PMT PID that
   the PAT names (the filter sizes the group from the PAT). */
static int PsiComplete(ITableCollector* tc) {
    ULONG pat = 0, pmt = 0, pmts = 0;
    ITableCollector_GetPatStatus(tc, &pat);
    ITableCollector_GetPmtStatus(tc, &pmt);
    ITableCollector_GetPmtSectionCount(tc, &pmts);
    return pat == TABLE_STATUS_COMPLETE && pmt == TABLE_STATUS_COMPLETE && pmts > 0;
}

static void PrintProgram(ITableCollector* tc, unsigned program, unsigned pid) {
    StoredSection* s = NULL; /* null first: an empty slot answers S_OK and writes nothing */
    if (FAILED(ITableCollector_GetPmtSection(tc, pid, program, &s)) || s == NULL) {
        printf("program %u on PID 0x%04X: no PMT\n", program, pid);
        return;
    }
    if (s->length >= 16) {
        unsigned streams = 0;
        size_t at = 12 + (U16(s->bytes + 10) & 0x0FFF);
        for (; at + 5 <= s->length - 4; at += 5 + (U16(s->bytes + at + 3) & 0x0FFF)) {
            ++streams;
        }
        printf("program %u on PID 0x%04X: PCR_PID 0x%04X, %u stream(s)\n", program, pid,
               U16(s->bytes + 8) & 0x1FFF, streams);
    }
    ITableCollector_FreePmtSection(tc, &s); /* gives the copy back and nulls s */
}

static void PrintPrograms(ITableCollector* tc) {
    ULONG count = 0, i;
    size_t at;
    ITableCollector_GetPatSectionCount(tc, &count);
    for (i = 0; i < count; ++i) {
        StoredSection* s = NULL;
        if (FAILED(ITableCollector_GetPatSection(tc, i, &s)) || s == NULL) {
            continue;
        }
        for (at = 8; s->length >= 12 && at + 4 <= s->length - 4; at += 4) {
            unsigned program = U16(s->bytes + at);
            if (program != 0) {
                PrintProgram(tc, program, U16(s->bytes + at + 2) & 0x1FFF);
            }
        }
        ITableCollector_FreePatSection(tc, &s);
    }
}

int main(int argc, char** argv) {
    ITableCollector* tc = NULL;
    QxStream* stream = NULL;
    HRESULT hr;
    int result = 2;

    if (argc != 2) {
        fprintf(stderr, "usage: wait_psi FILE.ts\n");
        return 1;
    }
    if (FAILED(CoInitialize(NULL))) {
        fprintf(stderr, "wait_psi: cannot initialise COM\n");
        return 2;
    }
    hr = CoCreateInstance(&CLSID_TableCollectorFilter, NULL, CLSCTX_INPROC_SERVER, &IID_ITableCollector,
                          (void**)&tc);
    if (FAILED(hr)) {
        fprintf(stderr, "wait_psi: cannot create the filter (0x%08lX); is quenlix.ax registered?\n",
                (unsigned long)hr);
    } else if (FAILED(hr = QxStreamOpen(argv[1], (IUnknown*)tc, &stream)) ||
               FAILED(hr = QxStreamRun(stream))) {
        fprintf(stderr, "wait_psi: %s: cannot play it (0x%08lX)\n", argv[1], (unsigned long)hr);
    } else {
        /* Ask every 10 ms; QxStreamWait answers S_FALSE while the stream still runs. */
        for (;;) {
            if (PsiComplete(tc)) {
                QxStreamStop(stream); /* everything wanted is there: no need to read on */
                PrintPrograms(tc);
                result = 0;
                break;
            }
            hr = QxStreamWait(stream, 10);
            if (hr != S_FALSE) {
                if (PsiComplete(tc)) {
                    continue; /* the last section came with the end of the stream */
                }
                fprintf(
                    stderr,
                    "wait_psi: %s: the stream ended (0x%08lX) before the PAT and every PMT were complete\n",
                    argv[1], (unsigned long)hr);
                break;
            }
        }
    }
    QxStreamClose(stream);
    if (tc != NULL) {
        ITableCollector_Release(tc);
    }
    CoUninitialize();
    return result;
}
