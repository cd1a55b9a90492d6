/* quenlix: the table-collecting filter's published interface.

   Applications include this header to read the PSI/SI sections the filter collects through
   ITableCollector. It offers a C++ view and a C view of the interface. */
#pragma once
#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One held section, and the shape of every copy handed to a reader. The copy and its bytes belong to
   the caller until released through the matching FreeXxxSection method. */
typedef struct StoredSection {
    DWORD pid;            /* PID the section travelled on (13 significant bits) */
    DWORD section_number; /* slot index, equal to the section's section_number */
    DWORD length;         /* number of bytes in bytes: the whole sample as received */
    BYTE* bytes;          /* the section, header and CRC_32 included */
} StoredSection;

#ifdef __cplusplus
}
#endif
