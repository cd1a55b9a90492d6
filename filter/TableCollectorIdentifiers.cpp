// The one unit that defines the published identifiers (IID_ITableCollector and the two class
// identifiers); everywhere else <quenlix.h> only declares them, as the Windows SDK's DEFINE_GUID does.
#include <initguid.h>
#include <quenlix.h>
