// quenlix page: the filter's "Service Information" property page in the terminal.
//
//   quenlix page [--packet-size N] FILE         scan FILE through the graph, open the property frame
//                                               on the filter and show the page, driven by keys
//   quenlix page --dump [--packet-size N] FILE  the same scan, then print the rows of every view
//
// The page and its dialog are the module's own; the terminal only draws the dialog's controls as
// the window layer holds them and sends them what a mouse and keyboard would.
#pragma once
#include <string>
#include <vector>

namespace quenlix {

// The command's part of quenlix --help.
extern const char kPageHelp[];

// The keys of the page, for its help.
extern const char kPageKeys[];

struct PageOptions {
    std::string input;
    unsigned packetSize = 0;
    bool dump = false;
};

// Exit statuses as quenlix scan's; 3 also when the page cannot be opened.
int RunPage(const PageOptions& o);

} // namespace quenlix
