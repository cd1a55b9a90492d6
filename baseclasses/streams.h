// The base layer in one include, as filters written against the classic base classes expect it.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <control.h>
#include <uuids.h>
#include <vfwmsgs.h>
#include <evcode.h>
#include <ocidl.h>

#include "baseclasses/allocation.h"
#include "baseclasses/wxutil.h"
#include "baseclasses/reftime.h"
#include "baseclasses/combase.h"
#include "baseclasses/mtype.h"
#include "baseclasses/amfilter.h"
#include "baseclasses/amextra.h"
#include "baseclasses/dllentry.h"
#include "baseclasses/dllsetup.h"
#include "baseclasses/cprop.h"
