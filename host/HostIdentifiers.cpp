// Defines the host's class identifiers, which its headers only declare with the Windows SDK.
#include <initguid.h>
#include "host/SectionDemuxFilter.h"
