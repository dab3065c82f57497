#include "image_store.h"
