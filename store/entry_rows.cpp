#include "entry_rows.h"
