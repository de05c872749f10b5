// The whole qrpht-batch program behind main(): lists many products at once,
// each in a worker process of its own, with progress and an inventory.
#pragma once

// Returns the exit status: 0 when every product was listed or up to date,
// 1 when any failed, 2 for an unusable command line. A run stopped by
// SIGINT, SIGTERM or SIGHUP ends by that signal after writing the inventory
// of what finished.
int batch_main(int argc, char **argv);
