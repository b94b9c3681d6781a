// The program's data modes, for scripts and backups, answered without a window:
//
//     velmora --export notes|sheets|cards FILE      .html .odt .pdf .txt, or .vcf .csv for cards
//     velmora --import cards FILE                   .vcf or .csv
//     velmora --compact                             the three tables, each size before and after
//
// They open the tables shared, as a running copy does, so they work beside one; the single
// running copy guard is not asked. One summary line goes to standard output and the exit code
// is 0; a file that cannot be read or written gives 1 and the message on standard error.
// --compact needs every table to itself: one open in another process (a running window) is left
// as it is, and the exit code is 2.
#pragma once

#include <optional>

// Runs the data mode argv asks for and returns its exit code; nothing when it asks for none.
std::optional<int> runDataCommand(int argc, char **argv);
