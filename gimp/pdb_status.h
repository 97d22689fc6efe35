#pragma once

// Included by each bridge against its own GIMP's headers: both GIMPs name the statuses alike.
#include <libgimpbase/gimpbase.h>

#include "gimp/bridge_run.h"

// What GIMP hears of a run. A hand-off ends as cancelled, as the filter's own answer does; a
// refusal or failure has already been told to the user, so it carries no message of its own.
inline GimpPDBStatusType pdbStatusOf(BridgeOutcome outcome) {
    switch (outcome) {
        case BridgeOutcome::kApplied:
            return GIMP_PDB_SUCCESS;
        case BridgeOutcome::kHandedOff:
            return GIMP_PDB_CANCEL;
        case BridgeOutcome::kRefused:
        case BridgeOutcome::kFailed:
            break;
    }
    return GIMP_PDB_EXECUTION_ERROR;
}
