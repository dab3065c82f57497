#include "store_file.h"
