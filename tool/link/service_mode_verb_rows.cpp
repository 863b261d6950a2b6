// The service-mode verbs, each a row: its usage lines,
// its man page text, its arguments, its flags and its handler.
#include "link/service_mode_verb_rows.h"

#include "link/connection.h"
#include "link/service_mode.h"

namespace {


constexpr VerbRow kServiceModeVerbRows[] = {
    {"enter-service-mode",
     VERB_LINE "enter-service-mode\n",
     "Switches the uC to its service-mode firmware, which reads and writes the application flash. Prints \"Nothing to "
     "do.\" when it is there already. See SERVICE MODE.",
     VerbGroup::ServiceMode, 9,
     1, VERB_NO_ARGS, 0,
     [](const VerbCall& c) { return enterServiceMode(c.ctx, c.verbose); }},
    {"exit-service-mode",
     VERB_LINE "exit-service-mode\n",
     "Switches the uC back to its normal firmware.",
     VerbGroup::ServiceMode, 10,
     1, VERB_NO_ARGS, 0,
     [](const VerbCall& c) { return exitServiceMode(c.ctx, c.verbose); }},
};

}  // namespace

VerbRows serviceModeVerbRows() { return verbRows(kServiceModeVerbRows); }
