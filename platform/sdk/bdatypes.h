/* Broadcast driver architecture types used with the MPEG-2 demultiplexer (bdatypes.h of the Windows SDK). */
#pragma once
#include <windows.h>

/* What a demultiplexer output pin delivers for a mapped PID. */
typedef enum MEDIA_SAMPLE_CONTENT {
    MEDIA_TRANSPORT_PACKET = 0,
    MEDIA_ELEMENTARY_STREAM = 1,
    MEDIA_MPEG2_PSI = 2,
    MEDIA_TRANSPORT_PAYLOAD = 3
} MEDIA_SAMPLE_CONTENT;

typedef struct {
    ULONG ulPID;
    MEDIA_SAMPLE_CONTENT MediaSampleContent;
} PID_MAP;
