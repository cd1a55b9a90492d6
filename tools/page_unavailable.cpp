// quenlix page on Windows: the terminal page needs a POSIX terminal; the module's own page is shown
// there by any property frame (OleCreatePropertyFrame).
#include "page_command.h"

#include <cstdio>

namespace quenlix {

const char kPageHelp[] = "";

int RunPage(const std::vector<std::string>& args) {
    fputs("quenlix: the page command needs a terminal and is not part of the Windows build\n", stderr);
    return 1;
}

} // namespace quenlix
