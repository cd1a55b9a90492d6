// The program's one unit that defines the identifiers of <quenlix.h>, as every application of the
// module on Windows has.
#include <initguid.h>
#include <quenlix.h>
