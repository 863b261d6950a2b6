// The verb write-metrics: the board's readings as a Prometheus text file.
#pragma once

#include "link/connection.h"

/// Verb write-metrics: reads the VPD, the firmware version, the sensor page,
/// the board power (where the firmware serves it) and the black box, and
/// writes the metrics text to `path` ("-": standard output). The file is replaced in one step (a file beside it, synced,
/// then renamed over it), so a collector never reads half a file. Only a
/// regular file or a new name is written (through at most one link of the
/// user's own); anything else is refused with kBinaryOutputError before the
/// board is asked. A failed read, or the service mode (refused as before),
/// still writes zorvi_up 0 with its reason and returns the read's code.
[[nodiscard]] Result writeMetrics(ConnectionContext* ctx, bool verbose, const char* path);

/// A scrape whose link did not open (a busy or missing port, no board on
/// it): the file (not standard output) is still rewritten, with zorvi_up 0
/// and the reason, so that a dead board never stays healthy.
void writeMetricsWithoutLink(const char* path, Result openResult);

/// Verb write-metrics-all: every board list-boards finds, each scraped to
/// `folder`/zorvi-<serial>.prom. A board that opens but cannot be read, or
/// does not open, rewrites the file that names its link with zorvi_up 0; the
/// file of a board that is gone gets zorvi_up 0 (reason "gone") for one run
/// and is removed by the next. One line a board and a file on standard
/// output. kBinaryOutputError when the folder is none or a file could not be
/// written; the boards' own failures are in their files.
[[nodiscard]] Result writeMetricsAll(const char* folder, bool verbose);
