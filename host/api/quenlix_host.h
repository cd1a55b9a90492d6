/* quenlix host: plays a transport stream file into a filter, for applications on hosts without the
   platform's own graph manager and demultiplexer.

   A stream object holds a reader, the section demultiplexer (an output pin of the MPEG-2 sections
   type offering IMPEG2PIDMap) and a small filter graph with the application's filter connected after
   the demultiplexer. The filter maps the PIDs it wants; the demultiplexer delivers one section per
   sample on a streaming thread of its own, from QxStreamRun until the end of the file.

   Use the functions of one stream from one thread. The filter's own interfaces may be used from any
   thread while the stream runs. C and C++. */
#pragma once
#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QxStream QxStream;

/* Opens path ("-" for standard input), finds its packet size (188, 192 or 204 bytes) and connects
   the first input pin of filter (any object offering IBaseFilter) to the demultiplexer. The stream
   holds a reference on the filter until QxStreamClose.
   Answers S_OK, or: E_POINTER; E_OUTOFMEMORY; HRESULT_FROM_WIN32 of ERROR_FILE_NOT_FOUND,
   ERROR_ACCESS_DENIED or ERROR_READ_FAULT when the file cannot be opened or read, ERROR_HANDLE_EOF
   when it is empty, ERROR_BAD_FORMAT when it is no transport stream; E_NOINTERFACE when filter is
   no filter; VFW_E_NO_ACCEPTABLE_TYPES or the pin's own answer when the filter has no input pin
   that takes MPEG-2 sections. *ppStream is null on any failure. */
HRESULT QxStreamOpen(const char* path, IUnknown* filter, QxStream** ppStream);

/* Starts the graph: the filter first, then the demultiplexer's streaming thread. Returns at once.
   A stream plays once; VFW_E_WRONG_STATE when it has already run. */
HRESULT QxStreamRun(QxStream* stream);

/* Waits up to timeoutMs milliseconds (INFINITE for no limit) for the end of the stream.
   S_OK: every section was delivered and the filter reported the end. S_FALSE: the time passed first.
   A failure: a filter stopped the stream with that error; VFW_E_WRONG_STATE when it is not running. */
HRESULT QxStreamWait(QxStream* stream, DWORD timeoutMs);

/* Stops the graph; the streaming thread ends before it returns. What the filter collected stays. */
HRESULT QxStreamStop(QxStream* stream);

/* Stops, disconnects and releases everything, the reference on the filter included. Null is fine. */
void QxStreamClose(QxStream* stream);

#ifdef __cplusplus
}
#endif
