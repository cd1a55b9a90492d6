// quenlix page on Windows: the terminal page needs a POSIX terminal; the module's own page is shown
// there by any property frame (OleCreatePropertyFrame).
#include "page_command.h"

#include "host/ScanSession.h"

#include <cstdio>

namespace quenlix {

const char kPageHelp[] = "";

const char kPageKeys[] = "On Windows the page command is not available: open the filter's property page from "
                         "any application through OleCreatePropertyFrame.\n";

int RunPage(const PageOptions&) {
    fputs("quenlix: the page command needs a terminal and is not part of the Windows build\n", stderr);
    return qxhost::kScanSetupError;
}

} // namespace quenlix
