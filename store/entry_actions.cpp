#include "entry_actions.h"
