#include "wizard/wizard_state.h"

// Apart from the window procedure, so that drawing can be used without it.
WizardRecord wizard;
