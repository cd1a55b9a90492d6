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

// args: what follows the word "page". Exit statuses as quenlix scan's (0 ok, 1 usage, 2 cannot
// read, 3 empty, 4 not a transport stream, 6 the filter, graph or page could not be set up).
int RunPage(const std::vector<std::string>& args);

} // namespace quenlix
