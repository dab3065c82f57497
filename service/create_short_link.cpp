#include "create_short_link.h"
